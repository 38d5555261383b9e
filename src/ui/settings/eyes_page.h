#pragma once

#include "core/eye_motion.h"

#include <QString>

class QVBoxLayout;

namespace nimbra {

class SettingsView;

// The eyes page: the eyes in the tray on or off, an animated preview of them in the style
// being edited, and every part of that style.
void eyesPage(SettingsView& view, QVBoxLayout& column);

// The value labels of the eyes page.
struct EyeTexts {
    // Below 10 s one decimal ("4.9 s"), else whole seconds ("12 s").
    static QString secondsLabel(double seconds);
    // Below 10 minutes two significant digits ("2.5 min", "0.25 min", "7 min"), else whole
    // minutes.
    static QString minutesLabel(double seconds);
    // The spread of the wait between blinks, or that it never varies.
    static QString blinkRangeDetail(const EyeStyle& style);
    // A value as a whole percentage of the upper end of its slider ("43%").
    static QString percentLabel(double value, double upper);
    // The diameter in whole pixels ("18 px").
    static QString sizeLabel(double diameter);
};

// The droop and sleep points, as the two minute sliders set them: falling asleep always comes
// at least a minute after starting to droop.
struct EyeMinutes {
    // Droops after `minutes` (15 s at least); a sleep point less than a minute later moves along.
    static EyeStyle drowsyAfter(EyeStyle style, double minutes);
    // Asleep after `minutes`, but never less than a minute after the droop point.
    static EyeStyle asleepAfter(EyeStyle style, double minutes);
};

} // namespace nimbra
