#include "app/app_delegate.h"

#include "core/diagnostics.h"
#include "core/nimbra_settings.h"
#include "platform/autostart/login_item.h"

#include <QCoreApplication>
#include <cstdio>

namespace nimbra {

AppDelegate::AppDelegate(NimbraSettings* settings, QObject* parent)
    : QObject(parent), settings_(settings ? *settings : NimbraSettings::shared())
{
}

AppDelegate::~AppDelegate()
{
    applicationWillTerminate();
}

bool AppDelegate::unregisterModeRequested()
{
    return qgetenv("NIMBRA_UNREGISTER_LOGIN") == "1";
}

int AppDelegate::runUnregisterMode()
{
    QString error;
    const bool removed = LoginItem().unregisterItem(&error);
    // The preference follows the request even when the entry could not be removed.
    settings_.setLaunchAtLogin(false);
    const QByteArray path = QCoreApplication::applicationFilePath().toUtf8();
    if (!removed) {
        std::fprintf(stderr, "could not unregister the login item for %s: %s\n", path.constData(),
                     error.toUtf8().constData());
        return 1;
    }
    std::fprintf(stdout, "login item unregistered for %s\n", path.constData());
    std::fflush(stdout);
    return 0;
}

void AppDelegate::applicationDidFinishLaunching()
{
    if (launched_ || terminated_)
        return;
    launched_ = true;

    // The unregister mode only cleans up and quits.
    if (unregisterModeRequested()) {
        QCoreApplication::exit(runUnregisterMode());
        return;
    }
}

bool AppDelegate::applicationShouldHandleReopen()
{
    // The settings window shows here once it exists.
    Diagnostics::log(Diagnostics::Category::display, "reopened by another start");
    return true;
}

void AppDelegate::applicationWillTerminate()
{
    if (terminated_)
        return;
    terminated_ = true;
}

} // namespace nimbra
