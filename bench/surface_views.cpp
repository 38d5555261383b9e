// Paint cost of the notch's content views (a 120 Hz frame is 8.3 ms; these should stay well
// inside 1 ms): the expanded shell with the status, timers and music tabs, the level readout and
// the music readout; and the music tab with a player's two-million-character title (within 2 ms).
#include "core/power_snapshot.h"
#include "core/system_level.h"
#include "core/uptime.h"
#include "modules/level/system_level_view.h"
#include "modules/now_playing/now_playing_views.h"
#include "modules/shell/expanded_shell.h"
#include "modules/shell/status_surface.h"
#include "modules/timers/timer_surface_view.h"
#include "platform/mpris/music_scripting.h"
#include "ui/surface/level_readout.h"
#include "ui/surface/notch_theme.h"

#include "gui_bench_main.h"

#include <QApplication>
#include <QDateTime>
#include <QImage>
#include <QPainter>
#include <benchmark/benchmark.h>

using namespace nimbra;

namespace {

const QList<NotchSurfaceTab> kTabs(kNotchSurfaceTabs.begin(), kNotchSurfaceTabs.end());

// Renders `view` (inside a themed host) into a frame at twice the pixel density, once per iteration.
void paintFrames(benchmark::State& bench, QWidget& host)
{
    QImage frame(host.size() * 2, QImage::Format_ARGB32_Premultiplied);
    frame.setDevicePixelRatio(2);
    for (auto _ : bench) {
        frame.fill(Qt::black);
        host.render(&frame, QPoint(), QRegion(), QWidget::DrawChildren);
        benchmark::DoNotOptimize(frame.constBits());
    }
}

// A themed host of `size` holding the open surface's shell on `tab`, which shows `content`.
struct ShellHost {
    QWidget host;

    ShellHost(QSizeF size, const SurfaceMetrics& metrics, NotchSurfaceTab tab, QWidget* content)
    {
        host.resize(size.toSize());
        setNotchTheme(&host, NotchTheme::dark());
        auto* shell = new ExpandedShell(metrics, tab, kTabs, nullptr, content, &host);
        shell->setGeometry(host.rect());
        host.show();
        QApplication::processEvents();
    }
};

void expandedStatus(benchmark::State& bench, QSizeF size)
{
    const SurfaceMetrics metrics(size, 32, 185);
    const PowerSnapshot snapshot { 76, PowerSnapshot::Source::battery, false, false, std::nullopt, 200, false,
        std::nullopt };
    const SystemLevel volume(SystemLevel::Kind::volume, 0.5, false, true, std::nullopt);
    ShellHost shell(size, metrics, NotchSurfaceTab::status,
        new StatusSurface(snapshot, QDateTime::currentDateTime(), volume, DeviceBatteries(), metrics));
    paintFrames(bench, shell.host);
}

// The timers tab with a running countdown: ring, digits, end time and controls.
void expandedTimers(benchmark::State& bench, QSizeF size)
{
    const SurfaceMetrics metrics(size, 32, 185);
    TimerSet timers;
    timers.mode = TimerMode::countdown;
    timers.countdown.start(uptime() - 100);
    ShellHost shell(size, metrics, NotchSurfaceTab::timer, new TimerSurfaceView(timers, metrics, {}));
    paintFrames(bench, shell.host);
}

void levelReadout(benchmark::State& bench, QSizeF size)
{
    const SurfaceMetrics metrics(size, 32, 185);
    QWidget host;
    host.resize(QSize(int(size.width()), int(metrics.contentHeight())));
    setNotchTheme(&host, NotchTheme::dark());
    const SystemLevel level(SystemLevel::Kind::volume, 0.62, false, true,
        AudioOutput(QStringLiteral("Studio Headphones"), AudioOutput::Kind::headphones));
    auto* view = new SystemLevelView(level, metrics, &host);
    view->setGeometry(host.rect());
    host.show();
    // Paint the settled readout, not the landing.
    while (view->isAnimating())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    paintFrames(bench, host);
}

NowPlayingTrack benchTrack()
{
    return { NowPlayingTrack::Source::spotify, QStringLiteral("So What"), QStringLiteral("Miles Davis"),
        QStringLiteral("Kind of Blue"), 1, 42, uptime(), 562, QStringLiteral("id") };
}

QImage benchCover()
{
    QImage cover(512, 512, QImage::Format_ARGB32_Premultiplied);
    cover.fill(QColor(40, 90, 160));
    return cover;
}

// The collapsed music readout (activity or resident) of the reference notch, with a cover.
void nowPlayingActivity(benchmark::State& bench, QSizeF size)
{
    const SurfaceMetrics metrics(size, 32, 185);
    QWidget host;
    host.resize(size.toSize());
    setNotchTheme(&host, NotchTheme::dark());
    auto* view = new NowPlayingActivityView(benchTrack(), benchCover(), metrics, std::nullopt, 0, &host);
    view->setGeometry(host.rect());
    host.show();
    while (view->isAnimating())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    paintFrames(bench, host);
}

// The open surface on the music tab: shell, cover, titles, scrubber and buttons.
void nowPlayingExpanded(benchmark::State& bench, QSizeF size)
{
    const SurfaceMetrics metrics(size, 32, 185);
    ShellHost shell(size, metrics, NotchSurfaceTab::music,
        new NowPlayingExpandedView(benchTrack(), benchCover(), metrics, [] {}, [] {}, [] {}, [](double) {}));
    paintFrames(bench, shell.host);
}

// A player's status with a title, artist, album and address of `length` characters each.
QVariantMap hugeStatus(qsizetype length = 2'000'000)
{
    const QString huge(length, QChar(u'x'));
    const QVariantMap metadata { { "xesam:title", huge }, { "xesam:artist", QStringList { huge } },
        { "xesam:album", huge }, { "mpris:length", qlonglong(562'000'000) },
        { "mpris:trackid", QStringLiteral("/t/1") }, { "xesam:url", "file:///music/" + huge + ".flac" } };
    return { { "PlaybackStatus", "Playing" }, { "Metadata", metadata }, { "Position", qlonglong(42'000'000) } };
}

// That status read as the application reads it: through the player bridge's door, which cuts it.
NowPlayingTrack hugeTrack(const QVariantMap& status)
{
    const QString reply
        = MusicScripting::statusReply(NowPlayingTrack::Source::appleMusic, "org.mpris.MediaPlayer2.x", status);
    return NowPlayingReading::parse(reply, NowPlayingTrack::Source::appleMusic, uptime()).value();
}

// The music tab showing that track: one frame, as it repaints.
void nowPlayingExpandedHugeTitle(benchmark::State& bench, QSizeF size)
{
    const SurfaceMetrics metrics(size, 32, 185);
    ShellHost shell(size, metrics, NotchSurfaceTab::music,
        new NowPlayingExpandedView(
            hugeTrack(hugeStatus()), benchCover(), metrics, [] {}, [] {}, [] {}, [](double) {}));
    paintFrames(bench, shell.host);
}

// A track arriving: the door's reading, the tab taking the new track, and its frame; with
// texts of two million characters and, to compare, of twenty.
void nowPlayingTrackArrives(benchmark::State& bench, qsizetype length)
{
    const QSizeF size(360, 124);
    const SurfaceMetrics metrics(size, 32, 185);
    auto* tab = new NowPlayingExpandedView(
        benchTrack(), benchCover(), metrics, [] {}, [] {}, [] {}, [](double) {});
    ShellHost shell(size, metrics, NotchSurfaceTab::music, tab);
    const QVariantMap status = hugeStatus(length);
    const QImage cover = benchCover();
    QImage frame(shell.host.size() * 2, QImage::Format_ARGB32_Premultiplied);
    frame.setDevicePixelRatio(2);
    for (auto _ : bench) {
        const NowPlayingExpandedView fresh(hugeTrack(status), cover, metrics, [] {}, [] {}, [] {}, [](double) {});
        tab->adopt(fresh);
        frame.fill(Qt::black);
        shell.host.render(&frame, QPoint(), QRegion(), QWidget::DrawChildren);
        benchmark::DoNotOptimize(frame.constBits());
    }
}

// The frame's own cost (clearing and compositing an empty host), to read the others against.
void emptyFrame(benchmark::State& bench, QSizeF size)
{
    QWidget host;
    host.resize(size.toSize());
    host.show();
    QApplication::processEvents();
    paintFrames(bench, host);
}

void levelReadoutDirect(benchmark::State& bench)
{
    // The readout's own drawing, as the settings preview uses it (no widget, no metrics).
    const SystemLevel level(SystemLevel::Kind::brightness, 0.4, false, true, std::nullopt);
    QImage frame(QSize(300, 40) * 2, QImage::Format_ARGB32_Premultiplied);
    frame.setDevicePixelRatio(2);
    const NotchTheme theme = NotchTheme::dark();
    for (auto _ : bench) {
        frame.fill(Qt::black);
        QPainter p(&frame);
        LevelReadout::paint(p, QRectF(0, 0, 300, 40), level, std::nullopt, theme, level.value, 0);
        p.end();
        benchmark::DoNotOptimize(frame.constBits());
    }
}

} // namespace

BENCHMARK_CAPTURE(emptyFrame, reference, QSizeF(360, 124))->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(emptyFrame, large, QSizeF(900, 300))->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(expandedStatus, reference, QSizeF(360, 124))->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(expandedStatus, large, QSizeF(900, 300))->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(expandedTimers, reference, QSizeF(360, 124))->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(expandedTimers, large, QSizeF(900, 300))->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(levelReadout, reference, QSizeF(360, 124))->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(levelReadout, large, QSizeF(900, 300))->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(nowPlayingActivity, reference, QSizeF(233, 78))->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(nowPlayingExpanded, reference, QSizeF(360, 124))->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(nowPlayingExpanded, large, QSizeF(620, 260))->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(nowPlayingExpandedHugeTitle, reference, QSizeF(360, 124))->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(nowPlayingTrackArrives, shortTexts, 20)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(nowPlayingTrackArrives, hugeTexts, 2'000'000)->Unit(benchmark::kMicrosecond);
BENCHMARK(levelReadoutDirect)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv)
{
    return nimbra::bench::runGuiBenchmarks(argc, argv);
}
