#include "core/shelf_store.h"

#include "support/test_support.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using nimbra::ShelfItem;
using nimbra::ShelfStore;

namespace {

// A temporary folder with files made on request.
class ShelfFiles {
public:
    ShelfFiles() { EXPECT_TRUE(m_dir.isValid()); }

    QString path(const QString& name) const { return m_dir.filePath(name); }

    QUrl file(const QString& name) const
    {
        QFile file(path(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("shelved");
        return QUrl::fromLocalFile(path(name));
    }

    QList<QUrl> files(const QString& prefix, int count) const
    {
        QList<QUrl> urls;
        for (int i = 0; i < count; ++i)
            urls << file(QStringLiteral("%1%2").arg(prefix).arg(i));
        return urls;
    }

private:
    QTemporaryDir m_dir;
};

QStringList names(const ShelfStore& store)
{
    QStringList result;
    for (const auto& item : store.items())
        result << item.name();
    return result;
}

} // namespace

TEST(ShelfItem, StandardizesItsUrlAndAsksTheFileSystem)
{
    ShelfFiles files;
    const QUrl url = files.file("notes.txt");
    ASSERT_TRUE(QDir().mkpath(files.path("folder")));

    const QUrl roundabout = QUrl::fromLocalFile(files.path("folder/../folder/./.././notes.txt"));
    const ShelfItem item(QUuid::createUuid(), roundabout, QDateTime::currentDateTimeUtc());
    EXPECT_EQ(item.url, url);
    // Above the root there is only the root.
    EXPECT_EQ(ShelfItem({}, QUrl::fromLocalFile("/../.." + files.path("notes.txt")), {}).url, url);
    EXPECT_EQ(ShelfItem({}, QUrl::fromLocalFile("/.."), {}).url, QUrl::fromLocalFile("/"));
    EXPECT_EQ(item.path(), files.path("notes.txt"));
    EXPECT_EQ(item.name(), "notes.txt");
    EXPECT_FALSE(item.isDirectory());
    EXPECT_TRUE(item.stillExists());

    const ShelfItem folder(QUuid::createUuid(), QUrl::fromLocalFile(files.path("folder") + "/"), {});
    EXPECT_EQ(folder.name(), "folder");
    EXPECT_TRUE(folder.isDirectory());
    EXPECT_TRUE(folder.stillExists());

    // A link to a folder is a link; a link whose target is gone points at nothing.
    ASSERT_TRUE(QFile::link(files.path("folder"), files.path("folder-link")));
    EXPECT_FALSE(ShelfItem({}, QUrl::fromLocalFile(files.path("folder-link")), {}).isDirectory());
    ASSERT_TRUE(QFile::link(files.path("gone"), files.path("dangling")));
    EXPECT_FALSE(ShelfItem({}, QUrl::fromLocalFile(files.path("dangling")), {}).stillExists());

    // A file URL naming a host ("file://localhost/…") names the same local path.
    QUrl withHost = url;
    withHost.setHost(QStringLiteral("localhost"));
    const ShelfItem hosted(QUuid::createUuid(), withHost, {});
    EXPECT_EQ(hosted.url, url);
    EXPECT_EQ(hosted.path(), files.path("notes.txt"));
    EXPECT_TRUE(hosted.stillExists());

    const ShelfItem missing(QUuid::createUuid(), QUrl::fromLocalFile(files.path("missing")), {});
    EXPECT_FALSE(missing.stillExists());
    EXPECT_FALSE(missing.isDirectory());
}

TEST(ShelfStore, AddPutsTheLastGivenFirstAndCountsNewFiles)
{
    ShelfFiles files;
    ShelfStore store(24);
    EXPECT_TRUE(store.isEmpty());
    const QDateTime before = QDateTime::currentDateTimeUtc();
    EXPECT_EQ(store.add({ files.file("a"), files.file("b"), files.file("c") }), 3);
    EXPECT_EQ(names(store), (QStringList { "c", "b", "a" }));
    EXPECT_GE(store.items()[0].addedAt, before);
    EXPECT_LE(store.items()[0].addedAt, QDateTime::currentDateTimeUtc());

    // Adding "a" again, written another way, moves it to the front with a new date.
    const ShelfItem oldA = store.items()[2];
    // The clock moves on before the file is given again.
    ASSERT_TRUE(nimbra::test::waitUntil([&] { return QDateTime::currentDateTimeUtc() > oldA.addedAt; }));
    EXPECT_EQ(store.add({ QUrl::fromLocalFile(files.path("x/../a")) }), 0);
    EXPECT_EQ(names(store), (QStringList { "a", "c", "b" }));
    EXPECT_EQ(store.items()[0].id, oldA.id);
    EXPECT_GT(store.items()[0].addedAt, oldA.addedAt);

    // A file given twice in one batch is one item.
    EXPECT_EQ(store.add({ files.file("d"), QUrl::fromLocalFile(files.path("./d")) }), 1);
    EXPECT_EQ(names(store), (QStringList { "d", "a", "c", "b" }));
}

TEST(ShelfStore, TrimsToItsLimit)
{
    ShelfFiles files;
    ShelfStore store(24);
    const QList<QUrl> thirty = files.files("f", 30);
    EXPECT_EQ(store.add(thirty), 30);
    ASSERT_EQ(store.items().size(), 24);
    EXPECT_EQ(store.items().first().name(), "f29");
    EXPECT_EQ(store.items().last().name(), "f6");

    // A restored shelf may hold more than the limit until the next add trims it.
    ShelfStore restored(3);
    QStringList five;
    for (const QUrl& url : files.files("r", 5))
        five << url.toLocalFile();
    restored.restore(five);
    ASSERT_EQ(restored.items().size(), 5);
    EXPECT_EQ(restored.add({}), 0);
    EXPECT_EQ(names(restored), (QStringList { "r0", "r1", "r2" }));

    ShelfStore none(0);
    EXPECT_EQ(none.add(files.files("n", 2)), 2);
    EXPECT_TRUE(none.isEmpty());
    EXPECT_EQ(ShelfStore(-5).limit(), 0);
}

TEST(ShelfStore, RemoveAndPrune)
{
    ShelfFiles files;
    ShelfStore store(24);
    store.add(files.files("f", 5));
    const ShelfStore before = store;
    store.remove(QUuid::createUuid());
    EXPECT_EQ(store, before);

    ASSERT_TRUE(QFile::remove(files.path("f1")));
    ASSERT_TRUE(QFile::remove(files.path("f3")));
    EXPECT_EQ(store.pruneMissing(), 2);
    EXPECT_EQ(names(store), (QStringList { "f4", "f2", "f0" }));
    EXPECT_EQ(store.pruneMissing(), 0);

    store.remove(store.items()[1].id);
    EXPECT_EQ(names(store), (QStringList { "f4", "f0" }));
    store.clear();
    EXPECT_TRUE(store.isEmpty());
}

TEST(ShelfStore, StoredPathsRestoreWhatStillExists)
{
    ShelfFiles files;
    ShelfStore store(24);
    store.add({ files.file("one"), files.file("two"), files.file("three") });
    const QStringList paths = store.storedPaths();
    EXPECT_EQ(paths, (QStringList { files.path("three"), files.path("two"), files.path("one") }));

    ASSERT_TRUE(QFile::remove(files.path("two")));
    ShelfStore later(24);
    later.add({ files.file("stale") });
    later.restore(paths + QStringList { QString(), files.path("one") });
    // Gone files and empty paths are left out; repeated paths are not merged.
    EXPECT_EQ(names(later), (QStringList { "three", "one", "one" }));
    EXPECT_NE(later.items()[1].id, later.items()[2].id);

    ShelfStore many(24);
    QStringList thirty;
    for (const QUrl& url : files.files("m", 30))
        thirty << url.toLocalFile();
    many.restore(thirty);
    EXPECT_EQ(many.items().size(), 30);
}
