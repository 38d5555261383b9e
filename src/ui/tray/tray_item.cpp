#include "ui/tray/tray_item.h"

#include "core/diagnostics.h"
#include "core/uptime.h"
#include "platform/x11/window_picture.h"
#include "platform/x11/window_shape.h"

#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QPixmap>
#include <QScreen>
#include <QSystemTrayIcon>
#include <utility>

namespace nimbra {

TrayItem::TrayItem(QObject* parent)
    : QObject(parent)
    , m_icon(std::make_unique<QSystemTrayIcon>())
{
    m_icon->setToolTip(QStringLiteral("Nimbra"));
    connect(m_icon.get(), &QSystemTrayIcon::activated, this,
        [this](QSystemTrayIcon::ActivationReason reason) { activated(int(reason)); });
}

TrayItem::~TrayItem()
{
    m_icon->hide();
}

bool TrayItem::isTrayAvailable()
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void TrayItem::show()
{
    if (!isTrayAvailable()) {
        static bool logged = false;
        if (!logged) {
            logged = true;
            Diagnostics::log(Diagnostics::Category::display,
                "no tray host: the status item waits for one; the notch's settings tab stays open to use");
        }
    }
    // Qt docks the icon as soon as a tray appears, so it is shown either way.
    m_icon->show();
}

void TrayItem::setIcon(const QIcon& icon)
{
    m_icon->setIcon(icon);
}

void TrayItem::setPicture(const QImage& picture)
{
    m_picture = picture;
    if (QWidget* window = trayWindow(); window && window->isVisible() && window->windowHandle()) {
        if (!m_windowPicture || m_windowPicture->window() != window->windowHandle()) {
            m_windowPicture = std::make_unique<x11::WindowPicture>(window->windowHandle());
            window->installEventFilter(this);
        }
        // Qt's repaint of a changed icon waits on the server once a frame (its shared-memory
        // image is reused); a picture put straight onto the window waits for nothing.
        if (m_windowPicture->show(picture)) {
            m_iconBehind = true;
            return;
        }
    }
    m_iconBehind = false;
    setIcon(QIcon(QPixmap::fromImage(picture)));
}

bool TrayItem::eventFilter(QObject* watched, QEvent* event)
{
    // Qt paints its own icon over the pictures when the window is exposed: it paints the last
    // one. (The update this schedules repaints once more, only after an exposure.)
    if (event->type() == QEvent::Paint && watched == m_trayWindow && std::exchange(m_iconBehind, false))
        setIcon(QIcon(QPixmap::fromImage(m_picture)));
    return QObject::eventFilter(watched, event);
}

void TrayItem::setMenu(QMenu* menu)
{
    m_menu = menu;
    m_icon->setContextMenu(menu);
}

void TrayItem::activated(int reason)
{
    const auto why = QSystemTrayIcon::ActivationReason(reason);
    if (why != QSystemTrayIcon::Trigger && why != QSystemTrayIcon::Context)
        return;
    m_lastClickAt = QCursor::pos();
    // A left click opens the same menu as a right click.
    if (why == QSystemTrayIcon::Trigger && m_menu)
        m_menu->popup(QCursor::pos());
}

QWidget* TrayItem::trayWindow() const
{
    if (m_trayWindow || !m_icon->isVisible())
        return m_trayWindow;
    // Qt makes one such window per docked icon, and only then; it does not say which item owns
    // it, so each item claims the first that no other item has claimed.
    static QList<QPointer<QWidget>> claimed;
    claimed.removeAll(nullptr);
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == QLatin1String("QSystemTrayIconSys") && !claimed.contains(widget)) {
            claimed.append(widget);
            m_trayWindow = widget;
            break;
        }
    }
    return m_trayWindow;
}

std::optional<int> TrayItem::iconSide() const
{
    const QWidget* window = trayWindow();
    if (!window || !window->isVisible())
        return std::nullopt;
    return std::min(window->width(), window->height());
}

QRectF TrayItem::screenRect(double fallbackSide) const
{
    // Qt's own geometry of a docked icon is its place in the tray's window; ask the server.
    if (QWidget* window = trayWindow(); window && window->isVisible()) {
        const double now = uptime();
        const bool stale
            = !m_dockedRect || now - m_dockedRectAt >= 1.0 || m_dockedRect->size().toSize() != window->size();
        if (stale) {
            m_dockedRectAt = now;
            const std::optional<QRectF> before = std::exchange(m_dockedRect, std::nullopt);
            if (const auto device = x11::rootGeometry(window->windowHandle())) {
                const qreal ratio = window->devicePixelRatioF();
                m_dockedRect = QRectF(
                    device->x() / ratio, device->y() / ratio, device->width() / ratio, device->height() / ratio);
            }
            // Moved within the tray: what shows behind the icon may have changed too.
            if (m_windowPicture && m_dockedRect != before)
                m_windowPicture->forgetBackground();
        }
        if (m_dockedRect)
            return *m_dockedRect;
    }
    const QPointF half(fallbackSide / 2, fallbackSide / 2);
    if (m_lastClickAt)
        return QRectF(*m_lastClickAt - half, *m_lastClickAt + half);
    const QScreen* primary = QGuiApplication::primaryScreen();
    const QRectF screen = primary ? QRectF(primary->geometry()) : QRectF(0, 0, fallbackSide, fallbackSide);
    return QRectF(screen.right() - fallbackSide, screen.top(), fallbackSide, fallbackSide);
}

} // namespace nimbra
