// Paint cost of one frame of each surface state into the notch panel (a 120 Hz frame is 8.3 ms).
#include "ui/surface/notch_display_controller.h"
#include "ui/surface/notch_panel.h"
#include "ui/surface/notch_surface_view.h"

#include "gui_bench_main.h"

#include <QImage>
#include <QLabel>
#include <QPainter>
#include <benchmark/benchmark.h>
#include <memory>

using namespace nimbra;

namespace {

enum class State { dormant, activity, resident, expanded };

QWidget* content(const Presentation::Surface& surface, const SurfaceContext&)
{
    if (surface.is(Presentation::Surface::Kind::dormant))
        return nullptr;
    auto* label = new QLabel(surface.traceDescription());
    label->setStyleSheet(QStringLiteral("color: white; background: transparent"));
    label->setAlignment(Qt::AlignCenter);
    return label;
}

void paintState(benchmark::State& bench, State state)
{
    const NotchGeometry geometry(DisplayMetrics { QRectF(0, 0, 1512, 982), QRectF(0, 0, 1512, 958), 0, {}, {} });
    NotchDisplayController controller(DisplayKey(QStringLiteral("bench")), geometry, content,
        HoverIntent::Configuration::standard(), LayoutMetrics::defaults());
    const ModuleID glance(QStringLiteral("glance"));
    switch (state) {
    case State::dormant:
        break;
    case State::activity:
        controller.present(Activity { ModuleID(QStringLiteral("systemLevel")), 1, 40, 3600, ActivityCategory::volume });
        break;
    case State::resident:
        controller.setResident(glance);
        break;
    case State::expanded:
        controller.open(glance, false);
        break;
    }
    controller.view()->finishAnimations();
    NotchPanel* panel = controller.panel();
    QImage frame(panel->size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : bench) {
        frame.fill(Qt::transparent);
        panel->render(&frame, QPoint(), QRegion(), QWidget::DrawChildren);
        benchmark::DoNotOptimize(frame.constBits());
    }
    controller.tearDown();
}

} // namespace

BENCHMARK_CAPTURE(paintState, dormant, State::dormant)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(paintState, activity, State::activity)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(paintState, resident, State::resident)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(paintState, expanded, State::expanded)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv)
{
    return nimbra::bench::runGuiBenchmarks(argc, argv);
}
