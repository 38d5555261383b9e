#include "support/x_pointer.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>
#include <cstdlib>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

namespace nimbra::test {

namespace {

xcb_connection_t* connection()
{
    return qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
}

bool buttonHeld = false;

xcb_window_t root()
{
    return xcb_setup_roots_iterator(xcb_get_setup(connection())).data->root;
}

} // namespace

void movePointer(QPoint qt)
{
    xcb_test_fake_input(
        connection(), XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, root(), int16_t(qt.x()), int16_t(qt.y()), 0);
    xcb_flush(connection());
}

void pressButton(bool press)
{
    xcb_test_fake_input(
        connection(), press ? XCB_BUTTON_PRESS : XCB_BUTTON_RELEASE, 1, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    xcb_flush(connection());
    buttonHeld = press;
}

ButtonLetGo::~ButtonLetGo()
{
    if (buttonHeld)
        pressButton(false);
}

void syncWithServer()
{
    free(xcb_get_input_focus_reply(connection(), xcb_get_input_focus(connection()), nullptr));
    QCoreApplication::processEvents();
}

} // namespace nimbra::test
