#include "ui/surface/notch_shape.h"

#include <algorithm>
#include <cmath>

namespace nimbra {

QPainterPath NotchShape::path(const QRectF& r) const
{
    QPainterPath p;
    if (!std::isfinite(r.x()) || !std::isfinite(r.y()) || !(r.width() > 0) || !(r.height() > 0)
        || !std::isfinite(r.width()) || !std::isfinite(r.height()))
        return p;
    // Radii are non-negative; a NaN radius draws as none.
    const double top = std::isnan(topRadius) ? 0 : std::max(0.0, topRadius);
    const double bottom = std::isnan(bottomRadius) ? 0 : std::max(0.0, bottomRadius);

    const double minX = r.x(), maxX = r.x() + r.width();
    const double minY = r.y(), maxY = r.y() + r.height();
    const double t = std::min({ top, r.width() / 2, r.height() });
    const double left = minX + t;
    const double right = maxX - t;
    const double b = std::min({ bottom, r.height() / 2, std::max(0.0, (right - left) / 2) });

    p.moveTo(minX, minY);
    p.quadTo(left, minY, left, minY + t);
    p.lineTo(left, maxY - b);
    p.quadTo(left, maxY, left + b, maxY);
    p.lineTo(right - b, maxY);
    p.quadTo(right, maxY, right, maxY - b);
    p.lineTo(right, minY + t);
    p.quadTo(right, minY, maxX, minY);
    p.closeSubpath();
    return p;
}

} // namespace nimbra
