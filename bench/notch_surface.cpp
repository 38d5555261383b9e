// Paint cost of one frame of each surface state into the notch panel (a 120 Hz frame is 8.3 ms),
// with the content the application shows in it: a volume readout, a running timer's resident
// readout, and the expanded shell on its status tab.
#include "core/power_snapshot.h"
#include "core/system_level.h"
#include "core/timers.h"
#include "modules/level/system_level_view.h"
#include "modules/shell/expanded_shell.h"
#include "modules/shell/status_surface.h"
#include "modules/timers/timer_resident_view.h"
#include "ui/surface/notch_display_controller.h"
#include "ui/surface/notch_panel.h"
#include "ui/surface/notch_surface_view.h"

#include "gui_bench_main.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QImage>
#include <QPainter>
#include <benchmark/benchmark.h>
#include <memory>

using namespace nimbra;

namespace {

enum class State { dormant, activity, resident, expanded };

QWidget* content(const Presentation::Surface& surface, const SurfaceContext& context)
{
    const SurfaceMetrics metrics = context.metrics();
    switch (surface.kind()) {
    case Presentation::Surface::Kind::dormant:
        return nullptr;
    case Presentation::Surface::Kind::activity:
        return new SystemLevelView(SystemLevel(SystemLevel::Kind::volume, 0.6, false, true, std::nullopt), metrics);
    case Presentation::Surface::Kind::resident:
        return new TimerResidentView(
            TimerMode::countdown, QStringLiteral("4:32"), true, TimerUrgency(TimerUrgency::calm), metrics);
    case Presentation::Surface::Kind::expanded: {
        const PowerSnapshot battery { 76, PowerSnapshot::Source::battery, false, false, std::nullopt, 200, false,
            std::nullopt };
        const SystemLevel volume(SystemLevel::Kind::volume, 0.5, false, true, std::nullopt);
        auto* status = new StatusSurface(battery, QDateTime::currentDateTime(), volume, DeviceBatteries(), metrics);
        return new ExpandedShell(metrics, NotchSurfaceTab::status,
            { NotchSurfaceTab::clipboard, NotchSurfaceTab::timer, NotchSurfaceTab::status, NotchSurfaceTab::settings },
            nullptr, status);
    }
    }
    return nullptr;
}

// Lets the content's own entrance animations (a readout landing) finish on the real clock.
void waitForStillness(QWidget* content)
{
    QDeadlineTimer deadline(2000);
    while (!deadline.hasExpired()) {
        const auto* level = qobject_cast<SystemLevelView*>(content);
        if (!(level && level->isAnimating()))
            return;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
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
        controller.setResident(ModuleID(QStringLiteral("timer")));
        break;
    case State::expanded:
        controller.open(glance, false);
        break;
    }
    controller.view()->finishAnimations();
    waitForStillness(controller.view()->contentWidget());
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
