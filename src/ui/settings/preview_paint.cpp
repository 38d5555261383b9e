#include "ui/settings/preview_paint.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

namespace nimbra::preview_paint {

QColor grey(double white, double opacity)
{
    return QColor::fromRgbF(float(white), float(white), float(white), float(std::clamp(opacity, 0.0, 1.0)));
}

QColor good(bool dark)
{
    return dark ? QColor::fromRgbF(0.30f, 0.85f, 0.39f) : QColor::fromRgbF(0.13f, 0.62f, 0.24f);
}

void backdrop(QPainter& p, const QRectF& area, double radius, std::initializer_list<QColor> stops)
{
    QPainterPath clip;
    clip.addRoundedRect(area, radius, radius);
    p.setClipPath(clip);
    QLinearGradient gradient(area.topLeft(), area.bottomRight());
    const double last = std::max<double>(1, double(stops.size()) - 1);
    int index = 0;
    for (const QColor& stop : stops)
        gradient.setColorAt(index++ / last, stop);
    p.fillRect(area, gradient);
}

QSizeF capsuleSize(const QString& text, const QFont& font, double horizontalPadding, double verticalPadding)
{
    const QFontMetricsF metrics(font);
    return { metrics.horizontalAdvance(text) + 2 * horizontalPadding, metrics.height() + 2 * verticalPadding };
}

void capsule(
    QPainter& p, const QRectF& box, const QString& text, const QFont& font, const QColor& fill, const QColor& ink)
{
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(box, box.height() / 2, box.height() / 2);
    p.setFont(font);
    p.setPen(ink);
    p.drawText(box, Qt::AlignCenter, text);
}

} // namespace nimbra::preview_paint
