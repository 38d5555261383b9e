#pragma once

#include "core/clamped.h"

#include <QHashFunctions>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

// All coordinates are global screen points with y growing upward: a screen's top edge is maxY(frame).
namespace nimbra {

// A screen's measurements, as the screen lookup reports them.
struct DisplayMetrics {
    // The whole screen.
    QRectF frame;
    // The screen less the menu bar and the dock.
    QRectF visibleFrame;
    // Height of a camera housing; 0 when there is none.
    double safeAreaTop = 0;
    // The usable menu-bar areas left and right of a camera housing, when the screen reports them.
    std::optional<QRectF> auxiliaryTopLeft;
    std::optional<QRectF> auxiliaryTopRight;

    bool operator==(const DisplayMetrics&) const = default;
};

// The notch rectangle every surface hangs from: the real gap beside a camera housing, or a
// plausible one synthesized under the menu bar.
class NotchGeometry {
public:
    enum class Kind { hardware, synthesized };

    static constexpr double synthesizedWidthFraction = 0.07;
    static constexpr ClosedRange<double> synthesizedWidthRange { 120, 170 };
    // Height of a synthesized notch on a screen whose menu bar is hidden.
    static constexpr double fallbackHeight = 24;

    explicit NotchGeometry(const DisplayMetrics& metrics);

    const DisplayMetrics& metrics() const { return m_metrics; }
    Kind kind() const { return m_kind; }
    // Its top edge lies on the screen's top edge.
    const QRectF& anchorRect() const { return m_anchorRect; }

    bool hasNotch() const { return m_kind == Kind::hardware; }
    // Not clamped: 0 when the menu bar is hidden.
    double menuBarHeight() const;
    // The anchor grown by `slop` left, right and downward; the top edge stays.
    QRectF trackingRect(double slop) const;
    // A surface of that size hanging from the top edge, centred on the screen but kept on it.
    QRectF expandedFrame(double width, double height) const;

    bool operator==(const NotchGeometry&) const = default;

private:
    DisplayMetrics m_metrics;
    Kind m_kind = Kind::synthesized;
    QRectF m_anchorRect;
};

// The user-adjustable sizes of the surfaces, in points.
struct LayoutMetrics {
    static constexpr ClosedRange<double> expandedWidthRange { 280, 620 };
    static constexpr ClosedRange<double> expandedHeightRange { 84, 260 };
    static constexpr ClosedRange<double> activityExtraWidthRange { 0, 180 };
    static constexpr ClosedRange<double> activityHeightRange { 44, 150 };
    // Both top radii.
    static constexpr ClosedRange<double> topRadiusRange { 0, 40 };
    // Both bottom radii.
    static constexpr ClosedRange<double> bottomRadiusRange { 0, 56 };

    // Width of the expanded surface.
    double expandedWidth = 360;
    // Height of the expanded surface.
    double expandedHeight = 124;
    // Width added to the notch width for an activity readout.
    double activityExtraWidth = 48;
    // Height of an activity readout.
    double activityHeight = 78;
    // Corner radii of the collapsed and activity shapes.
    double collapsedTopRadius = 6;
    double collapsedBottomRadius = 14;
    // Corner radii of the expanded shape.
    double expandedTopRadius = 18;
    double expandedBottomRadius = 26;

    LayoutMetrics() = default;
    // Clamps every value into its range; NaN takes the default. Assigning a field later stores it as given.
    LayoutMetrics(double expandedWidth, double expandedHeight, double activityExtraWidth, double activityHeight,
        double collapsedTopRadius, double collapsedBottomRadius, double expandedTopRadius, double expandedBottomRadius);

    static const LayoutMetrics& defaults();

    double activityWidth(double notchWidth) const { return notchWidth + activityExtraWidth; }
    // Large enough for the expanded shape and the activity shape, with room around both.
    QSizeF panelSize(double notchWidth) const;

    bool operator==(const LayoutMetrics&) const = default;
};

// A display's stable identity.
struct DisplayKey {
    QString rawValue;

    DisplayKey() = default;
    explicit DisplayKey(QString raw)
        : rawValue(std::move(raw))
    {
    }

    // The display's own unique id when it has one, else "display-" and its number in decimal.
    static DisplayKey make(std::uint32_t displayID, const std::optional<QString>& uniqueID);

    const QString& description() const { return rawValue; }
    bool operator==(const DisplayKey&) const = default;
};

inline size_t qHash(const DisplayKey& key, size_t seed = 0)
{
    return qHash(key.rawValue, seed);
}

} // namespace nimbra

template <> struct std::hash<nimbra::DisplayKey> {
    size_t operator()(const nimbra::DisplayKey& key) const noexcept { return qHash(key.rawValue); }
};
