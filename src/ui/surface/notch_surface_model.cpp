#include "ui/surface/notch_surface_model.h"

#include <algorithm>

namespace nimbra {

NotchSurfaceModel::NotchSurfaceModel(const NotchGeometry& geometry, Content content, QObject* parent)
    : QObject(parent)
    , geometry_(geometry)
    , layout_(LayoutMetrics::defaults())
    , theme_(NotchTheme::dark())
    , content_(std::move(content))
{
}

void NotchSurfaceModel::setGeometry(const NotchGeometry& geometry)
{
    if (geometry == geometry_)
        return;
    geometry_ = geometry;
    Q_EMIT geometryChanged();
}

void NotchSurfaceModel::setLayout(const LayoutMetrics& layout)
{
    if (layout == layout_)
        return;
    layout_ = layout;
    Q_EMIT layoutChanged();
}

void NotchSurfaceModel::setTheme(const NotchTheme& theme)
{
    if (theme == theme_)
        return;
    theme_ = theme;
    Q_EMIT themeChanged();
}

void NotchSurfaceModel::setSurface(const Presentation::Surface& surface)
{
    if (surface == surface_)
        return;
    surface_ = surface;
    Q_EMIT surfaceChanged();
}

void NotchSurfaceModel::incrementContentRevision()
{
    ++contentRevision_;
    Q_EMIT contentRevisionChanged();
}

NotchShape NotchSurfaceModel::shape() const
{
    if (isExpanded())
        return { layout_.expandedTopRadius, layout_.expandedBottomRadius };
    return { layout_.collapsedTopRadius, layout_.collapsedBottomRadius };
}

QSizeF NotchSurfaceModel::bodySize() const
{
    const QRectF anchor = geometry_.anchorRect();
    switch (surface_.kind()) {
    case Presentation::Surface::Kind::activity:
    case Presentation::Surface::Kind::resident:
        return { anchor.width() + layout_.activityExtraWidth, std::max(anchor.height(), layout_.activityHeight) };
    case Presentation::Surface::Kind::expanded:
        return { layout_.expandedWidth, layout_.expandedHeight };
    case Presentation::Surface::Kind::dormant:
        break;
    }
    return anchor.size();
}

QSizeF NotchSurfaceModel::outerSize() const
{
    const QSizeF body = bodySize();
    return { body.width() + NotchShape::outerInset(shape().topRadius), body.height() };
}

SurfaceContext NotchSurfaceModel::context() const
{
    const QRectF anchor = geometry_.anchorRect();
    SurfaceContext context;
    context.size = bodySize();
    context.notchHeight = anchor.height();
    context.notchWidth = anchor.width();
    return context;
}

} // namespace nimbra
