#include "app/app_delegate.h"

namespace nimbra {

AppDelegate::AppDelegate(QObject* parent) : QObject(parent) {}

AppDelegate::~AppDelegate()
{
    applicationWillTerminate();
}

bool AppDelegate::unregisterModeRequested()
{
    return qgetenv("NIMBRA_UNREGISTER_LOGIN") == "1";
}

void AppDelegate::applicationDidFinishLaunching() {}

bool AppDelegate::applicationShouldHandleReopen()
{
    return true;
}

void AppDelegate::applicationWillTerminate()
{
    if (terminated_)
        return;
    terminated_ = true;
}

} // namespace nimbra
