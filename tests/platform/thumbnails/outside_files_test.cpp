// Files that someone else put there: FIFOs, sockets and devices on the shelf or in the shared
// thumbnail cache, and files that take too long. None may hold a thumbnail worker.
#include "platform/thumbnails/file_thumbnails.h"
#include "platform/thumbnails/guarded_file.h"
#include "platform/thumbnails/thumbnail_maker.h"
#include "platform/thumbnails/worker_census.h"

#include "platform/thumbnails/pictures.h"
#include "support/hanging_folder.h"
#include "support/test_support.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <condition_variable>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <thread>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace nimbra;
using namespace nimbra::test;

namespace {

QString makeSocket(const QString& path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    std::memcpy(address.sun_path, name.constData(), std::min<size_t>(name.size(), sizeof address.sun_path - 1));
    EXPECT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
    return path;
}

// Whatever happens, a reader stuck opening one of these FIFOs is let go at the end of the
// case, so that a failure shows as one instead of a hang.
struct FifoRelease {
    QStringList fifos;
    ~FifoRelease()
    {
        for (const QString& fifo : std::as_const(fifos)) {
            const int writer = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
            if (writer >= 0)
                ::close(writer);
        }
    }
};

} // namespace

TEST(OutsideFiles, FifosSocketsAndDevicesGetNoThumbnailAndHoldNoWorker)
{
    QTemporaryDir dir;
    // One worker: a file that held it would hold back everything after it.
    FileThumbnails thumbnails { FileThumbnails::Options {
        .cacheRoot = dir.path() + "/thumbnails", .bus = std::nullopt, .useService = false, .threads = 1 } };
    const QString pipe = dir.path() + "/pipe.png";
    EXPECT_TRUE(makeFifo(pipe));
    FifoRelease release { { pipe } };
    const QUrl fifo = QUrl::fromLocalFile(release.fifos.first());
    const QUrl socket = QUrl::fromLocalFile(makeSocket(dir.path() + "/socket.jpg"));
    const QUrl device = QUrl::fromLocalFile("/dev/zero");
    const QString photoPath = dir.path() + "/photo.png";
    ASSERT_TRUE(writePicture(photoPath, halves(300, 200), "png"));
    const QUrl photo = QUrl::fromLocalFile(photoPath);

    for (const QUrl& url : { fifo, socket, device, photo })
        EXPECT_FALSE(thumbnails.image(url, 52, 2).isNull());
    ASSERT_TRUE(waitUntil([&] { return thumbnails.isCached(photo, 52); }, 20000));
    for (const QUrl& url : { fifo, socket, device }) {
        EXPECT_TRUE(thumbnails.hasFailed(url, 52)) << url.toString().toStdString();
        EXPECT_FALSE(thumbnails.isCached(url, 52));
    }
    // What they are is known without opening them.
    EXPECT_EQ(thumbnail_maker::make(fifo.toLocalFile(), 128, thumbnails.cache()).mimeTypes.value(0), "inode/fifo");
    EXPECT_EQ(thumbnail_maker::make("/dev/zero", 128, thumbnails.cache()).mimeTypes.value(0), "inode/chardevice");
}

TEST(OutsideFiles, AFifoInTheSharedCacheIsPassedOver)
{
    QTemporaryDir dir;
    const ThumbnailCache cache(dir.path() + "/thumbnails");
    const QString photo = dir.path() + "/photo.png";
    ASSERT_TRUE(writePicture(photo, halves(600, 400), "png"));
    const QString uri = ThumbnailCache::fileUri(photo);
    // Another program (or someone hostile) left a FIFO where the cached picture would be.
    ASSERT_TRUE(QDir().mkpath(dir.path() + "/thumbnails/normal"));
    const QString cached = cache.entryPath(uri, ThumbnailCache::Flavor::normal);
    EXPECT_TRUE(makeFifo(cached));
    FifoRelease release { { cached } };

    const auto stamp = FileStamp::of(photo);
    ASSERT_TRUE(stamp.has_value());
    EXPECT_FALSE(cache.lookup(uri, *stamp, { ThumbnailCache::Flavor::normal }).has_value());
    const auto made = thumbnail_maker::make(photo, 96, cache);
    EXPECT_EQ(made.kind, thumbnail_maker::Outcome::Kind::ready);
    EXPECT_FALSE(made.fromCache);
}

TEST(OutsideFiles, AGuardedFileOpensOnlyRegularFilesAndStopsAtItsLimit)
{
    QTemporaryDir dir;
    EXPECT_TRUE(makeFifo(dir.path() + "/pipe"));
    FifoRelease release { { dir.path() + "/pipe" } };
    EXPECT_EQ(fileKind(release.fifos.first()), FileKind::special);
    EXPECT_EQ(fileKind(dir.path()), FileKind::directory);
    EXPECT_EQ(fileKind(dir.path() + "/gone"), FileKind::missing);
    // Even when asked to, a FIFO is refused without waiting for a writer.
    EXPECT_FALSE(GuardedFile(release.fifos.first(), {}).openRegular());
    EXPECT_FALSE(GuardedFile(dir.path(), {}).openRegular());

    const QString path = dir.path() + "/data.bin";
    QFile data(path);
    ASSERT_TRUE(data.open(QIODevice::WriteOnly));
    data.write(QByteArray(1 << 20, 'x'));
    data.close();
    EXPECT_EQ(fileKind(path), FileKind::regular);

    std::atomic_bool cancelled = false;
    GuardedFile file(path, ReadLimit { QDeadlineTimer::Forever, &cancelled });
    ASSERT_TRUE(file.openRegular());
    EXPECT_EQ(file.fileSize(), 1 << 20);
    // Readers see what was loaded, as a file of its own.
    ASSERT_TRUE(file.load(16));
    EXPECT_EQ(file.size(), 16);
    EXPECT_EQ(file.readAll(), QByteArray(16, 'x'));
    ASSERT_TRUE(file.load(2 << 20));
    EXPECT_EQ(file.size(), 1 << 20);
    ASSERT_TRUE(file.seek(0));
    EXPECT_EQ(file.read(1000), QByteArray(1000, 'x'));
    ASSERT_TRUE(file.seek(10));
    EXPECT_EQ(file.peek(5), QByteArray(5, 'x'));
    EXPECT_EQ(file.pos(), 10);
    // Called off: the next read fails, and so does a decoder reading through it.
    cancelled = true;
    EXPECT_EQ(file.read(1000), QByteArray());

    // Past its deadline, nothing more is read either.
    GuardedFile late(path, ReadLimit { QDeadlineTimer(0) });
    EXPECT_FALSE(late.openRegular());
}

TEST(OutsideFiles, QuittingWaitsForCalledOffWorkButLeavesAWorkerStuckInTheFileSystem)
{
    WorkerCensus census;
    EXPECT_TRUE(census.settle(QDeadlineTimer::Forever)) << "nobody at work";

    // Work that is only computing is waited for, however long it takes.
    std::atomic_bool computed = false;
    std::thread computing([&] {
        census.run([&] {
            volatile double sum = 0;
            for (int i = 0; i < 20'000'000; ++i)
                sum = sum + i * 0.5;
            computed = true;
        });
    });
    ASSERT_TRUE(waitUntil([&] { return census.running() == 1 || computed; }));
    EXPECT_TRUE(census.settle(QDeadlineTimer::Forever));
    EXPECT_TRUE(computed);
    computing.join();

    // A worker stuck in a read that does not come back is left behind: settling returns while
    // it still waits there, and only its release lets it leave.
    int pipe[2];
    ASSERT_EQ(::pipe(pipe), 0);
    std::atomic_bool released = false;
    std::thread stuck([&] {
        census.run([&] {
            const OutsideWait waiting;
            char byte;
            (void)!::read(pipe[0], &byte, 1);
            released = true;
        });
    });
    ASSERT_TRUE(waitUntil([&] { return census.running() == 1; }));
    EXPECT_FALSE(census.settle(QDeadlineTimer::Forever));
    EXPECT_FALSE(released);
    EXPECT_EQ(census.running(), 1);
    (void)!::write(pipe[1], "x", 1);
    EXPECT_TRUE(waitUntil([&] { return census.running() == 0; }));
    EXPECT_TRUE(released);
    stuck.join();

    // At the end, such a worker is left behind: when its wait ends it stops there for good and
    // runs nothing after it, since what it would go back to may be gone. It keeps the census
    // alive, the one thing it still touches.
    auto ending = std::make_shared<WorkerCensus>();
    auto ranOn = std::make_shared<std::atomic_bool>(false);
    std::thread([ending, ranOn, readEnd = pipe[0]] {
        ending->run([&] {
            {
                const OutsideWait waiting;
                char byte;
                (void)!::read(readEnd, &byte, 1);
            }
            *ranOn = true;
        });
    }).detach();
    ASSERT_TRUE(waitUntil([&] { return ending->running() == 1; }));
    EXPECT_EQ(ending->atWork(), 0) << "waiting on the file system";
    EXPECT_FALSE(ending->settleOrLeaveBehind(QDeadlineTimer::Forever));
    (void)!::write(pipe[1], "x", 1);
    ASSERT_TRUE(waitUntil([&] { return ending->stoppedForGood() == 1; }));
    EXPECT_FALSE(*ranOn);
    EXPECT_EQ(ending->atWork(), 0);
    ::close(pipe[1]);
}

namespace {

// Lets the folder's reads go when the main thread has not come back in time, so that a hang
// shows as a failure instead of hanging the case.
struct Watchdog {
    explicit Watchdog(HangingFolder& folder)
        : thread([this, &folder] {
            std::unique_lock lock(mutex);
            if (!changed.wait_for(lock, std::chrono::seconds(20), [this] { return done; })) {
                fired = true;
                folder.release();
            }
        })
    {
    }
    ~Watchdog() { stop(); }
    // True when the main thread came back by itself.
    bool stop()
    {
        {
            const std::lock_guard lock(mutex);
            done = true;
        }
        changed.notify_all();
        if (thread.joinable())
            thread.join();
        return !fired;
    }
    std::mutex mutex;
    std::condition_variable changed;
    bool done = false;
    bool fired = false;
    std::thread thread;
};

} // namespace

// A network folder that stopped answering: the worker reading a file there waits in our own
// code, holding nothing that Qt keeps for the whole process. Qt's type detection holds its
// database's lock while it reads, so a worker stuck there froze the main thread's next icon
// lookup (the tile's own stand-in included), and the end of the process destroyed that lock
// while it was held.
TEST(OutsideFiles, AFileThatNeverAnswersFreezesNoIconLookup)
{
    // No name extension: only the contents can tell the type.
    HangingFolder folder({ { "notes", QByteArray(4096, 'x') } });
    if (!folder.isMounted())
        GTEST_SKIP() << "no FUSE folder here: " << folder.error().toStdString();
    QTemporaryDir cache;
    FileThumbnails thumbnails { FileThumbnails::Options {
        .cacheRoot = cache.path(), .bus = std::nullopt, .useService = false, .threads = 1 } };
    const QUrl notes = QUrl::fromLocalFile(folder.path("notes"));

    Watchdog watchdog(folder);
    // What painting the tile and then another one asks on the main thread.
    EXPECT_FALSE(thumbnails.image(notes, 52, 2).isNull());
    ASSERT_TRUE(waitUntil([&] { return folder.readsAsked() > 0; }));
    EXPECT_FALSE(thumbnails.icon(QUrl::fromLocalFile("/nowhere/letter.txt"), 52, 2).isNull());
    EXPECT_TRUE(watchdog.stop()) << "an icon lookup waited for the hanging read";
    EXPECT_FALSE(thumbnails.isCached(notes, 52));
}
