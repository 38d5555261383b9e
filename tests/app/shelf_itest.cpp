// The shelf on a real X server and session bus: files dragged from another application over
// XDND onto the notch, a tile dragged out into another application, and a file revealed
// through the file manager service.
#include "app/app_delegate.h"

#include "app/display_coordinator.h"
#include "core/nimbra_settings.h"
#include "modules/shelf/shelf_tile.h"
#include "modules/shelf/shelf_view.h"
#include "modules/shell/expanded_shell.h"
#include "modules/shell/glance.h"
#include "platform/file_manager/file_manager.h"
#include "platform/screen_space.h"
#include "ui/surface/hover_probe_window.h"
#include "ui/surface/notch_panel.h"
#include "ui/surface/notch_surface_view.h"

#include "support/file_drag.h"
#include "support/peer.h"
#include "support/test_support.h"
#include "support/x_pointer.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUuid>
#include <QWindow>
#include <gtest/gtest.h>
#include <memory>

using namespace nimbra;
using namespace nimbra::test;

namespace {

// Stands in for a file manager on the bus and writes down what it was asked to show.
class RecordingFileManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    QList<QStringList> shown;

public Q_SLOTS:
    void ShowItems(const QStringList& uris, const QString&) { shown << uris; }
};

struct ShelfOnX : ::testing::Test {
    QTemporaryDir dir;
    NimbraSettings settings { std::make_shared<MemorySettingsStorage>() };
    AppDelegate delegate { &settings };
    ButtonLetGo letGo;

    ShelfOnX()
    {
        movePointer(QPoint(50, 700));
        settings.setShowOnAllDisplays(true);
        // A surface opened by command and not visited closes after a while; a loaded machine
        // can take that long to start the other application of a case.
        settings.setClipboardAutoCloseSeconds(0);
        delegate.applicationDidFinishLaunching();
        QCoreApplication::processEvents();
    }

    NotchDisplayController& controller() const { return *delegate.coordinator()->controllers().begin()->second; }
    bool exposed() const
    {
        return controller().panel()->windowHandle()->isExposed() && controller().probe()->windowHandle()->isExposed();
    }
    QPoint notchCentre() const { return screen_space::toQt(controller().geometry().anchorRect()).center().toPoint(); }
    QString file(const QString& name)
    {
        const QString path = dir.path() + "/" + name;
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("contents of " + name.toUtf8());
        return path;
    }
    ShelfView* shownShelf() const
    {
        auto* shell = qobject_cast<ExpandedShell*>(controller().view()->contentWidget());
        return shell ? qobject_cast<ShelfView*>(shell->content()) : nullptr;
    }
};

} // namespace

// These move the pointer, drag between applications and own the file manager's name on the
// session bus: each case has a harness of its own.
NIMBRA_OWN_HARNESS(ShelfOnX);

TEST_F(ShelfOnX, FilesDraggedOntoTheOpenSurfaceAreKeptAndTheShelfTabOpens)
{
    ASSERT_TRUE(waitUntil([&] { return exposed(); }));
    // The surface is open on another tab, taking the pointer over its whole body.
    controller().open(Glance::moduleID, false);
    ASSERT_TRUE(controller().isExpandedSurface());
    ASSERT_NE(delegate.tab(), NotchSurfaceTab::shelf);
    syncWithServer();

    const QString report = file("Quarterly report.txt");
    const auto source = dragFrom(report);
    ASSERT_TRUE(source);

    // Straight into the open body: the panel takes the drag and the shelf tab comes up.
    const QPoint body = notchCentre() + QPoint(0, 60);
    movePointer(body);
    ASSERT_TRUE(waitUntil([&] { return delegate.isReceivingDrop(); }));
    EXPECT_EQ(delegate.tab(), NotchSurfaceTab::shelf);
    ASSERT_TRUE(waitUntil([&] { return shownShelf() != nullptr; }));
    EXPECT_TRUE(shownShelf()->state().isReceiving);
    ASSERT_TRUE(letGoOver(*source, body));
    ASSERT_TRUE(waitUntil([&] { return !delegate.shelf().isEmpty(); }));
    EXPECT_EQ(delegate.shelf().items().at(0).path(), report);
    EXPECT_EQ(settings.storedShelfPaths(), QStringList { report });
    EXPECT_EQ(delegate.tab(), NotchSurfaceTab::shelf);
    EXPECT_TRUE(waitUntil([&] { return !delegate.isReceivingDrop(); }));
}

TEST_F(ShelfOnX, FilesDraggedToTheTopEdgeOfTheDormantNotchAreKept)
{
    ASSERT_TRUE(waitUntil([&] { return exposed(); }));
    ASSERT_TRUE(controller().model()->isHidden());
    syncWithServer();

    const QString photo = file("photo.txt");
    const auto source = dragFrom(photo);
    ASSERT_TRUE(source);
    // The drawn notch at rest takes drags in the screen's top row above it.
    movePointer(QPoint(notchCentre().x() - 40, 0));
    movePointer(QPoint(notchCentre().x(), 0));
    ASSERT_TRUE(waitUntil([&] { return delegate.isReceivingDrop(); }));
    ASSERT_TRUE(waitUntil([&] { return controller().isExpandedSurface(); }));
    ASSERT_TRUE(letGoOver(*source, notchCentre() + QPoint(0, 60)));
    ASSERT_TRUE(waitUntil([&] { return !delegate.shelf().isEmpty(); }));
    EXPECT_EQ(delegate.shelf().items().at(0).path(), photo);
}

TEST_F(ShelfOnX, ATileDraggedOutGivesAnotherApplicationTheFile)
{
    // The other application is up before the shelf opens: its window, mapping, does not close it.
    Peer target(QStringLiteral(NIMBRA_DROP_TARGET), { "300", "450" });
    ASSERT_TRUE(target.said("ready"));
    const QString report = file("notes for the meeting.txt");
    ASSERT_TRUE(delegate.handleDropFiles({ QUrl::fromLocalFile(report) }));
    ASSERT_TRUE(waitUntil([&] { return exposed(); }));
    controller().open(Shelf::moduleID, false);
    ASSERT_TRUE(waitUntil([&] { return shownShelf() && shownShelf()->tiles().size() == 1; }));
    ASSERT_TRUE(waitUntil([&] { return !controller().view()->isAnimating(); }));
    syncWithServer();

    ASSERT_TRUE(shownShelf() && shownShelf()->tiles().size() == 1) << "the shelf closed";
    ShelfTile* tile = shownShelf()->tiles().at(0);
    const QPoint start = tile->mapToGlobal(tile->pictureRect().center().toPoint());
    const QPoint goal(380, 510);

    // The drag runs in this process's event loop, so the pointer is moved from timers: press on
    // the tile, pull it out, carry it over the other window, and let go once that window has
    // answered (its second position comes only after the first one's answer reached us).
    int step = 0;
    bool released = false;
    QTimer driver;
    driver.setInterval(15);
    QObject::connect(&driver, &QTimer::timeout, [&] {
        ++step;
        if (step == 1) {
            movePointer(start);
        } else if (step == 2) {
            pressButton(true);
        } else if (!released && target.count("move") >= 2) {
            pressButton(false);
            released = true;
            driver.stop();
        } else {
            const double t = std::min(1.0, (step - 2) / 20.0);
            movePointer(start + (goal - start) * t + QPoint(step % 3, 0));
        }
    });
    driver.start();
    ASSERT_TRUE(target.said("drop ")) << target.output.toStdString();
    EXPECT_TRUE(target.has(QUrl::fromLocalFile(report).toEncoded().constData())) << target.output.toStdString();
    EXPECT_TRUE(target.has("drop copy"));
    EXPECT_TRUE(target.has("x-special/gnome-copied-files"));
    // The file stays where it is, and on the shelf.
    EXPECT_TRUE(QFile::exists(report));
    ASSERT_EQ(delegate.shelf().items().size(), 1);
    EXPECT_EQ(delegate.shelf().items().at(0).path(), report);
}

TEST_F(ShelfOnX, ADoubleClickRevealsTheFileThroughTheFileManager)
{
    // Another connection on the session bus stands in for the file manager.
    const QString connection = "file-manager-" + QUuid::createUuid().toString(QUuid::WithoutBraces);
    QDBusConnection service = QDBusConnection::connectToBus(QDBusConnection::SessionBus, connection);
    RecordingFileManager recorder;
    ASSERT_TRUE(service.registerObject("/org/freedesktop/FileManager1", &recorder, QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(service.registerService(FileManager::serviceName));

    const QString report = file("report (final).txt");
    ASSERT_TRUE(delegate.handleDropFiles({ QUrl::fromLocalFile(report) }));
    ASSERT_TRUE(waitUntil([&] { return exposed(); }));
    controller().open(Shelf::moduleID, false);
    ASSERT_TRUE(waitUntil([&] { return shownShelf() && shownShelf()->tiles().size() == 1; }));
    ShelfTile* tile = shownShelf()->tiles().at(0);
    QTest::mouseDClick(tile, Qt::LeftButton, {}, tile->pictureRect().center().toPoint());
    ASSERT_TRUE(waitUntil([&] { return recorder.shown.size() == 1; }));
    EXPECT_EQ(recorder.shown.at(0), QStringList { QString::fromUtf8(QUrl::fromLocalFile(report).toEncoded()) });

    service.unregisterService(FileManager::serviceName);
    QDBusConnection::disconnectFromBus(connection);
}

TEST_F(ShelfOnX, ADoubleClickInSelectionModeTogglesATileOnce)
{
    ASSERT_TRUE(delegate.handleDropFiles({ QUrl::fromLocalFile(file("a.txt")), QUrl::fromLocalFile(file("b.txt")) }));
    ASSERT_TRUE(waitUntil([&] { return exposed(); }));
    controller().open(Shelf::moduleID, false);
    ASSERT_TRUE(waitUntil([&] { return shownShelf() && shownShelf()->tiles().size() == 2; }));
    ASSERT_TRUE(waitUntil([&] { return !controller().view()->isAnimating(); }));
    shownShelf()->chooseButton()->click();
    ASSERT_TRUE(delegate.isShelfSelecting());
    syncWithServer();

    ShelfTile* tile = shownShelf()->tiles().at(0);
    const QUuid id = tile->item().id;
    const QPoint centre = tile->mapToGlobal(tile->pictureRect().center().toPoint());
    movePointer(centre);
    syncWithServer();
    // Two presses in quick succession at one place, as a person double-clicks.
    for (bool press : { true, false, true, false }) {
        pressButton(press);
        syncWithServer();
    }
    // A single click after it (elsewhere, so it is no third click of the same burst) shows
    // that everything of the double click was handled.
    ShelfTile* other = shownShelf()->tiles().at(1);
    movePointer(other->mapToGlobal(other->pictureRect().center().toPoint()));
    syncWithServer();
    pressButton(true);
    pressButton(false);
    ASSERT_TRUE(waitUntil([&] { return delegate.shelfSelection().contains(other->item().id); }));
    EXPECT_TRUE(delegate.shelfSelection().contains(id)) << "toggled once, not twice";
    EXPECT_EQ(delegate.shelfSelection().size(), 2);
}

#include "shelf_itest.moc"
