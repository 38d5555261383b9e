// What one frame of the tray's eyes costs while the pointer circles: drawn afresh, and as the
// status item draws it (tiles of each eye, kept by pupil place).
#include "modules/eyes/eyes_status_item.h"
#include "ui/eyes/eyes_icon_renderer.h"

#include "gui_bench_main.h"

#include <QImage>
#include <benchmark/benchmark.h>
#include <cmath>
#include <numbers>
#include <vector>

using namespace nimbra;

namespace {

constexpr int side = EyesStatusItem::defaultSide;

// One lap of the pointer around the icon at 60 moves a second, as the icon can show it.
std::vector<EyesFrame> lap()
{
    const EyeStyle style;
    const double travel = EyesItemLayout::forStyle(style).fitted(side).travel();
    std::vector<EyesFrame> frames;
    for (int i = 0; i < 120; ++i) {
        const double a = i * 2 * std::numbers::pi / 120;
        const QPointF pupil(travel * std::cos(a), travel * std::sin(a));
        frames.push_back(EyesStatusItem::drawable(style, { pupil, pupil * 0.95, 0, 0, false }, side, 1));
    }
    return frames;
}

void trayFrameFresh(benchmark::State& bench)
{
    const std::vector<EyesFrame> frames = lap();
    std::size_t i = 0;
    for (auto _ : bench) {
        const QImage icon = EyesStatusItem::render(EyeStyle {}, frames[i++ % frames.size()], side, 1);
        benchmark::DoNotOptimize(icon.constBits());
    }
}

void trayFrameFromTiles(benchmark::State& bench)
{
    const std::vector<EyesFrame> frames = lap();
    EyesIconRenderer renderer;
    std::size_t i = 0;
    for (auto _ : bench) {
        const QImage icon = renderer.render(EyeStyle {}, frames[i++ % frames.size()], side, 1);
        benchmark::DoNotOptimize(icon.constBits());
    }
    bench.counters["eyes_drawn_per_frame"] = double(renderer.eyesDrawn()) / double(bench.iterations());
}

} // namespace

BENCHMARK(trayFrameFresh)->Unit(benchmark::kMicrosecond);
BENCHMARK(trayFrameFromTiles)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv)
{
    return nimbra::bench::runGuiBenchmarks(argc, argv);
}
