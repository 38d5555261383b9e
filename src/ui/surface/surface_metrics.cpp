#include "ui/surface/surface_metrics.h"

#include "core/clamped.h"

#include <algorithm>
#include <cmath>

namespace nimbra {

std::optional<SurfaceMetrics::Detail> SurfaceMetrics::detailFromRawValue(int raw)
{
    switch (raw) {
    case 0:
        return Detail::minimal;
    case 1:
        return Detail::standard;
    case 2:
        return Detail::rich;
    default:
        return std::nullopt;
    }
}

SurfaceMetrics::SurfaceMetrics(QSizeF size, double notchHeight, double notchWidth)
    : m_size(size)
    , m_notchHeight(notchHeight)
    , m_notchWidth(notchWidth)
{
}

double SurfaceMetrics::contentHeight() const
{
    return std::max(m_size.height() - m_notchHeight, 0.0);
}

double SurfaceMetrics::stripWidth() const
{
    return std::max((m_size.width() - m_notchWidth) * 0.5, 0.0);
}

double SurfaceMetrics::scale() const
{
    double r = std::min(m_size.width() / reference.width(), contentHeight() / referenceContentHeight);
    // NaN from a broken size lands on the floor too.
    r = std::isnan(r) ? 0.01 : std::max(r, 0.01);
    // Damped growth: twice the reference scales by about 1.8, not 2.
    return clamped(std::pow(r, 0.85), 0.8, 2.2);
}

double SurfaceMetrics::sidePadding() const
{
    return clamped(m_size.width() * 0.055, 10.0, 40.0);
}

SurfaceMetrics::Detail SurfaceMetrics::detail() const
{
    const double band = m_size.height() - m_notchHeight;
    if (!(band >= 66))
        return Detail::minimal;
    return band < 118 ? Detail::standard : Detail::rich;
}

double SurfaceMetrics::navPitch(int count) const
{
    if (count < 1)
        return 0;
    const double per = (stripWidth() - 14) / count;
    // A button never grows wider than 34 reference points.
    const double cap = 34 * scale();
    return clamped(per, 0.0, cap);
}

double SurfaceMetrics::scaled(double base) const
{
    return std::round(base * scale());
}

} // namespace nimbra
