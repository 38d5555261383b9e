// Wake-ups of the whole shell's main thread with no timer and with a stopwatch running (the
// surface closed): the first should be none, the second only the 0.2 s timer clock, 5 a second.
// Counted as the main thread's voluntary context switches (each timer expiry or event that
// wakes the event loop is one). Prints both figures.
// Usage: timer_wakeups_bench [SECONDS]   (offscreen unless QT_QPA_PLATFORM names a platform)
#include "app/app_delegate.h"
#include "core/nimbra_settings.h"
#include "core/settings_storage.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <cstdio>
#include <sys/syscall.h>
#include <unistd.h>

using namespace nimbra;

namespace {

long voluntarySwitches()
{
    QFile status(QStringLiteral("/proc/self/task/%1/status").arg(long(::syscall(SYS_gettid))));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("voluntary_ctxt_switches:"))
            return line.mid(line.indexOf(':') + 1).trimmed().toLong();
    return -1;
}

// Runs the event loop for `seconds` and returns the wake-ups per second, less the one that
// ends the run.
double wakeupsPerSecond(double seconds)
{
    QEventLoop loop;
    QTimer::singleShot(int(seconds * 1000), &loop, &QEventLoop::quit);
    const long before = voluntarySwitches();
    loop.exec();
    return (voluntarySwitches() - before - 1) / seconds;
}

} // namespace

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
