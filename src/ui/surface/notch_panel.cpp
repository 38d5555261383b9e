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
    root_ = view;
    if (root_) {
        root_->setParent(this);
        root_->setGeometry(rect());
        root_->show();
    }
}

void PassthroughHostingView::resizeEvent(QResizeEvent*)
{
    if (root_)
        root_->setGeometry(rect());
}

void PassthroughHostingView::mousePressEvent(QMouseEvent* event)
{
    const QPointF p = event->position();
    Diagnostics::log(Diagnostics::Category::surface, [&] {
        return QStringLiteral("mouseDown %1,%2").arg(int(std::trunc(p.x()))).arg(int(std::trunc(p.y())));
    });
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
    setFocusPolicy(Qt::NoFocus);
    setWindowTitle(QStringLiteral("Nimbra"));
    setFrame(contentRect, false);
}

bool NotchPanel::translucencyAvailable() { return !x11::isAvailable() || x11::hasCompositor(); }

void NotchPanel::setAllowsKey(bool allows)
{
    if (allows == allowsKey_)
        return;
    allowsKey_ = allows;
    if (!allows)
        resignKey();
    if (QWindow* window = windowHandle())
        window->setFlag(Qt::WindowDoesNotAcceptFocus, !allows);
}

bool NotchPanel::isKeyWindow() const { return isVisible() && QApplication::activeWindow() == this; }

void NotchPanel::makeKeyAndOrderFront()
{
    orderFront();
    if (!allowsKey_)
        return;
    if (QWindow* window = windowHandle())
        window->setFlag(Qt::WindowDoesNotAcceptFocus, false);
    activateWindow();
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
    frame_ = frame;
    const QRectF qt = screen_space::toQt(frame);
    const QRect pixels(int(std::round(qt.x())), int(std::round(qt.y())), int(std::round(qt.width())),
        int(std::round(qt.height())));
    if (geometry() != pixels)
        setGeometry(pixels);
    applyInputShape(false);
    if (display)
        repaint();
}

void NotchPanel::setIgnoresMouseEvents(bool ignores)
{
    ignoresMouseEvents_ = ignores;
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

QRegion NotchPanel::currentInputShape() const
{
    const bool declares = content_ && content_->interactiveRegion;
    return inputShape(ignoresMouseEvents_, content_ ? content_->interactiveRect() : std::nullopt, size(), declares);
}

void NotchPanel::refreshInputShape() { applyInputShape(false); }

void NotchPanel::applyInputShape(bool force)
{
    const QRegion shape = currentInputShape();
    // The same shape is not sent to the server again: the controller syncs at 120 Hz.
    if (!force && appliedInput_ && *appliedInput_ == shape)
        return;
    appliedInput_ = shape;
    if (QWindow* window = windowHandle())
        x11::setInputShape(window, shape);
}

void NotchPanel::setOpaqueClip(const std::optional<QRegion>& region)
{
    if (translucencyAvailable() || clip_ == region)
        return;
    clip_ = region;
    if (QWindow* window = windowHandle())
        x11::setBoundingShape(window, clip_);
}

void NotchPanel::orderFront()
{
    if (!isVisible())
        show();
    x11::raise(windowHandle());
}

void NotchPanel::orderOut() { hide(); }

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
    content_ = view;
    if (content_) {
        content_->setParent(this);
        content_->setGeometry(rect());
        content_->show();
    }
    applyInputShape(false);
}

void NotchPanel::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // A new X window starts with the whole window as its shapes.
    applyInputShape(true);
    if (clip_ && windowHandle())
        x11::setBoundingShape(windowHandle(), clip_);
    x11::raise(windowHandle());
}

bool NotchPanel::event(QEvent* event)
{
    if (event->type() == QEvent::Resize && content_)
        content_->setGeometry(rect());
    return QWidget::event(event);
}

} // namespace nimbra
