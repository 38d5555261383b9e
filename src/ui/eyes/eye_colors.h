#pragma once

#include <QColor>
#include <QString>
#include <QStringView>

namespace nimbra {

struct EyeStyle;

// Eye colours are stored as six hexadecimal digits RRGGBB without "#", upper case.

// Reads a stored colour leniently: spaces and tabs around it and one leading "#" are ignored,
// upper or lower case; anything that is not six hexadecimal digits gives `fallback`.
QColor colorFromHex(QStringView hex, const QColor& fallback);
// The colour as it is stored, each component clamped to 0…255 (white for an invalid colour).
QString nimbraHex(const QColor& color);

// The colours the eyes are drawn in: a tired eye is pale pink whatever the style says; an
// unreadable sclera is white, an unreadable pupil black.
QColor scleraColor(const EyeStyle& style, bool tired);
QColor pupilColor(const EyeStyle& style);

} // namespace nimbra
