#include "core/notch_geometry.h"

#include "core/rect_math.h"

#include <algorithm>
#include <cmath>

namespace nimbra {

namespace {

double fitted(double value, ClosedRange<double> range, double fallback)
{
    return std::isnan(value) ? fallback : clamped(value, range);
}

} // namespace

NotchGeometry::NotchGeometry(const DisplayMetrics& metrics)
    : m_metrics(metrics)
{
    const QRectF& frame = metrics.frame;
    double x = 0;
    double width = 0;
    double height = 0;

    std::optional<double> gap;
    if (metrics.auxiliaryTopLeft && metrics.auxiliaryTopRight && metrics.safeAreaTop > 0
        && std::isfinite(metrics.safeAreaTop)) {
        gap = minX(*metrics.auxiliaryTopRight) - maxX(*metrics.auxiliaryTopLeft);
    }

    if (gap && *gap > 0 && std::isfinite(*gap)) {
        m_kind = Kind::hardware;
        x = maxX(*metrics.auxiliaryTopLeft);
        width = *gap;
        height = metrics.safeAreaTop;
    } else {
        m_kind = Kind::synthesized;
        height = menuBarHeight();
        if (!(height > 0) || !std::isfinite(height))
            height = fallbackHeight;
        width = clamped(frame.width() * synthesizedWidthFraction, synthesizedWidthRange);
        x = midX(frame) - width / 2;
    }
    m_anchorRect = QRectF(x, maxY(frame) - height, width, height);
}

double NotchGeometry::menuBarHeight() const
{
    return maxY(m_metrics.frame) - maxY(m_metrics.visibleFrame);
}

QRectF NotchGeometry::trackingRect(double slop) const
{
    if (!std::isfinite(slop))
        slop = 0;
    return QRectF(minX(m_anchorRect) - slop, minY(m_anchorRect) - slop, m_anchorRect.width() + 2 * slop,
        m_anchorRect.height() + slop);
}

QRectF NotchGeometry::expandedFrame(double width, double height) const
{
    const QRectF& frame = m_metrics.frame;
    // Unusable sizes become an empty frame rather than NaN geometry; an endless height reaches the bottom.
    if (std::isnan(width))
        width = 0;
    if (std::isnan(height) || height == -INFINITY)
        height = 0;
    else if (height == INFINITY)
        height = frame.height();

    const double w = std::min(width, frame.width());
    double x = midX(frame) - w / 2;
    x = std::max(x, minX(frame));
    x = std::min(x, maxX(frame) - w);
    return QRectF(x, maxY(frame) - height, w, height);
}

LayoutMetrics::LayoutMetrics(double expandedWidth, double expandedHeight, double activityExtraWidth,
    double activityHeight, double collapsedTopRadius, double collapsedBottomRadius, double expandedTopRadius,
    double expandedBottomRadius)
{
    const LayoutMetrics standard;
    this->expandedWidth = fitted(expandedWidth, expandedWidthRange, standard.expandedWidth);
    this->expandedHeight = fitted(expandedHeight, expandedHeightRange, standard.expandedHeight);
    this->activityExtraWidth = fitted(activityExtraWidth, activityExtraWidthRange, standard.activityExtraWidth);
    this->activityHeight = fitted(activityHeight, activityHeightRange, standard.activityHeight);
    this->collapsedTopRadius = fitted(collapsedTopRadius, topRadiusRange, standard.collapsedTopRadius);
    this->collapsedBottomRadius = fitted(collapsedBottomRadius, bottomRadiusRange, standard.collapsedBottomRadius);
    this->expandedTopRadius = fitted(expandedTopRadius, topRadiusRange, standard.expandedTopRadius);
    this->expandedBottomRadius = fitted(expandedBottomRadius, bottomRadiusRange, standard.expandedBottomRadius);
}

const LayoutMetrics& LayoutMetrics::defaults()
{
    static const LayoutMetrics metrics;
    return metrics;
}

QSizeF LayoutMetrics::panelSize(double notchWidth) const
{
    const double width
        = std::max(expandedWidth + 2 * expandedTopRadius, notchWidth + activityExtraWidth + 2 * collapsedTopRadius)
        + 40;
    return QSizeF(width, expandedHeight + 40);
}

DisplayKey DisplayKey::make(std::uint32_t displayID, const std::optional<QString>& uniqueID)
{
    if (uniqueID && !uniqueID->isEmpty())
        return DisplayKey(*uniqueID);
    return DisplayKey(QStringLiteral("display-") + QString::number(displayID));
}

} // namespace nimbra
