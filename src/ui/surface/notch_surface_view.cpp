#include "ui/surface/notch_surface_view.h"

#include "core/diagnostics.h"
#include "core/uptime.h"
#include "ui/surface/notch_surface_model.h"

#include <QGraphicsOpacityEffect>
#include <QPainter>

namespace nimbra {

NotchSurfaceView::NotchSurfaceView(NotchSurfaceModel* model, QWidget* parent)
    : QWidget(parent)
    , model_(model)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_NoSystemBackground);
    const QSizeF outer = model_->outerSize();
    const NotchShape shape = model_->shape();
    width_.set(outer.width());
    height_.set(outer.height());
    top_.set(shape.topRadius);
    bottom_.set(shape.bottomRadius);
    opacity_.set(model_->isHidden() ? 0 : 1);
    setAttribute(Qt::WA_TransparentForMouseEvents, !model_->isExpanded());

    frames_.onFrame = [this] { frame(); };
    connect(model_, &NotchSurfaceModel::surfaceChanged, this, [this] {
        setAttribute(Qt::WA_TransparentForMouseEvents, !model_->isExpanded());
        retargetSize();
        retargetOpacity();
        rebuildContent();
    });
    connect(model_, &NotchSurfaceModel::geometryChanged, this, [this] {
        retargetSize();
        rebuildContent();
    });
    connect(model_, &NotchSurfaceModel::layoutChanged, this, [this] {
        retargetSize();
        rebuildContent();
    });
    connect(model_, &NotchSurfaceModel::contentRevisionChanged, this, [this] { rebuildContent(); });
    // The content reads the theme from here, as every view below a host does.
    setNotchTheme(this, model_->theme());
    connect(model_, &NotchSurfaceModel::themeChanged, this, [this] {
        setNotchTheme(this, model_->theme());
        update();
    });
    rebuildContent();
}

double NotchSurfaceView::now() const { return clock ? clock() : uptime(); }

QRectF NotchSurfaceView::outlineRect() const
{
    const double t = now();
    const double w = std::max(0.0, width_.value(t));
    const double h = std::max(0.0, height_.value(t));
    return QRectF((width() - w) / 2, 0, w, h);
}

NotchShape NotchSurfaceView::currentShape() const
{
    const double t = now();
    return { std::max(0.0, top_.value(t)), std::max(0.0, bottom_.value(t)) };
}

double NotchSurfaceView::currentOpacity() const { return std::clamp(opacity_.value(now()), 0.0, 1.0); }

QPainterPath NotchSurfaceView::outlinePath() const { return currentShape().path(outlineRect()); }

void NotchSurfaceView::finishAnimations()
{
    for (SpringValue* value : { &width_, &height_, &top_, &bottom_, &opacity_ })
        value->set(value->target());
    frames_.stop();
    placeContent();
    update();
    if (onOutlineChange)
        onOutlineChange();
}

void NotchSurfaceView::retargetSize()
{
    const double t = now();
    const QSizeF outer = model_->outerSize();
    const NotchShape shape = model_->shape();
    const Spring& spring = model_->isExpanded() ? expandSpring : settleSpring;
    // A never-shown view has nothing to animate from.
    if (!isVisible()) {
        width_.set(outer.width());
        height_.set(outer.height());
        top_.set(shape.topRadius);
        bottom_.set(shape.bottomRadius);
    } else {
        width_.animate(outer.width(), spring, t);
        height_.animate(outer.height(), spring, t);
        top_.animate(shape.topRadius, spring, t);
        bottom_.animate(shape.bottomRadius, spring, t);
    }
    frame();
}

void NotchSurfaceView::retargetOpacity()
{
    const double target = model_->isHidden() ? 0 : 1;
    if (!isVisible())
        opacity_.set(target);
    else
        opacity_.animate(target, fadeSpring, now());
    frame();
}

void NotchSurfaceView::frame()
{
    const double t = now();
    bool moving = false;
    for (const SpringValue* value : { &width_, &height_, &top_, &bottom_, &opacity_ })
        moving = moving || value->isMoving(t);
    if (moving)
        frames_.start();
    else
        frames_.stop();
    placeContent();
    update();
    if (onOutlineChange)
        onOutlineChange();
}

void NotchSurfaceView::rebuildContent()
{
    ++builds_;
    contentPainted_ = false;
    update();
    const auto& builder = model_->content();
    QWidget* content = builder ? builder(model_->surface(), model_->context()) : nullptr;
    if (content_ && content && adoptContent && adoptContent(content_, content)) {
        delete content;
        placeContent();
        return;
    }
    if (content_)
        delete content_.data();
    content_ = content;
    if (content_) {
        content_->setParent(this);
        content_->show();
    }
    placeContent();
}

void NotchSurfaceView::placeContent()
{
    if (!content_)
        return;
    // The content keeps the body size of its surface and hangs centred from the top; the
    // animated outline reveals it, so a frame costs a clip, never a relayout.
    const QSizeF body = model_->bodySize();
    const QRect frame(int(std::round((width() - body.width()) / 2)), 0, int(std::round(body.width())),
        int(std::round(body.height())));
    if (content_->geometry() != frame)
        content_->setGeometry(frame);
    const QPainterPath clip = outlinePath().translated(-frame.x(), 0);
    content_->setMask(QRegion(clip.toFillPolygon().toPolygon()));

    const double opacity = currentOpacity();
    auto* effect = qobject_cast<QGraphicsOpacityEffect*>(content_->graphicsEffect());
    if (opacity < 0.995) {
        if (!effect) {
            effect = new QGraphicsOpacityEffect(content_);
            content_->setGraphicsEffect(effect);
        }
        effect->setOpacity(opacity);
    } else if (effect) {
        content_->setGraphicsEffect(nullptr);
    }
}

void NotchSurfaceView::paintEvent(QPaintEvent*)
{
    const double opacity = currentOpacity();
    if (opacity <= 0)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(opacity);
    painter.fillPath(outlinePath(), model_->theme().surface());
    if (!contentPainted_) {
        contentPainted_ = true;
        Diagnostics::log(Diagnostics::Category::surface, [&] {
            return QStringLiteral("first frame of ") + model_->surface().traceDescription()
                + QStringLiteral(" content");
        });
    }
}

void NotchSurfaceView::resizeEvent(QResizeEvent*)
{
    placeContent();
    if (onOutlineChange)
        onOutlineChange();
}

} // namespace nimbra
