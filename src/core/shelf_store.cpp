#include "core/shelf_store.h"

#include "core/file_url.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

namespace nimbra {

QUrl standardizedFileUrl(const QUrl& url)
{
    if (!url.isLocalFile())
        return url.adjusted(QUrl::NormalizePathSegments);
    QString path = QDir::cleanPath(QDir::current().absoluteFilePath(localPath(url)));
    // Above the root there is only the root: "/../a" is "/a".
    while (path.startsWith(QLatin1String("/..")) && (path.size() == 3 || path.at(3) == u'/'))
        path.remove(0, 3);
    return QUrl::fromLocalFile(path.isEmpty() ? QStringLiteral("/") : path);
}

ShelfItem::ShelfItem(const QUuid& id, const QUrl& url, const QDateTime& addedAt)
    : id(id)
    , url(standardizedFileUrl(url))
    , addedAt(addedAt)
{
}

QString ShelfItem::path() const
{
    return url.isLocalFile() ? url.toLocalFile() : url.path();
}

QString ShelfItem::name() const
{
    const QString itemPath = path();
    if (itemPath == QLatin1String("/"))
        return itemPath;
    return itemPath.mid(itemPath.lastIndexOf(QLatin1Char('/')) + 1);
}

bool ShelfItem::isDirectory() const
{
    const QFileInfo info(path());
    return info.isDir() && !info.isSymLink();
}

bool ShelfItem::stillExists() const
{
    const QString itemPath = path();
    return !itemPath.isEmpty() && QFileInfo::exists(itemPath);
}

ShelfStore::ShelfStore(qsizetype limit)
    : m_limit(std::max<qsizetype>(limit, 0))
{
}

qsizetype ShelfStore::add(const QList<QUrl>& urls)
{
    qsizetype added = 0;
    for (const QUrl& url : urls) {
        ShelfItem candidate(QUuid::createUuid(), url, QDateTime::currentDateTimeUtc());
        const auto existing = std::find_if(
            m_items.begin(), m_items.end(), [&](const ShelfItem& item) { return item.url == candidate.url; });
        if (existing != m_items.end()) {
            ShelfItem again = *existing;
            m_items.erase(existing);
            again.addedAt = candidate.addedAt;
            m_items.prepend(again);
        } else {
            m_items.prepend(candidate);
            ++added;
        }
    }
    if (m_items.size() > m_limit)
        m_items.remove(m_limit, m_items.size() - m_limit);
    return added;
}

void ShelfStore::remove(const QUuid& id)
{
    m_items.removeIf([&](const ShelfItem& item) { return item.id == id; });
}

qsizetype ShelfStore::pruneMissing()
{
    return m_items.removeIf([](const ShelfItem& item) { return !item.stillExists(); });
}

QStringList ShelfStore::storedPaths() const
{
    QStringList paths;
    paths.reserve(m_items.size());
    for (const ShelfItem& item : m_items)
        paths << item.path();
    return paths;
}

void ShelfStore::restore(const QStringList& paths)
{
    QList<ShelfItem> restored;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (const QString& path : paths) {
        // An empty path would stand for the working folder, which nobody put on the shelf.
        if (path.isEmpty())
            continue;
        ShelfItem item(QUuid::createUuid(), QUrl::fromLocalFile(path), now);
        if (item.stillExists())
            restored << item;
    }
    m_items = restored;
}

} // namespace nimbra
