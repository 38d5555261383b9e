#include "modules/shelf/shelf_watch.h"

namespace nimbra {

ShelfWatch::ShelfWatch(QObject* parent)
    : QObject(parent)
{
    m_settle.setSingleShot(true);
    m_settle.setInterval(settleMs);
    connect(&m_settle, &QTimer::timeout, this, [this] {
        const QStringList paths(m_changed.cbegin(), m_changed.cend());
        m_changed.clear();
        if (onChange && !paths.isEmpty())
            onChange(paths);
    });
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, &ShelfWatch::changed);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &ShelfWatch::changed);
}

QStringList ShelfWatch::watched() const
{
    return m_watcher.files() + m_watcher.directories();
}

void ShelfWatch::watch(const QStringList& paths)
{
    const QSet<QString> wanted(paths.cbegin(), paths.cend());
    QStringList stale;
    for (const QString& path : watched()) {
        if (!wanted.contains(path))
            stale << path;
    }
    if (!stale.isEmpty())
        m_watcher.removePaths(stale);
    const QStringList current = watched();
    QStringList fresh;
    for (const QString& path : wanted) {
        if (!current.contains(path))
            fresh << path;
    }
    // A file replaced by a new one (an editor saving) is watched again here.
    if (!fresh.isEmpty())
        m_watcher.addPaths(fresh);
}

void ShelfWatch::changed(const QString& path)
{
    m_changed.insert(path);
    m_settle.start();
}

} // namespace nimbra
