#pragma once

#include <QPainterPath>
#include <QRectF>
#include <utility>

namespace nimbra {

// The outline of every notch surface: it hangs from the top edge of its rectangle, flares
// outward at the two top corners so it blends into the bar above, and rounds its bottom corners.
// Rectangles here are in view coordinates (y grows downward).
struct NotchShape {
    double topRadius = 0;
    double bottomRadius = 0;

    static const NotchShape collapsed;
    static const NotchShape expanded;

    // The extra width the two flares add to a body.
    static constexpr double outerInset(double topRadius) { return 2 * topRadius; }

    QPainterPath path(const QRectF& rect) const;

    // Both radii animate as one pair.
    std::pair<double, double> animatableData() const { return {topRadius, bottomRadius}; }
    void setAnimatableData(std::pair<double, double> data)
    {
        topRadius = data.first;
        bottomRadius = data.second;
    }

    bool operator==(const NotchShape&) const = default;
};

inline constexpr NotchShape NotchShape::collapsed { 6, 14 };
inline constexpr NotchShape NotchShape::expanded { 18, 26 };

// A shape drawn in a rectangle narrowed by `dx` on each side; a negative `dx` draws it wider, so
// content framed to a body can be clipped to the outline drawn around it with its flares.
struct OffsetShape {
    NotchShape base;
    double dx = 0;

    QPainterPath path(const QRectF& rect) const
    {
        return base.path(QRectF(rect.x() + dx, rect.y(), rect.width() - 2 * dx, rect.height()));
    }
};

} // namespace nimbra
