#pragma once

#include "core/clamped.h"
#include "core/key_combo.h"
#include "ui/settings/settings_view.h"

#include <QString>

class QVBoxLayout;
class QWidget;

namespace nimbra {

// The clipboard page: the history switch, what it keeps and for how long, the hot key (with
// the shortcut recorder), and whether choosing an entry can paste it here.
void clipboardPage(SettingsView& view, QVBoxLayout& column);
// The shelf page: catching dropped files, and keeping them between runs.
void shelfPage(SettingsView& view, QVBoxLayout& column);
// The timers page: the chime and the lengths of a focus session.
void timersPage(SettingsView& view, QVBoxLayout& column);

// A row whose control is a number of minutes ("25 min") beside a stepper over `range`.
QWidget* minuteRow(SettingsView& view, const QString& title, Binding<int> minutes, ClosedRange<int> range);

// What the clipboard pages show.
struct ClipboardTexts {
    // The auto-close choices in seconds, and their titles ("Never", "After 5s", ...).
    static QString autoCloseTitle(int seconds);
    // "100 items".
    static QString historyLimitTitle(int items);
    // Whether choosing an entry pastes it (the X server lets Nimbra type), or only copies it.
    static QString pasteDetail(bool canPaste);
    // Under the shortcut while another program holds it.
    static QString hotKeyHeldElsewhere(const KeyCombo& combo);
};

} // namespace nimbra
