#include "app/app_delegate.h"
#include "core/build_info.h"
#include "platform/quit_deadline.h"
#include "platform/single_instance.h"
#include "platform/termination_signals.h"

#include <QApplication>
#include <QIcon>
#include <QStandardPaths>
#include <QTimer>
#include <chrono>
#include <cstdio>

int main(int argc, char** argv)
{
    // Quitting never waits on outside I/O: once it starts, a stop that overruns this ends the
    // process, Qt's own wait for its thread pool included (so it outlives the application).
    nimbra::QuitDeadline deadline(std::chrono::milliseconds(1000));

    QApplication app(argc, argv);
    // No display name: the desktop would see it added to every window title ("Nimbra Settings —
    // Nimbra"). A window without a title of its own takes this name.
    QApplication::setApplicationName("Nimbra");
    QApplication::setApplicationVersion(QString::fromUtf8(nimbra::build_info::version));
    // Windows belong to the installed desktop entry and carry its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("nimbra"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("nimbra"), QIcon(QStringLiteral(":/nimbra.svg"))));
    // An accessory: no main window, so closing a window never ends the run.
    QApplication::setQuitOnLastWindowClosed(false);

    // The unregister mode only cleans up and quits, so it must not hand over to a running copy.
    // The name is let go as soon as quitting starts.
    nimbra::SingleInstance instance(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
    if (!nimbra::AppDelegate::unregisterModeRequested()
        && instance.claim() == nimbra::SingleInstance::Claim::handedOver) {
        std::fprintf(stdout, "Nimbra is already running; handed over to it\n");
        return 0;
    }

    int status = 0;
    {
        // The settings file writes itself out when quitting starts, ahead of the stop sequence.
        nimbra::AppDelegate delegate;
        instance.onReopen = [&delegate] { delegate.applicationShouldHandleReopen(); };
        nimbra::TerminationSignals termination;
        termination.onSignal = [](int) { QApplication::quit(); };
        QObject::connect(&app, &QApplication::aboutToQuit, &delegate, [&] {
            deadline.arm();
            delegate.applicationWillTerminate();
        });
        QTimer::singleShot(0, &delegate, &nimbra::AppDelegate::applicationDidFinishLaunching);
        status = app.exec();
        deadline.setExitStatus(status);
    }
    return status;
}
