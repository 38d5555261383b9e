#include "platform/autostart/login_item.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

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
} // namespace

LoginItem::LoginItem(const QString& configHome)
    : m_path((configHome.isEmpty() ? defaultConfigHome() : configHome) + "/autostart/nimbra.desktop")
{
}

bool LoginItem::isRegistered() const
{
    return QFileInfo(m_path).isFile();
}

QString LoginItem::execValue(const QString& executable)
{
    // Reserved characters force quoting; inside quotes ", `, $ and \ take a backslash.
    // A literal % is always written %% (field codes).
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool needsQuotes = executable.isEmpty();
    QString escaped;
    for (const QChar c : executable) {
        if (reserved.contains(c))
            needsQuotes = true;
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            escaped += '\\';
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
