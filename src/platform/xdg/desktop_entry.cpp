#include "platform/xdg/desktop_entry.h"

#include "core/regular_file.h"

#include <QHash>
#include <QStandardPaths>

namespace nimbra::desktop_entry {

QString locate(const QString& id)
{
    QString entry = id.trimmed();
    if (entry.endsWith(QLatin1String(".desktop")))
        entry.chop(8);
    if (entry.isEmpty() || entry.contains(QLatin1Char('/')) || entry.startsWith(QLatin1Char('.')))
        return {};
    return QStandardPaths::locate(QStandardPaths::ApplicationsLocation, entry + QStringLiteral(".desktop"));
}

QString value(const QString& path, const QString& key)
{
    // Read on the main thread: a FIFO named like an entry is never waited on, and an entry is a
    // few kilobytes.
    const RegularFileRead file = readRegularFile(path, 256 * 1024);
    if (file.outcome != RegularFileRead::Outcome::read)
        return {};
    bool mainGroup = false;
    for (const QString& raw : QString::fromUtf8(file.bytes).split(QLatin1Char('\n'))) {
        const QString line = raw.trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            mainGroup = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        if (!mainGroup || !line.startsWith(key))
            continue;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq > 0 && line.left(eq).trimmed() == key)
            return line.mid(eq + 1).trimmed();
    }
    return {};
}

std::optional<QString> displayName(const QString& id)
{
    static QHash<QString, std::optional<QString>> known;
    const auto cached = known.constFind(id);
    if (cached != known.cend())
        return *cached;
    std::optional<QString> name;
    if (const QString path = locate(id); !path.isEmpty()) {
        const QString found = value(path, QStringLiteral("Name"));
        if (!found.isEmpty())
            name = found;
    }
    known.insert(id, name);
    return name;
}

} // namespace nimbra::desktop_entry
