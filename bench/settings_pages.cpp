// Opening a settings page: from the click on its row in the sidebar to the end of the page's
// first painted frame (the goal is under 50 ms for every page). "first" builds the page, as the
// first visit in a window does; "again" comes back to a page built before. Each line is one
// page, timed by hand around the click and the frame only.
#include "core/nimbra_settings.h"
#include "core/settings_storage.h"
#include "ui/settings/settings_section.h"
#include "ui/settings/settings_style.h"
#include "ui/settings/settings_view.h"

#include "gui_bench_main.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QListWidget>
#include <QMouseEvent>
#include <QScrollArea>
#include <QStackedWidget>
#include <benchmark/benchmark.h>
#include <memory>

using namespace nimbra;

namespace {

NotchGeometry laptop()
{
    DisplayMetrics metrics;
    metrics.frame = QRectF(0, 0, 1512, 982);
    metrics.visibleFrame = QRectF(0, 0, 1512, 958);
    return NotchGeometry(metrics);
}

// A left click as the window system delivers one.
void click(QWidget* widget, QPoint at)
{
    const QPointF global = widget->mapToGlobal(QPointF(at));
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(at), global, Qt::LeftButton, Qt::LeftButton, {});
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(at), global, Qt::LeftButton, Qt::NoButton, {});
    QApplication::sendEvent(widget, &press);
    QApplication::sendEvent(widget, &release);
}

// Notes the first paint of a page once it is shown.
struct FirstFrame : QObject {
    bool painted = false;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            painted = true;
        return false;
    }
};

struct Window {
    Window()
    {
        SettingsView::Inputs inputs;
        inputs.displaySummary = QStringLiteral("pill 120×24px");
        inputs.liveGeometry = laptop();
        inputs.levels = LiveLevels { SystemLevel(SystemLevel::Kind::volume, 0.5, false, true, std::nullopt),
            SystemLevel(SystemLevel::Kind::brightness, 0.7, false, true, std::nullopt) };
        view = std::make_unique<SettingsView>(settings, inputs);
        view->setPalette(settings_style::palette(false));
        view->resize(760, 540);
        settings_style::adoptStyle(view.get());
        view->show();
        QApplication::processEvents();
    }

    // Clicks the page's row and runs the event loop until the page has painted a frame;
    // returns the seconds that took.
    double open(SettingsSection section)
    {
        QListWidget* sidebar = view->sidebar();
        const QRect row = sidebar->visualItemRect(sidebar->item(int(section)));
        FirstFrame frame;
        QElapsedTimer clock;
        clock.start();
        click(sidebar->viewport(), row.center());
        QScrollArea* page = view->currentScrollArea();
        page->widget()->installEventFilter(&frame);
        page->widget()->update();
        while (!frame.painted)
            QApplication::processEvents();
        // The frame has reached the window's backing store once the events it queued ran.
        QApplication::processEvents();
        const double seconds = clock.nsecsElapsed() / 1e9;
        page->widget()->removeEventFilter(&frame);
        return seconds;
    }

    NimbraSettings settings { std::make_shared<MemorySettingsStorage>() };
    std::unique_ptr<SettingsView> view;
};

void openPage(benchmark::State& bench, SettingsSection section, bool again)
{
    double worst = 0;
    for (auto _ : bench) {
        Window window;
        // Another page first, so that the click is a change of page.
        const SettingsSection other
            = section == SettingsSection::general ? SettingsSection::about : SettingsSection::general;
        window.open(other);
        if (again) {
            window.open(section);
            window.open(other);
        }
        const double seconds = window.open(section);
        bench.SetIterationTime(seconds);
        worst = std::max(worst, seconds);
    }
    bench.counters["worst_ms"] = worst * 1000;
}

void registerPages()
{
    for (const bool again : { false, true }) {
        for (const SettingsSection section : kSettingsSections) {
            const std::string name = "settings_page/" + rawValue(section).toStdString() + (again ? "/again" : "/first");
            benchmark::RegisterBenchmark(name.c_str(), openPage, section, again)
                ->UseManualTime()
                ->Unit(benchmark::kMillisecond)
                ->Iterations(5);
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    registerPages();
    return nimbra::bench::runGuiBenchmarks(argc, argv);
}
