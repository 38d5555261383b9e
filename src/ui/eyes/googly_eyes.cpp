#include "ui/eyes/googly_eyes.h"

#include "ui/eyes/eye_colors.h"

#include <QPainter>
#include <algorithm>
#include <cmath>
#include <numbers>

namespace nimbra {

namespace {

constexpr double pupilRatio = 0.46;
constexpr double rimRatio = 0.05;
constexpr double rimAlpha = 0.22;

} // namespace

std::pair<QPointF, QPointF> GooglyEyes::eyeCentres(QPointF centre) const
{
    const double offset = gap / 2 + diameter / 2;
    return { centre - QPointF(offset, 0), centre + QPointF(offset, 0) };
}

double GooglyEyes::rimWidth() const
{
    return std::max(rimRatio * diameter, minimumRim);
}

bool GooglyEyes::pupilFits(QPointF pupil) const
{
    return std::hypot(pupil.x(), pupil.y()) + pupilRatio * diameter / 2 <= diameter / 2;
}

void GooglyEyes::paint(QPainter& painter, QPointF centre) const
{
    const auto [left, right] = eyeCentres(centre);
    paintEye(painter, left, frame.leftPupil, frame.lidLeft);
    paintEye(painter, right, frame.rightPupil, frame.lidRight);
}

void GooglyEyes::paintEye(QPainter& painter, QPointF centre, QPointF pupil, double lid) const
{
    const double r = diameter / 2;
    const QRectF eye(centre.x() - r, centre.y() - r, diameter, diameter);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    // No clip: the pupil stays inside the eye (its travel leaves it within the rim), and the
    // lid is drawn as the circle's segment above its edge. A clip path would cost every frame.
    painter.setPen(Qt::NoPen);
    painter.setBrush(scleraColor(style, frame.tired));
    painter.drawEllipse(eye);

    const double p = pupilRatio * diameter;
    // Offsets grow upwards; the painter's y grows downwards.
    const QPointF pupilCentre = centre + QPointF(pupil.x(), -pupil.y());
    painter.setBrush(pupilColor(style));
    painter.drawEllipse(pupilCentre, p / 2, p / 2);

    if (lid > lidThreshold) {
        // The lid's edge lies (r − closure × d) above the centre; the segment above it spans
        // the angles whose sine reaches that height.
        const double edge = std::clamp((r - std::min(lid, 1.0) * diameter) / r, -1.0, 1.0);
        const double from = std::asin(edge) * 180 / std::numbers::pi;
        painter.setBrush(Qt::black);
        if (edge <= -1.0)
            painter.drawEllipse(eye);
        else
            painter.drawChord(eye, int(std::lround(from * 16)), int(std::lround((180 - 2 * from) * 16)));
    }

    // The rim lies inside the circle, over the lid as the outline of the eye.
    const double rim = rimWidth();
    QColor rimColor(Qt::black);
    rimColor.setAlphaF(float(rimAlpha));
    painter.setPen(QPen(rimColor, rim));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(centre, r - rim / 2, r - rim / 2);
    painter.restore();
}

EyesItemLayout EyesItemLayout::forStyle(const EyeStyle& style)
{
    EyesItemLayout layout;
    layout.diameter = clamped(style.diameter, EyeStyle::diameterRange);
    layout.gap = std::clamp(0.6 * layout.diameter * style.separation, 1.0, 10.0);
    return layout;
}

EyesItemLayout EyesItemLayout::fitted(double side) const
{
    const double k = side / width();
    return { diameter * k, gap * k, margin * k };
}

std::pair<QPointF, QPointF> EyesItemLayout::centres(const QRectF& rect) const
{
    const double r = diameter / 2;
    const double y = rect.center().y();
    return { QPointF(rect.left() + margin + r, y), QPointF(rect.right() - margin - r, y) };
}

GooglyEyes EyesItemLayout::eyes(const EyeStyle& style, const EyesFrame& frame) const
{
    GooglyEyes eyes;
    eyes.style = style;
    eyes.diameter = diameter;
    eyes.gap = gap;
    eyes.frame = frame;
    // Half a pixel is the thinnest rim that still shows at the tray's small sizes.
    eyes.minimumRim = 0.5;
    eyes.lidThreshold = 0.01;
    return eyes;
}

} // namespace nimbra
