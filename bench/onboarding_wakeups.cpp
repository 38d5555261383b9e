// Onboarding's cost while open and after it closed, in a first-start shell: the main thread's
// wake-ups per second, the frames its scenes drew, and how often Qt's pool threads (which its
// raster engine hands large translucent fills to) were woken for them: a frame should cost
// the painting thread alone. While open the scene draws at most 30
// frames a second; once closed its frame clock is gone (no frames, no wake-ups of its own).
// Also prints how long building and showing the window takes (beyond the 0.4 s it waits).
// Usage: onboarding_wakeups_bench [SECONDS]   (offscreen unless QT_QPA_PLATFORM names a platform)
#include "app/app_delegate.h"
#include "core/nimbra_settings.h"
#include "core/settings_storage.h"
#include "ui/onboarding/onboarding_view.h"
#include "ui/onboarding/onboarding_window_controller.h"
#include "wakeups.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QWidget>
#include <cstdio>

using namespace nimbra;
using nimbra::bench::PoolSwitches;
using nimbra::bench::poolSwitches;
using nimbra::bench::runFor;
using nimbra::bench::voluntarySwitches;

namespace {

// Counts the paints of one widget.
struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const double seconds = argc > 1 ? std::max(1.0, QByteArray(argv[1]).toDouble()) : 5.0;

    NimbraSettings settings(std::make_shared<MemorySettingsStorage>());
    settings.setShowOnAllDisplays(true);
    settings.setHudReplacement(false);
    settings.setChecksForUpdates(false);
    AppDelegate delegate(&settings);
    QElapsedTimer sinceLaunch;
    sinceLaunch.start();
    delegate.applicationDidFinishLaunching();
    const double launched = sinceLaunch.nsecsElapsed() / 1e6;
    OnboardingWindowController* onboarding = delegate.onboarding();
    if (!onboarding) {
        std::printf("onboarding was not scheduled\n");
        return 1;
    }
    // Waits for the window, then times a show of the built window and of a fresh one.
    while (!onboarding->window() || !onboarding->window()->isVisible())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double shownAfter = sinceLaunch.nsecsElapsed() / 1e6;
    std::printf("first start: launch ran in %.1f ms; onboarding shown %.0f ms after launch (0.4 s of it waited)\n",
        launched, shownAfter);
    {
        OnboardingWindowController fresh([] { return true; }, [] {}, [] {});
        QElapsedTimer build;
        build.start();
        fresh.show();
        std::printf("building and showing the onboarding window: %.1f ms\n", build.nsecsElapsed() / 1e6);
    }

    PaintCounter counter;
    QWidget* stage = onboarding->view()->stage();
    stage->installEventFilter(&counter);
    runFor(1);
    long before = voluntarySwitches();
    const PoolSwitches poolBefore = poolSwitches();
    counter.paints = 0;
    // Each of the six scenes for a sixth of the time, cross-fades between them included.
    for (int step = 0; step < 6; ++step) {
        onboarding->view()->move(step);
        runFor(seconds / 6);
    }
    const PoolSwitches poolAfter = poolSwitches();
    std::printf("onboarding open: %.1f wake-ups/s, its scenes drew %.1f frames/s over %.0f s (all six)\n",
        (voluntarySwitches() - before - 1) / seconds, counter.paints / seconds, seconds);
    std::printf("onboarding open: Qt's pool threads switched %.1f times/s (%.1f a frame; %d such threads)\n",
        (poolAfter.switches - poolBefore.switches) / seconds,
        counter.paints ? double(poolAfter.switches - poolBefore.switches) / counter.paints : 0.0, poolAfter.threads);

    onboarding->window()->close();
    runFor(0.5);
    before = voluntarySwitches();
    counter.paints = 0;
    runFor(seconds);
    std::printf("onboarding closed: %.1f wake-ups/s, its scene drew %d frames over %.0f s (seen: %s)\n",
        (voluntarySwitches() - before - 1) / seconds, counter.paints, seconds,
        settings.hasSeenOnboarding() ? "yes" : "no");
    delegate.applicationWillTerminate();
    return 0;
}
