#include "ui/surface/notch_surface_model.h"

#include <algorithm>

namespace nimbra {

NotchSurfaceModel::NotchSurfaceModel(const NotchGeometry& geometry, Content content, QObject* parent)
    : QObject(parent)
    , m_geometry(geometry)
    , m_layout(LayoutMetrics::defaults())
    , m_theme(NotchTheme::dark())
    , m_content(std::move(content))
{
}

void NotchSurfaceModel::setGeometry(const NotchGeometry& geometry)
{
    if (geometry == m_geometry)
        return;
    m_geometry = geometry;
    Q_EMIT geometryChanged();
}

void NotchSurfaceModel::setLayout(const LayoutMetrics& layout)
{
    if (layout == m_layout)
        return;
    m_layout = layout;
    Q_EMIT layoutChanged();
}

void NotchSurfaceModel::setTheme(const NotchTheme& theme)
{
    if (theme == m_theme)
        return;
    m_theme = theme;
    Q_EMIT themeChanged();
}

void NotchSurfaceModel::setSurface(const Presentation::Surface& surface)
{
    if (surface == m_surface)
        return;
    m_surface = surface;
    Q_EMIT surfaceChanged();
}

void NotchSurfaceModel::incrementContentRevision()
{
    ++m_contentRevision;
    Q_EMIT contentRevisionChanged();
}

NotchShape NotchSurfaceModel::shape() const
{
    if (isExpanded())
        return { m_layout.expandedTopRadius, m_layout.expandedBottomRadius };
    return { m_layout.collapsedTopRadius, m_layout.collapsedBottomRadius };
}

QSizeF NotchSurfaceModel::bodySize(const Presentation::Surface& surface) const
{
    const QRectF anchor = m_geometry.anchorRect();
    // A screen narrower than the surface gets it narrowed, flares included, rather than cut off.
    const auto fitted = [&](QSizeF size, double topRadius) {
        const double room = m_geometry.metrics().frame.width() - NotchShape::outerInset(topRadius);
        return QSizeF(room < size.width() ? std::max(room, 0.0) : size.width(), size.height());
    };
    switch (surface.kind()) {
    case Presentation::Surface::Kind::activity:
    case Presentation::Surface::Kind::resident:
        return fitted(
            { anchor.width() + m_layout.activityExtraWidth, std::max(anchor.height(), m_layout.activityHeight) },
            m_layout.collapsedTopRadius);
    case Presentation::Surface::Kind::expanded:
        return fitted({ m_layout.expandedWidth, m_layout.expandedHeight }, m_layout.expandedTopRadius);
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

SurfaceContext NotchSurfaceModel::context(const Presentation::Surface& surface) const
{
    const QRectF anchor = m_geometry.anchorRect();
    SurfaceContext context;
    context.size = bodySize(surface);
    context.notchHeight = anchor.height();
    context.notchWidth = anchor.width();
    return context;
}

} // namespace nimbra
