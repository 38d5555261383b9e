#pragma once

#include "core/appearance.h"

#include <QColor>
#include <QFont>
#include <QMetaType>
#include <QPointF>
#include <QString>

class QPainter;
class QWidget;

namespace nimbra {

// How a font is drawn: the desktop's sans family, or one of the clock families.
enum class FontDesign { standard, rounded, serif, monospaced };

// The desktop's default sans family at `pixelSize` (points of the notch surface are logical
// pixels), with the weight and design asked for; a design the machine has no family for
// falls back to the default family.
QFont systemFont(double pixelSize, QFont::Weight weight = QFont::Normal, FontDesign design = FontDesign::standard);

// The clock face a clock-font choice stands for, at `size`.
QFont font(ClockFont clockFont, double size);

// One line of text fitted into a width: the font shrinks down to `minimumScale` of its size,
// and whatever still does not fit is cut at the tail with an ellipsis.
struct FittedText {
    QString text;
    QFont font;
    double width = 0;
    double ascent = 0;
    double lineHeight = 0;
    double height() const { return lineHeight; }
};
FittedText fitText(const QString& text, const QFont& font, double maxWidth, double minimumScale);
// The pixel density a painter really draws at: a widget rendered into a 2x image paints on a
// widget device that reports 1, while its engine's target reports 2.
double paintPixelRatio(const QPainter& painter);

// Draws a fitted line with its top-left corner at `topLeft`.
void drawFitted(QPainter& painter, const FittedText& line, QPointF topLeft, const QColor& colour);

// Palette and clock font of the notch surfaces: black on a dark appearance, near-white on a
// light one. Views colour themselves only through these members.
struct NotchTheme {
    bool isDark = true;
    ClockFont clockFont = ClockFont::lockScreen;

    // The theme before any setting is applied.
    static NotchTheme dark() { return NotchTheme { true, ClockFont::lockScreen }; }

    QColor primaryText() const;
    QColor secondaryText(double opacity) const;
    // Fill of the notch outline.
    QColor surface() const;
    // Background of inset elements (tracks, wells, chips) at a caller-given strength.
    QColor well(double opacity) const;
    QColor separator() const;
    QColor good() const;
    QColor bad() const;
    QColor accent() const;

    QFont clock(double size) const { return font(clockFont, size); }
    // Extra letter spacing of the clock, in points.
    double clockTracking() const { return clockFont == ClockFont::lockScreen ? 1.5 : 0; }

    bool operator==(const NotchTheme&) const = default;
};

// The theme is handed down the widget tree like an inherited setting: a host sets it once and
// every view below reads it from its nearest ancestor that has one (NotchTheme::dark() when
// none has). Setting an equal theme again changes nothing and repaints nothing.
void setNotchTheme(QWidget* host, const NotchTheme& theme);
NotchTheme notchTheme(const QWidget* view);

} // namespace nimbra

Q_DECLARE_METATYPE(nimbra::NotchTheme)
