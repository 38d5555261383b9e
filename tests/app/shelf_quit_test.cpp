// Quitting with thumbnails on the way. Each case runs itself again as a child process that
// drops files or holds a FIFO on the shelf and then ends the way the application does; the
// parent looks at how the child ended. When the child's application object is gone, no
// thumbnail worker may still be inside Qt: Qt's own globals go next, and a worker still using
// them crashed at exit (a double free).
#include "app/app_delegate.h"

#include "app/display_coordinator.h"
#include "core/nimbra_settings.h"
#include "modules/shelf/shelf_view.h"
#include "platform/thumbnails/file_thumbnails.h"

#include "support/hanging_folder.h"
#include "support/test_support.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace nimbra;
using namespace nimbra::test;

namespace {

const char* const kChild = "NIMBRA_SHELF_QUIT_CHILD";
const char* const kFolder = "NIMBRA_SHELF_QUIT_FOLDER";
constexpr int kWorkersLeft = 3;

bool isChild()
{
    return qEnvironmentVariableIsSet(kChild);
}

QString folder()
{
    return qEnvironmentVariable(kFolder);
}

// Runs after the application object is gone and before Qt's globals are destroyed. A worker
// stuck in the file system may be left behind, but it waits in our own code, outside Qt.
void failIfAWorkerOutlivedTheApplication()
{
    std::atexit([] {
        if (FileThumbnails::shared().workersAtWork() > 0)
            ::_exit(kWorkersLeft);
    });
}

// Large pictures, so that decoding them is still under way when the child ends.
void writePictures(const QString& dir, int count)
{
    QImage image(4000, 3000, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient sky(0, 0, 0, image.height());
    sky.setColorAt(0, QColor(90, 140, 220));
    sky.setColorAt(1, QColor(40, 60, 30));
    p.fillRect(image.rect(), sky);
    for (int i = 0; i < 400; ++i)
        p.fillRect((i * 997) % 3900, (i * 613) % 2900, 100, 100, QColor::fromHsv((i * 37) % 360, 160, 200));
    p.end();
    const QString first = dir + "/photo-00.png";
    ASSERT_TRUE(image.save(first));
    for (int i = 1; i < count; ++i)
        ASSERT_TRUE(QFile::copy(first, dir + QString("/photo-%1.png").arg(i, 2, 10, QLatin1Char('0'))));
}

QList<QUrl> pictures()
{
    QList<QUrl> urls;
    for (const QString& name : QDir(folder()).entryList({ "photo-*.png" }, QDir::Files, QDir::Name))
        urls << QUrl::fromLocalFile(folder() + "/" + name);
    return urls;
}

// Whether the process's main thread has exited (a zombie waiting for its other threads).
bool mainThreadEnded(qint64 pid)
{
    const char state = processState(pid);
    return state == '\0' || state == 'Z' || state == 'X';
}

// This case again, as a child process with the folder; how it ended.
struct ChildRun {
    QProcess process;
    bool finished = false;

    // `ready`, when given, is waited for before the child is told (on its standard input) to
    // end; `release` runs once the child's own code has all run and only a thread stuck in the
    // file system keeps its process (the kernel lets none go while a read it started is open).
    explicit ChildRun(
        const QString& dir, const std::function<bool()>& ready = {}, const std::function<void()>& release = {})
    {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(kChild, "1");
        environment.insert(kFolder, dir);
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QCoreApplication::applicationFilePath(),
            { QString("--gtest_filter=%1.%2").arg(test->test_suite_name(), test->name()) });
        const bool started = process.waitForStarted();
        if (started && ready) {
            EXPECT_TRUE(waitUntil(ready));
            process.write("end\n");
            EXPECT_TRUE(waitUntil([&] { return mainThreadEnded(process.processId()); }, 60'000));
            release();
        }
        // The event to wait for is its end; the limit only keeps a hung child from hanging us.
        finished = started && process.waitForFinished(60'000);
        if (!finished)
            process.kill();
    }
    bool endedWell()
    {
        text += process.readAll();
        // Qt's own word for a lock of its globals destroyed while a thread held it.
        return finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0
            && !text.contains("destroying locked mutex");
    }
    std::string output()
    {
        text += process.readAll();
        return QString("exit status %1, code %2 (%3 is a worker left inside Qt): ")
                   .arg(process.exitStatus())
                   .arg(process.exitCode())
                   .arg(kWorkersLeft)
                   .toStdString()
            + text.right(4000).toStdString();
    }
    QByteArray text;
};

struct ShelfQuit : ::testing::Test {
    NimbraSettings settings { std::make_shared<MemorySettingsStorage>() };
    AppDelegate delegate { &settings };

    void launch()
    {
        settings.setShowOnAllDisplays(true);
        delegate.applicationDidFinishLaunching();
        QCoreApplication::processEvents();
    }
    NotchDisplayController& controller() const { return *delegate.coordinator()->controllers().begin()->second; }
};

} // namespace

TEST_F(ShelfQuit, DroppingAndQuittingAtOnceLeavesNoWorkerBehind)
{
    if (isChild()) {
        failIfAWorkerOutlivedTheApplication();
        launch();
        // As the tests that crashed did: the drop, then the end of the run, with every
        // thumbnail still on its way.
        ASSERT_TRUE(delegate.handleDropFiles(pictures()));
        ASSERT_FALSE(FileThumbnails::shared().isIdle());
        return;
    }
    QTemporaryDir dir;
    writePictures(dir.path(), 24);
    for (int run = 0; run < 5; ++run) {
        ChildRun child(dir.path());
        ASSERT_TRUE(child.endedWell()) << "run " << run << ": " << child.output();
    }
}

// A picture on a network folder that stopped answering: its worker is left behind at the end,
// waiting where it holds no lock of Qt's. Qt's image reader held one of its process-wide locks
// while it read, and the end of the process destroyed it held ("QMutex: destroying locked mutex").
TEST_F(ShelfQuit, APictureWhoseFolderHangsLeavesNoLockHeldAtTheEnd)
{
    if (isChild()) {
        failIfAWorkerOutlivedTheApplication();
        launch();
        ASSERT_TRUE(delegate.handleDropFiles({ QUrl::fromLocalFile(folder() + "/photo.png") }));
        // Ends when the parent saw the picture's first read reach the folder.
        QFile input;
        ASSERT_TRUE(input.open(stdin, QIODevice::ReadOnly));
        input.readLine();
        return;
    }
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(QImage(64, 64, QImage::Format_RGB32).save(&buffer, "png"));
    HangingFolder hanging({ { "photo.png", png } });
    if (!hanging.isMounted())
        GTEST_SKIP() << "no FUSE folder here: " << hanging.error().toStdString();
    ChildRun child(hanging.path(), [&] { return hanging.readsAsked() > 0; }, [&] { hanging.release(); });
    ASSERT_TRUE(child.endedWell()) << child.output();
}

TEST_F(ShelfQuit, AFifoOnTheShelfGetsNoThumbnailAndQuittingIsPrompt)
{
    if (isChild()) {
        failIfAWorkerOutlivedTheApplication();
        const QString fifo = folder() + "/pipe.fifo";
        const QUrl photo = pictures().value(0);
        settings.storeShelf({ fifo, photo.toLocalFile() });
        launch();
        ASSERT_EQ(delegate.shelf().items().size(), 2) << "a FIFO is kept on the shelf";
        // The open shelf asks for both thumbnails.
        delegate.selectTab(NotchSurfaceTab::shelf);
        controller().open(Shelf::moduleID, false);
        FileThumbnails& thumbnails = FileThumbnails::shared();
        const double side = delegate.shelfTileSide();
        ASSERT_TRUE(waitUntil([&] { return thumbnails.requestsStarted() >= 2; }));
        ASSERT_TRUE(waitUntil([&] { return thumbnails.hasFailed(QUrl::fromLocalFile(fifo), side); }, 30000));
        ASSERT_TRUE(waitUntil([&] { return thumbnails.isCached(photo, side); }, 30000));
        // The end of a run through the event loop, as SIGTERM ends the application.
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, &delegate, &AppDelegate::applicationWillTerminate);
        delegate.handleDropFiles(pictures());
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
        QCoreApplication::exec();
        return;
    }
    QTemporaryDir dir;
    writePictures(dir.path(), 24);
    const QString fifo = dir.path() + "/pipe.fifo";
    ASSERT_TRUE(makeFifo(fifo));
    ChildRun child(dir.path());
    ASSERT_TRUE(child.endedWell()) << child.output();
}
