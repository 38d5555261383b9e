#pragma once

#include <QSizeF>
#include <optional>

namespace nimbra {

// Scaling rules for every view that fills the notch surface. Views are designed against a
// 360 x 124 surface whose top 32 pt sit behind the notch; these rules turn the real size into
// the scale, paddings, detail level and tab pitch a view lays itself out with.
class SurfaceMetrics {
public:
    enum class Detail { minimal = 0, standard = 1, rich = 2 };
    static int rawValue(Detail detail) { return static_cast<int>(detail); }
    static std::optional<Detail> detailFromRawValue(int raw);

    static constexpr QSizeF reference { 360, 124 };
    static constexpr double referenceContentHeight = 92;

    SurfaceMetrics(QSizeF size, double notchHeight, double notchWidth);

    QSizeF size() const { return m_size; }
    double notchHeight() const { return m_notchHeight; }
    double notchWidth() const { return m_notchWidth; }

    double contentWidth() const { return m_size.width(); }
    // The height below the notch, never negative.
    double contentHeight() const;
    // The width of the menu-bar strip on each side of the notch, never negative.
    double stripWidth() const;
    // The common scale factor, 0.8 to 2.2.
    double scale() const;
    double sidePadding() const;
    Detail detail() const;
    bool isNarrow() const { return m_size.width() < 320; }
    // The width given to each of `count` tab buttons in one side strip.
    double navPitch(int count) const;

    // One computation under three names: a reference number scaled and rounded.
    double font(double base) const { return scaled(base); }
    double space(double base) const { return scaled(base); }
    double size(double base) const { return scaled(base); }

    bool operator==(const SurfaceMetrics&) const = default;

private:
    double scaled(double base) const;

    QSizeF m_size;
    double m_notchHeight;
    double m_notchWidth;
};

// What the surface view hands to the content builder for each surface: the body size and
// the notch rectangle's height and width.
struct SurfaceContext {
    QSizeF size;
    double notchHeight = 0;
    double notchWidth = 0;

    SurfaceMetrics metrics() const { return SurfaceMetrics(size, notchHeight, notchWidth); }
    bool operator==(const SurfaceContext&) const = default;
};

} // namespace nimbra
