// The eye preview of the settings window: frames drawn per second while its page is shown
// (the goal: at most 30), none while another page is, and what one frame costs to draw.
#include "core/nimbra_settings.h"
#include "core/settings_storage.h"
#include "ui/eyes/eye_preview.h"
#include "ui/settings/settings_style.h"
#include "ui/settings/settings_view.h"

#include "gui_bench_main.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QPainter>
#include <QTimer>
#include <benchmark/benchmark.h>
#include <memory>

using namespace nimbra;

namespace {

struct FrameCounter : QObject {
    int frames = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        frames += event->type() == QEvent::Paint;
        return false;
    }
};

// Runs the event loop for `seconds` and returns the preview's frames per second meanwhile.
double framesPerSecond(QWidget* preview, double seconds)
{
    FrameCounter counter;
    preview->installEventFilter(&counter);
    QEventLoop loop;
    QElapsedTimer clock;
    clock.start();
    QTimer::singleShot(int(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
    preview->removeEventFilter(&counter);
    return counter.frames / (clock.nsecsElapsed() / 1e9);
}

void previewFrameRate(benchmark::State& bench)
{
    NimbraSettings settings { std::make_shared<MemorySettingsStorage>() };
    settings.setEyesEnabled(true);
    SettingsView view(settings, SettingsView::Inputs {});
    view.setPalette(settings_style::palette(false));
    view.resize(760, 540);
    view.show();
    view.select(SettingsSection::eyes);
    QApplication::processEvents();
    auto* preview = view.findChild<EyePreview*>();
    if (!preview) {
        bench.SkipWithError("no eye preview on the eyes page");
        return;
    }
    double shown = 0, hidden = 0;
    for (auto _ : bench) {
        view.select(SettingsSection::eyes);
        shown = framesPerSecond(preview, 1.0);
        view.select(SettingsSection::about);
        hidden = framesPerSecond(preview, 1.0);
    }
    bench.counters["fps_shown"] = shown;
    bench.counters["fps_other_page"] = hidden;
}

void previewFrameCost(benchmark::State& bench)
{
    const QSizeF size(468, EyePreview::height);
    QImage frame(size.toSize() * 2, QImage::Format_ARGB32_Premultiplied);
    frame.setDevicePixelRatio(2);
    const EyeStyle style;
    const QString clock = EyePreview::clockText();
    double t = EyePreview::now();
    for (auto _ : bench) {
        QPainter painter(&frame);
        EyePreview::paintFrame(painter, size, t, style, clock);
        painter.end();
        t += 1.0 / 30;
        benchmark::DoNotOptimize(frame.constBits());
    }
}

} // namespace

BENCHMARK(previewFrameRate)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(previewFrameCost)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv)
{
    return nimbra::bench::runGuiBenchmarks(argc, argv);
}
