#include "ui/surface/capsule_bar.h"

#include "core/clamped.h"

#include <QLinearGradient>
#include <QPainter>
#include <algorithm>

namespace nimbra {

double capsuleFillWidth(double fraction, double width, double minimum)
{
    return std::min(std::max(clamped(fraction, 0.0, 1.0) * width, minimum), std::max(width, minimum));
}

void paintCapsuleBar(
    QPainter& p, const QRectF& rect, const QColor& track, double fillWidth, const QColor& tint, double fadedOpacity)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    const double radius = rect.height() / 2;
    p.setBrush(track);
    p.drawRoundedRect(rect, radius, radius);
    if (fillWidth > 0) {
        const QRectF fill(rect.left(), rect.top(), fillWidth, rect.height());
        QLinearGradient gradient(fill.topLeft(), fill.topRight());
        QColor faded = tint;
        faded.setAlphaF(float(clamped(tint.alphaF() * fadedOpacity, 0.0, 1.0)));
        gradient.setColorAt(0, faded);
        gradient.setColorAt(1, tint);
        p.setBrush(gradient);
        p.drawRoundedRect(fill, std::min(radius, fillWidth / 2), radius);
    }
    p.restore();
}

} // namespace nimbra
