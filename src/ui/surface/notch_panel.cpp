#include "ui/surface/notch_panel.h"

#include "core/diagnostics.h"
#include "platform/screen_space.h"
#include "platform/x11/window_shape.h"

#include <QApplication>
#include <QMouseEvent>
#include <QWindow>
#include <cmath>

namespace nimbra {

PassthroughHostingView::PassthroughHostingView(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
}

std::optional<QRectF> PassthroughHostingView::interactiveRect() const
{
    if (!interactiveRegion)
        return std::nullopt;
    const std::optional<QRectF> region = interactiveRegion();
    if (!region)
        return std::nullopt;
    // Bottom-left origin, y up → this view's top-left origin, y down.
    return QRectF(region->x(), height() - (region->y() + region->height()), region->width(), region->height());
}

bool PassthroughHostingView::hitTest(QPointF point) const
{
    const auto rect = interactiveRect();
    return rect && rect->contains(point);
}

void PassthroughHostingView::setRootView(QWidget* view)
{
    m_root = view;
    if (m_root) {
        m_root->setParent(this);
        m_root->setGeometry(rect());
        m_root->show();
    }
}

void PassthroughHostingView::resizeEvent(QResizeEvent*)
{
    if (m_root)
        m_root->setGeometry(rect());
}

void PassthroughHostingView::setDropTarget(std::optional<FileDropTarget> target)
{
    m_dropTarget = std::move(target);
    setAcceptDrops(m_dropTarget.has_value());
}

void PassthroughHostingView::dragEnterEvent(QDragEnterEvent* event)
{
    if (m_dropTarget)
        m_drags.enter(event, *m_dropTarget);
    else
        event->ignore();
}

void PassthroughHostingView::dragMoveEvent(QDragMoveEvent* event)
{
    if (m_dropTarget)
        m_drags.move(event, *m_dropTarget);
    else
        event->ignore();
}

void PassthroughHostingView::dragLeaveEvent(QDragLeaveEvent*)
{
    if (m_dropTarget)
        m_drags.leave(*m_dropTarget);
}

void PassthroughHostingView::dropEvent(QDropEvent* event)
{
    if (m_dropTarget)
        m_drags.drop(event, *m_dropTarget);
    else
        event->ignore();
}

void PassthroughHostingView::mousePressEvent(QMouseEvent* event)
{
    const QPointF p = event->position();
    Diagnostics::log(Diagnostics::Category::surface,
        [&] { return QStringLiteral("mouseDown %1,%2").arg(int(std::trunc(p.x()))).arg(int(std::trunc(p.y()))); });
    QWidget::mousePressEvent(event);
}

NotchPanel::NotchPanel(const QRectF& contentRect, QWidget* parent)
    : QWidget(parent,
        Qt::Tool | Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint | Qt::WindowStaysOnTopHint
            | Qt::WindowDoesNotAcceptFocus | Qt::NoDropShadowWindowHint)
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_X11DoNotAcceptFocus);
    setAttribute(Qt::WA_QuitOnClose, false);
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_TranslucentBackground);
    // Qt shows tooltips only in the active window, which the panel rarely is: its symbol-only
    // buttons explain themselves all the same.
    setAttribute(Qt::WA_AlwaysShowToolTips);
    setFocusPolicy(Qt::NoFocus);
    setWindowTitle(QStringLiteral("Nimbra"));
    setFrame(contentRect, false);
}

bool NotchPanel::translucencyAvailable()
{
    return !x11::isAvailable() || x11::hasCompositor();
}

void NotchPanel::setAllowsKey(bool allows)
{
    if (allows == m_allowsKey)
        return;
    m_allowsKey = allows;
    if (!allows)
        resignKey();
    if (QWindow* window = windowHandle())
        window->setFlag(Qt::WindowDoesNotAcceptFocus, !allows);
}

bool NotchPanel::isKeyWindow() const
{
    return isVisible() && QApplication::activeWindow() == this;
}

void NotchPanel::makeKeyAndOrderFront()
{
    orderFront();
    if (!m_allowsKey)
        return;
    if (QWindow* window = windowHandle())
        window->setFlag(Qt::WindowDoesNotAcceptFocus, false);
    activateWindow();
    x11::takeInputFocus(windowHandle());
}

void NotchPanel::resignKey()
{
    x11::releaseInputFocus(windowHandle());
    if (!isKeyWindow())
        return;
    if (QWidget* focus = QApplication::focusWidget(); focus && focus->window() == this)
        focus->clearFocus();
    QApplication::setActiveWindow(nullptr);
}

void NotchPanel::setFrame(const QRectF& frame, bool display)
{
    m_frame = frame;
    const QRectF qt = screen_space::toQt(frame);
    const QRect pixels(
        int(std::round(qt.x())), int(std::round(qt.y())), int(std::round(qt.width())), int(std::round(qt.height())));
    if (geometry() != pixels)
        setGeometry(pixels);
    applyInputShape(false);
    if (display)
        repaint();
}

void NotchPanel::setIgnoresMouseEvents(bool ignores)
{
    m_ignoresMouseEvents = ignores;
    applyInputShape(false);
}

QRegion NotchPanel::inputShape(
    bool ignoresMouseEvents, const std::optional<QRectF>& interactive, QSize window, bool hasInteractiveRegion)
{
    if (ignoresMouseEvents)
        return {};
    if (!hasInteractiveRegion)
        return QRegion(QRect(QPoint(0, 0), window));
    if (!interactive)
        return {};
    const QRectF r = *interactive;
    const QRect rounded(int(std::floor(r.x())), int(std::floor(r.y())),
        int(std::ceil(r.x() + r.width()) - std::floor(r.x())), int(std::ceil(r.y() + r.height()) - std::floor(r.y())));
    return QRegion(rounded).intersected(QRect(QPoint(0, 0), window));
}

void NotchPanel::setInputLimit(const std::optional<QRectF>& rect)
{
    m_inputLimit = rect;
    applyInputShape(false);
}

QRegion NotchPanel::devicePixelCover(const QRectF& rect, double ratio, QSize devicePixels)
{
    const int left = int(std::floor(rect.x() * ratio + 1e-6));
    const int top = int(std::floor(rect.y() * ratio + 1e-6));
    const int right = int(std::ceil((rect.x() + rect.width()) * ratio - 1e-6));
    const int bottom = int(std::ceil((rect.y() + rect.height()) * ratio - 1e-6));
    if (right <= left || bottom <= top)
        return {};
    return QRegion(left, top, right - left, bottom - top).intersected(QRect(QPoint(0, 0), devicePixels));
}

QRegion NotchPanel::currentInputShape() const
{
    const double ratio = devicePixelRatioF();
    const QSize pixels(int(std::lround(width() * ratio)), int(std::lround(height() * ratio)));
    if (m_ignoresMouseEvents)
        return {};
    if (m_inputLimit) {
        // Model coordinates (y up) to this window's (y down).
        const QRectF local(m_inputLimit->x() - m_frame.x(),
            (m_frame.y() + m_frame.height()) - (m_inputLimit->y() + m_inputLimit->height()), m_inputLimit->width(),
            m_inputLimit->height());
        return devicePixelCover(local, ratio, pixels);
    }
    const bool declares = m_content && m_content->interactiveRegion;
    const QRegion logical
        = inputShape(false, m_content ? m_content->interactiveRect() : std::nullopt, size(), declares);
    QRegion device;
    for (const QRect& r : logical)
        device += devicePixelCover(QRectF(r), ratio, pixels);
    return device;
}

void NotchPanel::refreshInputShape()
{
    applyInputShape(false);
}

void NotchPanel::applyInputShape(bool force)
{
    const QRegion shape = currentInputShape();
    // The same shape is not sent to the server again: the controller syncs at 120 Hz.
    if (!force && m_appliedInput && *m_appliedInput == shape)
        return;
    m_appliedInput = shape;
    if (QWindow* window = windowHandle())
        x11::setInputShape(window, shape);
}

void NotchPanel::setOpaqueClip(const std::optional<QRegion>& region)
{
    if (translucencyAvailable() || m_clip == region)
        return;
    m_clip = region;
    if (QWindow* window = windowHandle())
        x11::setBoundingShape(window, m_clip);
}

void NotchPanel::orderFront()
{
    if (!isVisible())
        show();
    x11::raise(windowHandle());
}

void NotchPanel::orderOut()
{
    hide();
}

void NotchPanel::orderAbove(QWidget* other)
{
    if (!other || !other->windowHandle()) {
        x11::raise(windowHandle());
        return;
    }
    x11::stackAbove(windowHandle(), other->windowHandle());
}

void NotchPanel::setContentView(PassthroughHostingView* view)
{
    m_content = view;
    if (m_content) {
        m_content->setParent(this);
        m_content->setGeometry(rect());
        m_content->show();
    }
    applyInputShape(false);
}

void NotchPanel::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // A new X window starts with the whole window as its shapes.
    applyInputShape(true);
    if (m_clip && windowHandle())
        x11::setBoundingShape(windowHandle(), m_clip);
    x11::raise(windowHandle());
}

bool NotchPanel::event(QEvent* event)
{
    if (event->type() == QEvent::Resize && m_content)
        m_content->setGeometry(rect());
    // The paint of a frame and its flush to the window system happen in this one request.
    if (event->type() == QEvent::UpdateRequest) {
        const bool handled = QWidget::event(event);
        if (onFramePresented)
            onFramePresented();
        return handled;
    }
    return QWidget::event(event);
}

} // namespace nimbra
