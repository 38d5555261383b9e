#pragma once

#include <QColor>
#include <QRectF>

class QPainter;

namespace nimbra {

// The filled part of a capsule bar `width` wide at `fraction` (clamped to 0...1): never
// narrower than `minimum`, never wider than the bar (unless the bar is narrower than `minimum`).
double capsuleFillWidth(double fraction, double width, double minimum);

// A capsule bar: the `track` colour across the whole of `rect` and, from its leading edge, a
// fill `fillWidth` wide (none at 0) whose gradient runs from the tint at `fadedOpacity` to the
// full tint.
void paintCapsuleBar(QPainter& painter, const QRectF& rect, const QColor& track, double fillWidth, const QColor& tint,
    double fadedOpacity);

} // namespace nimbra
