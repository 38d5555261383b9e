#include "core/shelf_store.h"

#include "core/file_url.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>
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
    // In one pass from the last file given back to the first, which is the order the files
    // end up in: each file once, at the place of its last mention, then the items that were
    // not mentioned in their old order. Files beyond the limit are only counted.
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QHash<QUrl, qsizetype> onShelf;
    onShelf.reserve(m_items.size());
    for (qsizetype i = 0; i < m_items.size(); ++i)
        onShelf.insert(m_items[i].url, i);
    QSet<QUrl> seen;
    QList<bool> mentioned(m_items.size(), false);
    QList<ShelfItem> items;
    qsizetype added = 0;
    for (auto url = urls.crbegin(); url != urls.crend(); ++url) {
        const QUrl standardized = standardizedFileUrl(*url);
        if (seen.contains(standardized))
            continue;
        seen.insert(standardized);
        const auto existing = onShelf.constFind(standardized);
        if (existing == onShelf.cend()) {
            ++added;
            if (items.size() < m_limit)
                items << ShelfItem(QUuid::createUuid(), standardized, now);
            continue;
        }
        mentioned[*existing] = true;
        if (items.size() < m_limit) {
            ShelfItem again = m_items[*existing];
            again.addedAt = now;
            items << again;
        }
    }
    for (qsizetype i = 0; i < m_items.size() && items.size() < m_limit; ++i) {
        if (!mentioned[i])
            items << m_items[i];
    }
    m_items = std::move(items);
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
