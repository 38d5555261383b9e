#pragma once

#include <QString>

class QVBoxLayout;

namespace nimbra {

class SettingsView;

// The general page: appearance, clock face (with a sample of the clock glance), the displays
// that carry the notch, and opening at login.
void generalPage(SettingsView& view, QVBoxLayout& column);
// The hover page: how long the pointer must rest on the notch, and how still.
void hoverPage(SettingsView& view, QVBoxLayout& column);

// The texts the hover page shows for a setting.
struct HoverTexts {
    // "Instant" below 5 ms, else the delay in whole milliseconds ("100 ms").
    static QString delayLabel(double seconds);
    static QString delayCaption(double seconds);
    // "Strict" below 700, "Balanced" below 1300, else "Forgiving".
    static QString toleranceLabel(double pointsPerSecond);
};

} // namespace nimbra
