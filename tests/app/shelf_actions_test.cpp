#include "app/app_delegate.h"

#include "app/display_coordinator.h"
#include "core/nimbra_settings.h"
#include "modules/shelf/shelf_tile.h"
#include "modules/shelf/shelf_view.h"
#include "modules/shelf/shelf_watch.h"
#include "modules/shell/expanded_shell.h"
#include "platform/thumbnails/file_thumbnails.h"
#include "ui/surface/notch_surface_view.h"

#include "support/test_support.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QTest>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace nimbra;
using namespace nimbra::test;

namespace {

struct Shelved : ::testing::Test {
    Shelved() { }
    void launch()
    {
        settings.setShowOnAllDisplays(true);
        delegate.applicationDidFinishLaunching();
        settle();
    }
    void settle() { QCoreApplication::processEvents(); }
    NotchDisplayController& controller() const { return *delegate.coordinator()->controllers().begin()->second; }

    QUrl file(const QString& name, const QByteArray& contents = "x")
    {
        const QString path = dir.path() + "/" + name;
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(contents);
        return QUrl::fromLocalFile(path);
    }
    QUrl picture(const QString& name)
    {
        QImage image(320, 200, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        const QString path = dir.path() + "/" + name;
        EXPECT_TRUE(image.save(path));
        return QUrl::fromLocalFile(path);
    }
    QStringList names() const
    {
        QStringList result;
        for (const ShelfItem& item : delegate.shelf().items())
            result << item.name();
        return result;
    }
    QStringList storedNames() const
    {
        QStringList result;
        for (const QString& path : settings.storedShelfPaths())
            result << path.mid(path.lastIndexOf('/') + 1);
        return result;
    }
    ShelfView* openShelf()
    {
        delegate.selectTab(NotchSurfaceTab::shelf);
        controller().open(Shelf::moduleID, false);
        auto* shell = qobject_cast<ExpandedShell*>(controller().view()->contentWidget());
        return shell ? qobject_cast<ShelfView*>(shell->content()) : nullptr;
    }

    QTemporaryDir dir;
    std::shared_ptr<MemorySettingsStorage> storage = std::make_shared<MemorySettingsStorage>();
    NimbraSettings settings { storage };
    AppDelegate delegate { &settings };
};

} // namespace

TEST_F(Shelved, ADropKeepsTheFilesAndOpensTheShelfTab)
{
    launch();
    const QUrl a = file("a.txt"), b = file("b.txt");
    ASSERT_TRUE(delegate.coordinator()->controllers().size() >= 1);
    ASSERT_TRUE(static_cast<bool>(controller().onDropFiles())) << "every notch takes drops";
    EXPECT_TRUE(controller().onDropFiles()({ a, b }));
    EXPECT_EQ(names(), (QStringList { "b.txt", "a.txt" }));
    EXPECT_EQ(storedNames(), (QStringList { "b.txt", "a.txt" }));
    EXPECT_EQ(delegate.tab(), NotchSurfaceTab::shelf);

    // The same file again: no new item, it moves to the front.
    EXPECT_TRUE(delegate.handleDropFiles({ a }));
    EXPECT_EQ(names(), (QStringList { "a.txt", "b.txt" }));

    // A dropped file that is already gone again does not land: the drop is refused.
    const QUrl brief = file("brief.txt");
    QFile::remove(brief.toLocalFile());
    EXPECT_FALSE(delegate.handleDropFiles({ brief }));
    EXPECT_EQ(names(), (QStringList { "a.txt", "b.txt" }));

    // Switched off, the shelf refuses drops and changes nothing.
    settings.setShelfEnabled(false);
    settle();
    EXPECT_FALSE(delegate.handleDropFiles({ file("c.txt") }));
    EXPECT_EQ(names(), (QStringList { "a.txt", "b.txt" }));
    EXPECT_FALSE(delegate.liveTabs().contains(NotchSurfaceTab::shelf));
}

TEST_F(Shelved, ADropEndsSelectionAndPreparesThumbnails)
{
    launch();
    const QUrl photo = picture("photo.png");
    ShelfView* view = openShelf();
    ASSERT_NE(view, nullptr);
    view->chooseButton()->click();
    EXPECT_TRUE(delegate.isShelfSelecting());

    EXPECT_TRUE(delegate.handleDropFiles({ photo }));
    EXPECT_FALSE(delegate.isShelfSelecting());
    EXPECT_TRUE(delegate.shelfSelection().isEmpty());
    FileThumbnails& thumbnails = FileThumbnails::shared();
    const double side = delegate.shelfTileSide();
    EXPECT_GE(side, 40);
    EXPECT_LE(side, 96);
    EXPECT_TRUE(thumbnails.isInFlight(photo, side) || thumbnails.isCached(photo, side));
    ASSERT_TRUE(waitUntil([&] { return thumbnails.isCached(photo, side); }, 20000));
}

TEST_F(Shelved, DragHoverOpensTheShelfWithoutTheKeyboard)
{
    launch();
    delegate.handleDragHover(true);
    EXPECT_TRUE(delegate.isReceivingDrop());
    EXPECT_TRUE(controller().isReceivingDrag());
    EXPECT_EQ(delegate.tab(), NotchSurfaceTab::shelf);
    EXPECT_TRUE(controller().isExpandedSurface());
    EXPECT_EQ(controller().presentation().focus(), Shelf::moduleID);
    auto* shell = qobject_cast<ExpandedShell*>(controller().view()->contentWidget());
    ASSERT_NE(shell, nullptr);
    auto* view = qobject_cast<ShelfView*>(shell->content());
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(view->state().isReceiving);

    delegate.handleDragHover(false);
    EXPECT_FALSE(delegate.isReceivingDrop());
    EXPECT_FALSE(controller().isReceivingDrag());
    // The same shelf view took the new state in place.
    EXPECT_EQ(qobject_cast<ExpandedShell*>(controller().view()->contentWidget())->content(), view);
    EXPECT_FALSE(view->state().isReceiving);

    settings.setShelfEnabled(false);
    settle();
    delegate.handleDragHover(true);
    EXPECT_FALSE(delegate.isReceivingDrop());
}

TEST_F(Shelved, TheShelfIsRememberedAcrossRestarts)
{
    const QUrl a = file("a.txt"), b = file("b.txt");
    settings.storeShelf({ b.toLocalFile(), dir.path() + "/gone.txt", a.toLocalFile() });
    launch();
    EXPECT_EQ(names(), (QStringList { "b.txt", "a.txt" }));
    // Files on the shelf are watched from the start.
    EXPECT_EQ(delegate.shelfWatch().watched().size(), 2);

    // Not persisting, the shelf starts empty and remembers nothing.
    NimbraSettings other { std::make_shared<MemorySettingsStorage>() };
    other.storeShelf({ a.toLocalFile() });
    other.setShelfPersists(false);
    AppDelegate fresh { &other };
    other.setShowOnAllDisplays(true);
    fresh.applicationDidFinishLaunching();
    EXPECT_TRUE(fresh.shelf().isEmpty());
    EXPECT_TRUE(fresh.handleDropFiles({ b }));
    other.setShelfPersists(true);
    EXPECT_TRUE(other.storedShelfPaths().isEmpty());
}

TEST_F(Shelved, TheLimitTrimsTheOldestAndForgetsTheirThumbnails)
{
    launch();
    QList<QUrl> photos;
    for (int i = 0; i < 26; ++i)
        photos << picture(QString("p%1.png").arg(i, 2, 10, QLatin1Char('0')));
    const double side = delegate.shelfTileSide();
    FileThumbnails& thumbnails = FileThumbnails::shared();
    EXPECT_TRUE(delegate.handleDropFiles(photos.mid(0, 24)));
    ASSERT_TRUE(
        waitUntil([&] { return thumbnails.isCached(photos[0], side) && thumbnails.isCached(photos[1], side); }, 30000));

    EXPECT_TRUE(delegate.handleDropFiles(photos.mid(24)));
    EXPECT_EQ(delegate.shelf().items().size(), 24);
    EXPECT_EQ(names().first(), "p25.png");
    EXPECT_FALSE(names().contains("p00.png"));
    EXPECT_FALSE(names().contains("p01.png"));
    EXPECT_EQ(settings.storedShelfPaths().size(), 24);
    EXPECT_FALSE(thumbnails.isCached(photos[0], side));
    EXPECT_FALSE(thumbnails.isCached(photos[1], side));
}

TEST_F(Shelved, ALargeDropStartsWorkOnlyForTheFilesThatStay)
{
    launch();
    QList<QUrl> files;
    for (int i = 0; i < 2000; ++i)
        files << file(QString("f%1.txt").arg(i, 4, 10, QLatin1Char('0')));
    FileThumbnails& thumbnails = FileThumbnails::shared();
    const int requests = thumbnails.requestsStarted();
    storage->forgetWrites();
    EXPECT_TRUE(delegate.handleDropFiles(files));
    // The newest 24 stay, the last given first; nothing is started for the others.
    ASSERT_EQ(names().size(), 24);
    EXPECT_EQ(names().first(), "f1999.txt");
    EXPECT_EQ(names().last(), "f1976.txt");
    EXPECT_EQ(thumbnails.requestsStarted() - requests, 24);
    EXPECT_FALSE(thumbnails.isInFlight(files.first(), delegate.shelfTileSide()));
    EXPECT_EQ(storage->writtenKeys().count("shelf.paths"), 1);
}

TEST_F(Shelved, ADropIsAcceptedOnlyForWhatLands)
{
    launch();
    // A name that is not UTF-8 cannot be reached by the name the drop gives it.
    const QByteArray foreign = QFile::encodeName(dir.path()) + "/caf\xE9.txt";
    const int fd = ::open(foreign.constData(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    ::close(fd);
    const QUrl unreachable = QUrl::fromEncoded("file://" + QByteArray(foreign).toPercentEncoding("/"));
    ASSERT_TRUE(unreachable.isLocalFile());
    EXPECT_FALSE(delegate.handleDropFiles({ unreachable }));
    EXPECT_TRUE(delegate.shelf().isEmpty());
    EXPECT_FALSE(delegate.handleDropFiles({ QUrl::fromLocalFile(dir.path() + "/never-there.txt") }));

    // Mixed with one that lands, the drop is taken and only that one is kept.
    const QUrl fine = file("fine.txt");
    EXPECT_TRUE(delegate.handleDropFiles({ unreachable, fine }));
    EXPECT_EQ(names(), QStringList { "fine.txt" });
    EXPECT_EQ(storedNames(), QStringList { "fine.txt" });

    // A FIFO lands as an item like any other (it gets no thumbnail, and is never opened).
    const QString fifo = dir.path() + "/pipe";
    ASSERT_TRUE(makeFifo(fifo));
    EXPECT_TRUE(delegate.handleDropFiles({ QUrl::fromLocalFile(fifo) }));
    EXPECT_EQ(names(), (QStringList { "pipe", "fine.txt" }));
}

TEST_F(Shelved, AShelvedFolderThatKeepsChangingIsNotWrittenAgain)
{
    launch();
    ASSERT_TRUE(QDir(dir.path()).mkdir("busy"));
    const QUrl busy = QUrl::fromLocalFile(dir.path() + "/busy");
    EXPECT_TRUE(delegate.handleDropFiles({ busy }));
    int changes = 0;
    auto told = delegate.shelfWatch().onChange;
    delegate.shelfWatch().onChange = [&](const QStringList& paths) {
        told(paths);
        ++changes;
    };
    storage->forgetWrites();
    for (int i = 0; i < 3; ++i) {
        file(QString("busy/part%1").arg(i));
        ASSERT_TRUE(waitUntil([&] { return changes == i + 1; }, 10000));
    }
    EXPECT_EQ(names(), QStringList { "busy" });
    EXPECT_EQ(storage->writtenKeys().count("shelf.paths"), 0);
}

TEST_F(Shelved, TabActions)
{
    launch();
    const QUrl a = file("a.txt"), b = file("b.txt"), c = file("c.txt");
    EXPECT_TRUE(delegate.handleDropFiles({ a, b, c }));
    ShelfView* view = openShelf();
    ASSERT_NE(view, nullptr);
    ASSERT_EQ(view->tiles().size(), 3);
    const QUuid idC = delegate.shelf().items().at(0).id;
    const QUuid idA = delegate.shelf().items().at(2).id;

    view->chooseButton()->click();
    settle();
    EXPECT_TRUE(delegate.isShelfSelecting());
    view = openShelf();
    QTest::mouseClick(view->tile(idC), Qt::LeftButton, {}, QPoint(8, 8));
    EXPECT_EQ(delegate.shelfSelection(), QSet<QUuid> { idC });
    view->selectAllButton()->click();
    EXPECT_EQ(delegate.shelfSelection().size(), 3);
    view->selectAllButton()->click();
    EXPECT_TRUE(delegate.shelfSelection().isEmpty()) << "a second press selects none";
    QTest::mouseClick(view->tile(idC), Qt::LeftButton, {}, QPoint(8, 8));
    QTest::mouseClick(view->tile(idA), Qt::LeftButton, {}, QPoint(8, 8));
    view->deleteButton()->click();
    settle();
    EXPECT_EQ(names(), QStringList { "b.txt" });
    EXPECT_EQ(storedNames(), QStringList { "b.txt" });
    EXPECT_FALSE(delegate.isShelfSelecting());
    // Taken off the shelf, never off the disk.
    EXPECT_TRUE(QFile::exists(a.toLocalFile()));

    view = openShelf();
    ASSERT_EQ(view->tiles().size(), 1);
    view->tiles().at(0)->onRemove();
    settle();
    EXPECT_TRUE(delegate.shelf().isEmpty());
    EXPECT_TRUE(settings.storedShelfPaths().isEmpty());
    EXPECT_TRUE(QFile::exists(b.toLocalFile()));

    // Cancelling selection mode clears it.
    EXPECT_TRUE(delegate.handleDropFiles({ a }));
    view = openShelf();
    view->chooseButton()->click();
    view->tiles().at(0)->onToggleSelect();
    view->cancelButton()->click();
    EXPECT_FALSE(delegate.isShelfSelecting());
    EXPECT_TRUE(delegate.shelfSelection().isEmpty());
}

TEST_F(Shelved, FilesThatVanishLeaveTheShelf)
{
    launch();
    const QUrl a = file("a.txt"), b = file("b.txt"), c = file("c.txt");
    EXPECT_TRUE(delegate.handleDropFiles({ a, b, c }));
    ASSERT_TRUE(QFile::remove(b.toLocalFile()));
    ASSERT_TRUE(waitUntil([&] { return delegate.shelf().items().size() == 2; }, 10000));
    EXPECT_EQ(names(), (QStringList { "c.txt", "a.txt" }));
    EXPECT_EQ(storedNames(), (QStringList { "c.txt", "a.txt" }));

    // Moved away counts as gone too.
    ASSERT_TRUE(QFile::rename(c.toLocalFile(), dir.path() + "/elsewhere.txt"));
    ASSERT_TRUE(waitUntil([&] { return delegate.shelf().items().size() == 1; }, 10000));
    EXPECT_EQ(names(), QStringList { "a.txt" });

    // A tile whose file is gone when it is dragged out leaves at once.
    ShelfView* view = openShelf();
    ASSERT_NE(view, nullptr);
    delegate.shelfWatch().watch({});
    ASSERT_TRUE(QFile::remove(a.toLocalFile()));
    ShelfTile* tile = view->tiles().at(0);
    QTest::mousePress(tile, Qt::LeftButton, {}, QPoint(8, 8));
    QTest::mouseMove(tile, QPoint(40, 30));
    settle();
    EXPECT_TRUE(delegate.shelf().isEmpty());
    EXPECT_TRUE(settings.storedShelfPaths().isEmpty());
}

TEST_F(Shelved, AChangedFileIsDrawnAgain)
{
    launch();
    const QUrl photo = picture("photo.png");
    EXPECT_TRUE(delegate.handleDropFiles({ photo }));
    const double side = delegate.shelfTileSide();
    FileThumbnails& thumbnails = FileThumbnails::shared();
    ASSERT_TRUE(waitUntil([&] { return thumbnails.isCached(photo, side); }, 20000));
    const int revision = thumbnails.revision();

    QImage red(320, 200, QImage::Format_RGB32);
    red.fill(Qt::red);
    ASSERT_TRUE(red.save(photo.toLocalFile()));
    // The watch forgets the old picture; the open shelf asks for the new one.
    ASSERT_TRUE(waitUntil([&] { return !thumbnails.isCached(photo, side); }, 10000));
    ShelfView* view = openShelf();
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(waitUntil([&] { return thumbnails.revision() > revision && thumbnails.isCached(photo, side); }, 20000));
    EXPECT_EQ(delegate.shelf().items().size(), 1);
}
