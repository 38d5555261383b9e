#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QString>

class QLabel;
class QStyle;
class QWidget;

// The look of the settings window: the Fusion style under an explicit light or dark palette,
// and the text styles its pages are written in. Sizes are device-independent pixels.
namespace nimbra::settings_style {

enum class TextStyle { title2, title3, body, callout, caption, caption2 };
// Secondary text takes the palette's placeholder role, so a change of palette recolours it.
enum class Tone { primary, secondary };

QFont font(TextStyle style, QFont::Weight weight = QFont::Normal);

// The window's palette for a light or a dark appearance.
QPalette palette(bool dark);
bool isDark(const QPalette& palette);
QColor secondary(const QPalette& palette);
QColor tertiary(const QPalette& palette);
QColor accent(const QPalette& palette);
// The green of something that works.
QColor positive(const QPalette& palette);
// `colour` at `opacity` over the window background, opaque.
QColor over(const QColor& colour, double opacity, const QColor& background);

QLabel* label(const QString& text, TextStyle style, Tone tone = Tone::primary, QFont::Weight weight = QFont::Normal,
    bool wraps = false);
// A thin horizontal rule in the separator colour.
QWidget* divider();

// The Fusion style, shared by every settings widget.
QStyle* fusion();
// Puts `root` and every widget below it on the Fusion style (a widget's style is not inherited).
void adoptStyle(QWidget* root);

} // namespace nimbra::settings_style
