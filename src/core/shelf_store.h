#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QUuid>

namespace nimbra {

// The standardized form of a file URL: absolute, with "." and ".." steps and doubled or
// trailing slashes resolved, so two ways of writing one path compare equal.
QUrl standardizedFileUrl(const QUrl& url);

// A file dropped on the shelf, held by reference: taking it off never touches the file.
struct ShelfItem {
    QUuid id;
    QUrl url;
    // Wall-clock time it was added, or last added again.
    QDateTime addedAt;

    ShelfItem(const QUuid& id, const QUrl& url, const QDateTime& addedAt);

    QString path() const;
    QString name() const;
    // The item itself is a folder; a link to one is not, and an unreadable item is not.
    bool isDirectory() const;
    // Something (file or folder) is still at the path.
    bool stillExists() const;

    friend bool operator==(const ShelfItem&, const ShelfItem&) = default;
};

// The shelf, newest first, never two items for one file.
class ShelfStore {
public:
    // A negative limit counts as 0.
    explicit ShelfStore(qsizetype limit);

    const QList<ShelfItem>& items() const { return m_items; }
    qsizetype limit() const { return m_limit; }
    bool isEmpty() const { return m_items.isEmpty(); }

    // Puts each file at the front in turn (a file already there moves, keeping its id),
    // then trims the oldest beyond the limit. Returns how many files were new, including
    // any the trim took off again.
    qsizetype add(const QList<QUrl>& urls);
    void remove(const QUuid& id);
    void clear() { m_items.clear(); }
    // Drops the items whose file is gone; returns how many.
    qsizetype pruneMissing();
    // What is remembered between runs: the paths, newest first.
    QStringList storedPaths() const;
    // Replaces the items by the remembered paths whose files still exist, in order; neither
    // trimmed nor merged.
    void restore(const QStringList& paths);

    friend bool operator==(const ShelfStore&, const ShelfStore&) = default;

private:
    QList<ShelfItem> m_items;
    qsizetype m_limit;
};

} // namespace nimbra
