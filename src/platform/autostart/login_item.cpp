#include "platform/autostart/login_item.h"

#include "core/regular_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace nimbra {

namespace {
QString defaultConfigHome()
{
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    // The base directory rules ignore relative paths.
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg))
        return xdg;
    return QDir::homePath() + "/.config";
}

// A desktop entry is a few hundred bytes; a bigger file is no entry of ours.
constexpr qint64 kEntryLimit = 64 * 1024;

// The general escapes of a desktop entry's string values.
QString unescapeValue(QStringView value)
{
    QString out;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] != u'\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        const QChar next = value[++i];
        if (next == u's')
            out += u' ';
        else if (next == u'n')
            out += u'\n';
        else if (next == u't')
            out += u'\t';
        else if (next == u'r')
            out += u'\r';
        else if (next == u'\\')
            out += u'\\';
        else
            out.append(u'\\').append(next);
    }
    return out;
}
} // namespace

LoginItem::LoginItem(const QString& configHome)
    : m_path((configHome.isEmpty() ? defaultConfigHome() : configHome) + "/autostart/nimbra.desktop")
{
}

std::optional<LoginItem::Entry> LoginItem::read() const
{
    // A FIFO or device put in the entry's place is never waited on; a large file is no entry.
    const RegularFileRead file = readRegularFile(m_path, kEntryLimit);
    if (file.outcome != RegularFileRead::Outcome::read)
        return std::nullopt;
    const QByteArray& bytes = file.bytes;
    Entry entry { true, {} };
    bool inMainGroup = false;
    for (const QString& raw : QString::fromUtf8(bytes).split(u'\n')) {
        const QString line = raw.trimmed();
        if (line.startsWith(u'[')) {
            inMainGroup = line == QStringLiteral("[Desktop Entry]");
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (!inMainGroup || line.startsWith(u'#') || equals < 0)
            continue;
        const QString key = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1).trimmed();
        if (key == QStringLiteral("Exec"))
            entry.exec = unescapeValue(value);
        else if (key == QStringLiteral("Hidden") && value == QStringLiteral("true"))
            entry.enabled = false;
        else if (key == QStringLiteral("X-GNOME-Autostart-enabled") && value == QStringLiteral("false"))
            entry.enabled = false;
    }
    return entry;
}

bool LoginItem::isEnabled() const
{
    const std::optional<Entry> entry = read();
    return entry && entry->enabled;
}

bool LoginItem::startsProgram(const QString& program) const
{
    const std::optional<Entry> entry = read();
    if (!entry || !entry->enabled)
        return false;
    std::optional<QString> started = execProgram(entry->exec);
    if (started && !started->contains(u'/'))
        started = QStandardPaths::findExecutable(*started);
    if (!started || started->isEmpty())
        return false;
    const QFileInfo named(*started);
    const QString target = named.canonicalFilePath();
    return named.isFile() && named.isExecutable() && !target.isEmpty()
        && target == QFileInfo(program).canonicalFilePath();
}

std::optional<QString> LoginItem::execProgram(const QString& exec)
{
    const QString value = exec.trimmed();
    QString word;
    qsizetype i = 0;
    if (value.startsWith(u'"')) {
        for (i = 1; i < value.size() && value[i] != u'"'; ++i) {
            if (value[i] == u'\\' && i + 1 < value.size())
                ++i;
            word += value[i];
        }
        if (i == value.size())
            return std::nullopt; // unterminated quote
    } else {
        while (i < value.size() && !value[i].isSpace())
            word += value[i++];
    }
    word.replace(QStringLiteral("%%"), QStringLiteral("%"));
    if (word.isEmpty())
        return std::nullopt;
    return word;
}

QString LoginItem::execValue(const QString& executable)
{
    // Reserved characters force quoting; inside quotes ", `, $ and \ take a backslash, and
    // that of a \ is itself escaped once more as a string value. A literal % is always
    // written %% (field codes).
    static const QString reserved = QStringLiteral(" \t\n\r\"'\\><~|&;$*?#()`");
    bool needsQuotes = executable.isEmpty();
    QString escaped;
    for (const QChar c : executable) {
        if (reserved.contains(c))
            needsQuotes = true;
        // A line break would end the entry's line: string escapes stand for these.
        if (c == '\n' || c == '\t' || c == '\r') {
            escaped += c == '\n' ? QStringLiteral("\\n") : c == '\t' ? QStringLiteral("\\t") : QStringLiteral("\\r");
            continue;
        }
        if (c == '"' || c == '`' || c == '$')
            escaped += '\\';
        if (c == '\\')
            escaped += QStringLiteral("\\\\\\");
        if (c == '%')
            escaped += '%';
        escaped += c;
    }
    return needsQuotes ? '"' + escaped + '"' : escaped;
}

std::optional<QString> LoginItem::installedCopy(const QString& executable, const QString& home, const QString& appImage)
{
    if (QDir::isAbsolutePath(appImage) && QFileInfo(appImage).isFile())
        return QDir::cleanPath(appImage);
    if (!QDir::isAbsolutePath(executable))
        return std::nullopt;
    const QString path = QDir::cleanPath(executable);
    QStringList prefixes { QStringLiteral("/usr/"), QStringLiteral("/opt/") };
    if (QDir::isAbsolutePath(home) && QDir::cleanPath(home) != QStringLiteral("/"))
        prefixes << QDir::cleanPath(home) + QStringLiteral("/.local/");
    for (const QString& prefix : prefixes) {
        if (path.startsWith(prefix))
            return path;
    }
    return std::nullopt;
}

bool LoginItem::registerItem(const QString& executable, QString* error)
{
    const QFileInfo info(m_path);
    if (!QDir().mkpath(info.absolutePath())) {
        if (error)
            *error = QStringLiteral("cannot create %1").arg(info.absolutePath());
        return false;
    }
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    QString entry;
    entry += "[Desktop Entry]\n";
    entry += "Type=Application\n";
    entry += "Name=Nimbra\n";
    entry += "Comment=Status readouts at the top edge of the screen\n";
    entry += "Exec=" + execValue(executable) + "\n";
    entry += "Terminal=false\n";
    entry += "NoDisplay=true\n";
    entry += "X-GNOME-Autostart-enabled=true\n";
    file.write(entry.toUtf8());
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

bool LoginItem::unregisterItem(QString* error)
{
    const QFileInfo info(m_path);
    if (!info.exists() && !info.isSymLink())
        return true;
    if (info.isDir()) {
        if (error)
            *error = QStringLiteral("%1 is a directory").arg(m_path);
        return false;
    }
    QFile file(m_path);
    if (!file.remove()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

} // namespace nimbra
