#include "platform/x11/qt_connection.h"

#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>

namespace nimbra::x11 {

xcb_connection_t* qtConnection()
{
    auto* app = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return app ? app->connection() : nullptr;
}

} // namespace nimbra::x11
