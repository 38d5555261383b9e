#include "app/app_delegate.h"
#include "platform/termination_signals.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("nimbra");
    QApplication::setApplicationDisplayName("Nimbra");
    // An accessory: no main window, so closing a window never ends the run.
    QApplication::setQuitOnLastWindowClosed(false);

    nimbra::AppDelegate delegate;
    nimbra::TerminationSignals termination;
    termination.onSignal = [](int) { QApplication::quit(); };
    QObject::connect(&app, &QApplication::aboutToQuit, &delegate, &nimbra::AppDelegate::applicationWillTerminate);
    QTimer::singleShot(0, &delegate, &nimbra::AppDelegate::applicationDidFinishLaunching);
    return app.exec();
}
