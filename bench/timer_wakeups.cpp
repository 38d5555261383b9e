// Wake-ups of the whole shell's main thread with no timer and with a stopwatch running (the
// surface closed): the first should be none, the second only the 0.2 s timer clock, 5 a second.
// Counted as the main thread's voluntary context switches (each timer expiry or event that
// wakes the event loop is one). Prints both figures.
// Usage: timer_wakeups_bench [SECONDS]   (offscreen unless QT_QPA_PLATFORM names a platform)
#include "app/app_delegate.h"
#include "core/nimbra_settings.h"
#include "core/settings_storage.h"
#include "wakeups.h"

#include <QApplication>
#include <cstdio>

using namespace nimbra;

using nimbra::bench::wakeupsPerSecond;

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const double seconds = argc > 1 ? std::max(1.0, QByteArray(argv[1]).toDouble()) : 10.0;

    NimbraSettings settings(std::make_shared<MemorySettingsStorage>());
    settings.setShowOnAllDisplays(true);
    settings.setHudReplacement(false);
    settings.setHasSeenOnboarding(true);
    AppDelegate delegate(&settings);
    delegate.applicationDidFinishLaunching();
    // Start-up work (the settings application, the first surfaces) settles first.
    wakeupsPerSecond(2);

    const double idle = wakeupsPerSecond(seconds);
    std::printf("no timer: %.1f wake-ups/s over %.0f s\n", idle, seconds);
    delegate.toggleTimer(); // the stopwatch
    wakeupsPerSecond(1);
    const double running = wakeupsPerSecond(seconds);
    std::printf("stopwatch running, surface closed: %.1f wake-ups/s over %.0f s (timer clock %s)\n", running, seconds,
        delegate.isTimerClockRunning() ? "running" : "stopped");
    delegate.applicationWillTerminate();
    return 0;
}
