#include "support/tray_host.h"

#include <QApplication>
#include <QGuiApplication>
#include <QSystemTrayIcon>
#include <QWidget>
#include <QtGui/qguiapplication_platform.h>
#include <cstdlib>
#include <xcb/xcb.h>

namespace nimbra::test {

TrayHost::TrayHost()
{
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start("trayer",
        { "--edge", "bottom", "--align", "right", "--widthtype", "request", "--height", "24", "--transparent", "true",
            "--alpha", "0", "--tint", "0x303030", "--SetDockType", "true" });
}

TrayHost::~TrayHost()
{
    m_process.terminate();
    if (!m_process.waitForFinished(5000))
        m_process.kill();
    m_process.waitForFinished(5000);
}

bool TrayHost::isReady() const
{
    return m_process.state() == QProcess::Running && QSystemTrayIcon::isSystemTrayAvailable();
}

QList<unsigned> trayIconWindows()
{
    QList<unsigned> windows;
    // Qt makes one window per shown tray icon.
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == QLatin1String("QSystemTrayIconSys") && widget->testAttribute(Qt::WA_WState_Created))
            windows.append(unsigned(widget->winId()));
    }
    return windows;
}

QList<unsigned> iconsInTheTray()
{
    xcb_connection_t* connection = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
    QList<unsigned> held;
    for (const unsigned window : trayIconWindows()) {
        xcb_query_tree_reply_t* tree
            = xcb_query_tree_reply(connection, xcb_query_tree(connection, xcb_window_t(window)), nullptr);
        xcb_get_window_attributes_reply_t* attributes = xcb_get_window_attributes_reply(
            connection, xcb_get_window_attributes(connection, xcb_window_t(window)), nullptr);
        // Reparented into the tray, and shown there: it and every window around it are mapped.
        if (tree && tree->parent != tree->root && attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE)
            held.append(window);
        free(tree);
        free(attributes);
    }
    return held;
}

bool clickWindow(unsigned window, QPoint at)
{
    QProcess xdotool;
    xdotool.start("xdotool",
        { "mousemove", "--window", QString::number(window), QString::number(at.x()), QString::number(at.y()), "click",
            "1" });
    return xdotool.waitForFinished(10000) && xdotool.exitCode() == 0;
}

} // namespace nimbra::test
