// Dropping 24 large photos (12-megapixel JPEGs) on the shelf while the open shelf keeps
// painting at 120 Hz: the time until the last thumbnail is in, with a cold and a warm shared
// thumbnail cache, and the longest stall of the main thread meanwhile (a 120 Hz frame is
// 8.3 ms), both by the wall clock and as the main thread's own work. Then a full shelf at
// rest: its wake-ups. The photos are made once per run in a temporary folder. Last, 5,000 files
// dropped at once on the running shell: the main thread's longest stall.
#include "app/app_delegate.h"
#include "core/nimbra_settings.h"
#include "core/settings_storage.h"
#include "core/shelf_store.h"
#include "modules/shelf/shelf_view.h"
#include "modules/shelf/shelf_watch.h"
#include "platform/thumbnails/file_thumbnails.h"
#include "ui/surface/notch_theme.h"

#include "gui_bench_main.h"
#include "wakeups.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>
#include <benchmark/benchmark.h>
#include <ctime>
#include <memory>

using namespace nimbra;

namespace {

constexpr int kPhotos = 24;
const QSize kPhotoSize(4000, 3000);

// Something like a photo: soft gradients under many small shapes, so it compresses (and
// decodes) like one rather than like a flat colour.
QImage photo(int seed)
{
    QImage image(kPhotoSize, QImage::Format_RGB32);
    QRandomGenerator random(quint32(seed) * 7919u + 1u);
    QPainter p(&image);
    QLinearGradient sky(0, 0, 0, kPhotoSize.height());
    sky.setColorAt(0, QColor::fromHsv(random.bounded(360), 120, 230));
    sky.setColorAt(1, QColor::fromHsv(random.bounded(360), 160, 90));
    p.fillRect(image.rect(), sky);
    p.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < 1500; ++i) {
        QColor c = QColor::fromHsv(random.bounded(360), random.bounded(256), random.bounded(256));
        c.setAlpha(90 + random.bounded(120));
        p.setPen(Qt::NoPen);
        p.setBrush(c);
        const int r = 8 + random.bounded(160);
        p.drawEllipse(QPoint(random.bounded(kPhotoSize.width()), random.bounded(kPhotoSize.height())), r, r * 2 / 3);
    }
    return image;
}

struct Photos {
    QTemporaryDir dir;
    QList<QUrl> urls;

    Photos()
    {
        for (int i = 0; i < kPhotos; ++i) {
            const QString path = dir.path() + QStringLiteral("/IMG_%1.jpg").arg(1000 + i);
            photo(i).save(path, "jpg", 88);
            urls << QUrl::fromLocalFile(path);
        }
    }
    static Photos& shared()
    {
        static Photos photos;
        return photos;
    }
};

struct Figures {
    double lastThumbnailMs = 0;
    // The longest time between two turns of the main thread's event loop, by the wall clock
    // (it includes time the machine gave to other processes)...
    double longestStallMs = 0;
    // ...and by the main thread's own processor time: the longest stretch of its own work.
    double longestWorkMs = 0;
    int frames = 0;
};

// Processor time the calling thread has used, in nanoseconds: unlike the wall clock it does
// not run on while another process has the processor.
qint64 threadCpuNs()
{
    timespec t {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return qint64(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

// The open shelf: its view of `items` shown in a host of the notch's content size.
struct OpenShelf {
    SurfaceMetrics metrics { QSizeF(360, 124), 32, 185 };
    QWidget host;
    ShelfView* view;

    OpenShelf(const QList<ShelfItem>& items, FileThumbnails& thumbnails)
    {
        host.resize(360, int(metrics.contentHeight()));
        setNotchTheme(&host, NotchTheme::dark());
        ShelfView::State state;
        state.items = items;
        view = new ShelfView(state, metrics, {}, thumbnails, &host);
        view->setGeometry(host.rect());
        host.show();
    }
};

QList<ShelfItem> shelfItems(const QList<QUrl>& urls)
{
    QList<ShelfItem> items;
    for (const QUrl& url : urls)
        items.prepend(ShelfItem(QUuid::createUuid(), url, QDateTime::currentDateTimeUtc()));
    return items;
}

// One drop: the open shelf shows the 24 items; thumbnails are asked for as the shell asks
// for them and every batch that arrives is taken into the shown view in place.
Figures drop(const QString& cacheRoot)
{
    const Photos& photos = Photos::shared();
    FileThumbnails thumbnails(
        FileThumbnails::Options { .cacheRoot = cacheRoot, .bus = std::nullopt, .useService = false, .threads = 0 });
    const QList<ShelfItem> items = shelfItems(photos.urls);
    OpenShelf shelf(items, thumbnails);
    const SurfaceMetrics& metrics = shelf.metrics;
    QWidget& host = shelf.host;

    Figures figures;
    QElapsedTimer clock;
    clock.start();
    thumbnails.onUpdate = [&] {
        ShelfView::State state;
        state.items = items;
        state.thumbnailRevision = thumbnails.revision();
        ShelfView fresh(state, metrics, {}, thumbnails);
        shelf.view->adopt(fresh);
    };
    // The notch's frames: the shown surface painted 120 times a second.
    QImage frame(host.size() * 2, QImage::Format_ARGB32_Premultiplied);
    frame.setDevicePixelRatio(2);
    QTimer frames;
    frames.setTimerType(Qt::PreciseTimer);
    frames.setInterval(8);
    QObject::connect(&frames, &QTimer::timeout, [&] {
        frame.fill(Qt::black);
        host.render(&frame, QPoint(), QRegion(), QWidget::DrawChildren);
        ++figures.frames;
    });
    // A fine tick that notices how long the main thread was away.
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    probe.setInterval(1);
    qint64 lastTick = 0;
    qint64 lastCpu = 0;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        const qint64 cpu = threadCpuNs();
        figures.longestStallMs = std::max(figures.longestStallMs, (now - lastTick) / 1e6);
        figures.longestWorkMs = std::max(figures.longestWorkMs, (cpu - lastCpu) / 1e6);
        lastTick = now;
        lastCpu = cpu;
    });
    QEventLoop loop;
    QTimer done;
    done.setInterval(5);
    QObject::connect(&done, &QTimer::timeout, [&] {
        bool all = true;
        for (const QUrl& url : photos.urls)
            all = all && thumbnails.isCached(url, ShelfView::tileSide(metrics));
        if (all) {
            figures.lastThumbnailMs = clock.nsecsElapsed() / 1e6;
            loop.quit();
        }
    });

    frames.start();
    probe.start();
    done.start();
    lastTick = clock.nsecsElapsed();
    lastCpu = threadCpuNs();
    // The drop itself, as the shell handles it.
    thumbnails.prewarm(photos.urls, ShelfView::tileSide(metrics), 2);
    loop.exec();
    return figures;
}

void report(benchmark::State& state, const Figures& figures)
{
    state.SetIterationTime(figures.lastThumbnailMs / 1000);
    state.counters["last_thumbnail_ms"] = figures.lastThumbnailMs;
    state.counters["longest_stall_ms"] = figures.longestStallMs;
    state.counters["longest_main_work_ms"] = figures.longestWorkMs;
    state.counters["frames"] = figures.frames;
}

void dropCold(benchmark::State& state)
{
    Photos::shared();
    for (auto _ : state) {
        QTemporaryDir cache;
        report(state, drop(cache.path() + "/thumbnails"));
    }
}

void dropWarm(benchmark::State& state)
{
    Photos::shared();
    QTemporaryDir cache;
    // The shared cache filled by an earlier drop (of this or any other application).
    drop(cache.path() + "/thumbnails");
    for (auto _ : state)
        report(state, drop(cache.path() + "/thumbnails"));
}

// Context switches of every thread of this process so far: each wake-up is one.
qint64 switches()
{
    qint64 total = 0;
    for (const QString& task : QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile status("/proc/self/task/" + task + "/status");
        if (!status.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("voluntary_ctxt_switches:") || line.startsWith("nonvoluntary_ctxt_switches:"))
                total += line.mid(line.indexOf(':') + 1).trimmed().toLongLong();
        }
    }
    return total;
}

// A full shelf after it was shown once (every thumbnail made) and closed again: its files
// watched, its thumbnails kept. Nothing of it should wake while nothing changes.
void idleFullShelf(benchmark::State& state)
{
    const Photos& photos = Photos::shared();
    QTemporaryDir cache;
    FileThumbnails thumbnails(FileThumbnails::Options {
        .cacheRoot = cache.path() + "/thumbnails", .bus = std::nullopt, .useService = false, .threads = 0 });
    ShelfWatch watch;
    QStringList paths;
    for (const QUrl& url : photos.urls)
        paths << url.toLocalFile();
    watch.watch(paths);
    int changes = 0;
    watch.onChange = [&](const QStringList&) { ++changes; };
    {
        const OpenShelf shelf(shelfItems(photos.urls), thumbnails);
        QEventLoop settle;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (thumbnails.isIdle())
                settle.quit();
        });
        poll.start(5);
        settle.exec();
    }
    for (auto _ : state) {
        // Whatever the last work left behind settles first.
        QEventLoop calm;
        QTimer::singleShot(500, &calm, &QEventLoop::quit);
        calm.exec();
        const qint64 before = switches();
        QEventLoop idle;
        // Ending the wait is the one wake-up of its own.
        QTimer::singleShot(2000, &idle, &QEventLoop::quit);
        idle.exec();
        state.counters["wakeups_in_2s"] = double(switches() - before - 1);
        state.counters["changes"] = changes;
    }
}

// 5,000 small pictures, made once per run.
struct ManyFiles {
    static constexpr int count = 5000;
    QTemporaryDir dir;
    QList<QUrl> urls;

    ManyFiles()
    {
        QImage image(64, 48, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        const QString first = dir.path() + "/IMG_00000.png";
        image.save(first);
        urls << QUrl::fromLocalFile(first);
        for (int i = 1; i < count; ++i) {
            const QString path = dir.path() + QStringLiteral("/IMG_%1.png").arg(i, 5, 10, QLatin1Char('0'));
            QFile::copy(first, path);
            urls << QUrl::fromLocalFile(path);
        }
    }
    static ManyFiles& shared()
    {
        static ManyFiles files;
        return files;
    }
};

// The whole shell, as it takes a drop of 5,000 files from a file manager: the drop itself,
// the shelf tab it opens, the thumbnails of what stays. The longest time the main thread did
// not get back to its event loop, and the drop call alone.
void dropFiveThousand(benchmark::State& state)
{
    const ManyFiles& files = ManyFiles::shared();
    for (auto _ : state) {
        NimbraSettings settings { std::make_shared<MemorySettingsStorage>() };
        AppDelegate delegate { &settings };
        settings.setShowOnAllDisplays(true);
        settings.setHasSeenOnboarding(true);
        delegate.applicationDidFinishLaunching();
        bench::runFor(0.3);
        double longestStallMs = 0;
        double dropMs = 0;
        QElapsedTimer clock;
        clock.start();
        qint64 lastTick = clock.nsecsElapsed();
        QTimer probe;
        probe.setTimerType(Qt::PreciseTimer);
        probe.setInterval(1);
        QObject::connect(&probe, &QTimer::timeout, [&] {
            const qint64 now = clock.nsecsElapsed();
            longestStallMs = std::max(longestStallMs, (now - lastTick) / 1e6);
            lastTick = now;
        });
        QEventLoop loop;
        QTimer done;
        done.setInterval(20);
        QObject::connect(&done, &QTimer::timeout, [&] {
            if (dropMs > 0 && FileThumbnails::shared().isIdle())
                loop.quit();
        });
        QTimer::singleShot(20, [&] {
            QElapsedTimer call;
            call.start();
            delegate.handleDropFiles(files.urls);
            dropMs = std::max(0.001, call.nsecsElapsed() / 1e6);
        });
        probe.start();
        done.start();
        loop.exec();
        state.SetIterationTime(longestStallMs / 1000);
        state.counters["longest_stall_ms"] = longestStallMs;
        state.counters["drop_call_ms"] = dropMs;
        state.counters["kept"] = double(delegate.shelf().items().size());
    }
}

} // namespace

BENCHMARK(dropFiveThousand)
    ->Name("shelf drop of 5,000 files on the shell")
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(idleFullShelf)->Name("shelf idle with 24 items shown once")->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(dropCold)
    ->Name("shelf drop 24 x 12 MP photos, cold cache")
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(dropWarm)
    ->Name("shelf drop 24 x 12 MP photos, warm cache")
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    return nimbra::bench::runGuiBenchmarks(argc, argv);
}
