#pragma once

#include <QColor>
#include <QFont>
#include <QRectF>
#include <QString>
#include <initializer_list>

class QPainter;

// Drawing pieces the settings previews share.
namespace nimbra::preview_paint {

// The grey of a white level, at an opacity.
QColor grey(double white, double opacity = 1);
// The green of the charge samples.
QColor good(bool dark);
// A mock desktop: clips the painter to the rounded `area` (the clip stays) and fills it with a
// gradient from the top left to the bottom right through evenly spaced `stops`.
void backdrop(QPainter& p, const QRectF& area, double radius, std::initializer_list<QColor> stops);
// A short label on a capsule: the size it takes with its padding, and the drawing.
QSizeF capsuleSize(const QString& text, const QFont& font, double horizontalPadding, double verticalPadding);
void capsule(
    QPainter& p, const QRectF& box, const QString& text, const QFont& font, const QColor& fill, const QColor& ink);

} // namespace nimbra::preview_paint
