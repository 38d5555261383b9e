#include "ui/surface/notch_surface_view.h"

#include "core/diagnostics.h"
#include "core/uptime.h"
#include "ui/surface/notch_surface_model.h"

#include <QCursor>
#include <QGraphicsOpacityEffect>
#include <QGuiApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

namespace nimbra {

NotchSurfaceView::NotchSurfaceView(NotchSurfaceModel* model, QWidget* parent)
    : QWidget(parent)
    , m_model(model)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_NoSystemBackground);
    const QSizeF outer = m_model->outerSize();
    const NotchShape shape = m_model->shape();
    m_width.set(outer.width());
    m_height.set(outer.height());
    m_top.set(shape.topRadius);
    m_bottom.set(shape.bottomRadius);
    m_opacity.set(m_model->isHidden() ? 0 : 1);
    setAttribute(Qt::WA_TransparentForMouseEvents, !m_model->isExpanded());

    m_frames.onFrame = [this] { frame(); };
    connect(m_model, &NotchSurfaceModel::surfaceChanged, this, [this] {
        setAttribute(Qt::WA_TransparentForMouseEvents, !m_model->isExpanded());
        retargetSize();
        retargetOpacity();
        rebuildContent();
    });
    connect(m_model, &NotchSurfaceModel::geometryChanged, this, [this] {
        retargetSize();
        rebuildContent();
    });
    connect(m_model, &NotchSurfaceModel::layoutChanged, this, [this] {
        retargetSize();
        rebuildContent();
    });
    connect(m_model, &NotchSurfaceModel::contentRevisionChanged, this, [this] { rebuildContent(); });
    // The content reads the theme from here, as every view below a host does.
    setNotchTheme(this, m_model->theme());
    connect(m_model, &NotchSurfaceModel::themeChanged, this, [this] {
        setNotchTheme(this, m_model->theme());
        update();
    });
    rebuildContent();
}

double NotchSurfaceView::now() const
{
    return clock ? clock() : uptime();
}

QRectF NotchSurfaceView::outlineRect() const
{
    const double t = now();
    const double w = std::max(0.0, m_width.value(t));
    const double h = std::max(0.0, m_height.value(t));
    return QRectF((width() - w) / 2, 0, w, h);
}

NotchShape NotchSurfaceView::currentShape() const
{
    const double t = now();
    return { std::max(0.0, m_top.value(t)), std::max(0.0, m_bottom.value(t)) };
}

double NotchSurfaceView::currentOpacity() const
{
    return std::clamp(m_opacity.value(now()), 0.0, 1.0);
}

QPainterPath NotchSurfaceView::outlinePath() const
{
    return currentShape().path(outlineRect());
}

void NotchSurfaceView::finishAnimations()
{
    for (SpringValue* value : { &m_width, &m_height, &m_top, &m_bottom, &m_opacity })
        value->set(value->target());
    m_frames.stop();
    placeContent();
    update();
    if (onOutlineChange)
        onOutlineChange();
}

void NotchSurfaceView::retargetSize()
{
    const double t = now();
    const QSizeF outer = m_model->outerSize();
    const NotchShape shape = m_model->shape();
    const Spring& spring = m_model->isExpanded() ? expandSpring : settleSpring;
    // A never-shown view has nothing to animate from.
    if (!isVisible()) {
        m_width.set(outer.width());
        m_height.set(outer.height());
        m_top.set(shape.topRadius);
        m_bottom.set(shape.bottomRadius);
    } else {
        m_width.animate(outer.width(), spring, t);
        m_height.animate(outer.height(), spring, t);
        m_top.animate(shape.topRadius, spring, t);
        m_bottom.animate(shape.bottomRadius, spring, t);
    }
    frame();
}

void NotchSurfaceView::retargetOpacity()
{
    const double target = m_model->isHidden() ? 0 : 1;
    if (!isVisible())
        m_opacity.set(target);
    else
        m_opacity.animate(target, fadeSpring, now());
    frame();
}

void NotchSurfaceView::frame()
{
    const double t = now();
    bool moving = false;
    for (const SpringValue* value : { &m_width, &m_height, &m_top, &m_bottom, &m_opacity })
        moving = moving || value->isMoving(t);
    const bool settled = !moving && m_frames.isActive();
    if (moving)
        m_frames.start();
    else
        m_frames.stop();
    placeContent();
    update();
    if (onOutlineChange)
        onOutlineChange();
    if (settled)
        refreshPointerHover();
}

void NotchSurfaceView::refreshPointerHover()
{
    // Widgets hear of the pointer when it moves or when they appear under it, so content that
    // grew past a resting pointer still thinks it is where the pointer first met it (a tab
    // button left lit). A still move at the pointer's place tells each widget where it is now.
    QWidget* top = window();
    QWindow* handle = top->windowHandle();
    if (!handle || !isVisible() || !top->underMouse() || QGuiApplication::mouseButtons() != Qt::NoButton)
        return;
    const QPointF global = QCursor::pos();
    const QPointF local = top->mapFromGlobal(global);
    if (!QRectF(top->rect()).contains(local))
        return;
    QMouseEvent move(
        QEvent::MouseMove, local, local, global, Qt::NoButton, Qt::NoButton, QGuiApplication::keyboardModifiers());
    QCoreApplication::sendEvent(handle, &move);
}

void NotchSurfaceView::rebuildContent()
{
    ++m_builds;
    m_contentPainted = false;
    m_contentFramePending = false;
    update();
    const auto& builder = m_model->content();
    QWidget* content = builder ? builder(m_model->surface(), m_model->context()) : nullptr;
    if (m_content && content && adoptContent && adoptContent(m_content, content)) {
        delete content;
        placeContent();
        return;
    }
    if (m_content)
        delete m_content.data();
    m_content = content;
    if (m_content) {
        m_content->setParent(this);
        m_content->show();
    }
    placeContent();
}

QRectF NotchSurfaceView::bodyRect() const
{
    // The outline less its two flares, as it is drawn right now.
    const QRectF outline = outlineRect();
    const double flares = NotchShape::outerInset(currentShape().topRadius);
    const double width = std::max(0.0, outline.width() - flares);
    return QRectF((this->width() - width) / 2, 0, width, outline.height());
}

void NotchSurfaceView::placeContent()
{
    if (!m_content)
        return;
    // The content fills the body as it is drawn right now, hanging centred from the top, so it
    // grows and shrinks with the outline; the outline clips it.
    const QRectF body = bodyRect();
    const QRect frame(int(std::round(body.x())), 0, int(std::round(body.width())), int(std::round(body.height())));
    if (m_content->geometry() != frame)
        m_content->setGeometry(frame);
    const QPainterPath clip = outlinePath().translated(-frame.x(), 0);
    m_content->setMask(QRegion(clip.toFillPolygon().toPolygon()));

    const double opacity = currentOpacity();
    auto* effect = qobject_cast<QGraphicsOpacityEffect*>(m_content->graphicsEffect());
    if (opacity < 0.995) {
        if (!effect) {
            effect = new QGraphicsOpacityEffect(m_content);
            m_content->setGraphicsEffect(effect);
        }
        effect->setOpacity(opacity);
    } else if (effect) {
        m_content->setGraphicsEffect(nullptr);
    }
}

void NotchSurfaceView::rehearse(const Presentation::Surface& surface, QWidget* content)
{
    if (!content)
        return;
    // A stage of its own, never shown and outside the panel: the content takes the theme and the
    // pixel density from it, and nothing of it touches the window this view is in (even a hidden
    // child of this view, deleted, would have its window repaint).
    QWidget stage;
    stage.setAttribute(Qt::WA_DontShowOnScreen);
    stage.setScreen(screen());
    setNotchTheme(&stage, m_model->theme());
    const QSizeF body = m_model->bodySize(surface);
    stage.resize(int(std::round(body.width())), int(std::round(body.height())));
    content->setParent(&stage);
    content->setGeometry(stage.rect());
    content->show();
    const double ratio = devicePixelRatioF();
    QImage frame(stage.size() * ratio, QImage::Format_ARGB32_Premultiplied);
    frame.setDevicePixelRatio(ratio);
    frame.fill(Qt::transparent);
    stage.render(&frame);
    auto* fade = new QGraphicsOpacityEffect(content);
    fade->setOpacity(0.5);
    content->setGraphicsEffect(fade);
    stage.render(&frame);
}

void NotchSurfaceView::paintEvent(QPaintEvent*)
{
    const double opacity = currentOpacity();
    if (opacity <= 0)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(opacity);
    painter.fillPath(outlinePath(), m_model->theme().surface());
    if (!m_contentPainted) {
        m_contentPainted = true;
        m_contentFramePending = true;
    }
}

void NotchSurfaceView::framePresented()
{
    if (!m_contentFramePending)
        return;
    m_contentFramePending = false;
    Diagnostics::log(Diagnostics::Category::surface, [&] {
        return QStringLiteral("first frame of ") + m_model->surface().traceDescription() + QStringLiteral(" content");
    });
}

void NotchSurfaceView::resizeEvent(QResizeEvent*)
{
    placeContent();
    if (onOutlineChange)
        onOutlineChange();
}

} // namespace nimbra
