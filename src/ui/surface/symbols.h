#pragma once

#include <QColor>
#include <QFont>
#include <QString>

class QPainter;
class QRectF;

namespace nimbra::symbols {

// Views name their symbols as the design does ("music.note", "gearshape.fill",
// "battery.75percent", ...). One table maps each name to an icon of the freedesktop icon theme
// (Adwaita as the fallback theme), recoloured to the tint; names without a fitting icon, and
// any name whose icon the installed theme lacks, are drawn as a painted glyph instead.

// The icon-theme name a symbol is drawn with, or an empty string when it is painted.
QString iconName(const QString& symbol);

// Whether the table knows the symbol at all (unknown ones still draw a neutral dot).
bool isKnown(const QString& symbol);

// The square a symbol takes at a font size: symbols are laid out like a glyph of that size.
double side(double fontSize);

// Draws `symbol` centred in `box` as large as a glyph of `fontSize` pixels, in `tint`. The
// weight thickens painted glyphs the way a heavier font would.
void draw(QPainter& painter, const QString& symbol, const QRectF& box, double fontSize, const QColor& tint,
    QFont::Weight weight = QFont::Normal);

} // namespace nimbra::symbols
