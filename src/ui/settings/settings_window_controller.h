#pragma once

#include "core/notch_geometry.h"
#include "core/key_combo.h"
#include "ui/settings/keyboard_status.h"
#include "ui/settings/live_levels.h"

#include <QObject>
#include <QPointer>
#include <functional>
#include <optional>

class QWidget;

namespace nimbra {

class NimbraSettings;
class SettingsView;

// Owns the settings window. The window is built on the first show() and kept for the whole
// run; every show() puts a freshly built view into it (so the page, the draft layout and the
// snapshots below start over) and brings it to the front. Closing it only hides it: Nimbra
// runs on. Everything the pages need from the rest of the system arrives as the store and the
// closures the shell hands in once.
class SettingsWindowController : public QObject {
    Q_OBJECT
public:
    SettingsWindowController(NimbraSettings& settings, std::function<QString()> displaySummary,
        std::function<void(bool)> onLaunchAtLoginChange, std::function<bool(bool)> onHUDChange,
        std::function<bool()> isAccessibilityGranted, std::function<void()> onRequestAccessibility,
        std::function<std::optional<NotchGeometry>()> liveGeometry, std::function<LiveLevels()> liveLevels,
        QObject* parent = nullptr);
    ~SettingsWindowController() override;

    static constexpr int width = 760;
    static constexpr int height = 540;

    // Builds or refreshes the window and presents it: raised, activated and in front.
    void show();
    // Re-applies the appearance setting to the window when there is one.
    void applyAppearanceNow();

    // Whether the desktop draws windows dark right now, for the "system" appearance; the shell
    // sets it (the desktop portal's colour scheme), and calls applyAppearanceNow() when it turns.
    std::function<bool()> systemIsDark;
    // Checks for a newer version at once and answers whatever it finds (the about page's
    // "Check Now…"); the shell sets it. Without it the about page offers no such button.
    std::function<void()> checkForUpdates;
    // Why updates cannot be checked (the about page then disables its update controls and says
    // so); empty, or unset, when they can.
    std::function<QString()> updatesUnavailable;
    // What Nimbra holds of the keyboard, and whether another program holds a combination (the
    // shortcut recorder's check); the shell sets them, and calls keyboardChanged() when what
    // it holds changed.
    std::function<KeyboardStatus()> keyboardStatus;
    std::function<bool(const KeyCombo&)> isShortcutHeldElsewhere;
    void keyboardChanged();

    QWidget* window() const { return m_window; }
    SettingsView* view() const;
    // Views built so far (one per show()).
    int viewsBuilt() const { return m_viewsBuilt; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    SettingsView* makeView();

    NimbraSettings& m_settings;
    std::function<QString()> m_displaySummary;
    std::function<void(bool)> m_onLaunchAtLoginChange;
    std::function<bool(bool)> m_onHUDChange;
    std::function<bool()> m_isAccessibilityGranted;
    std::function<void()> m_onRequestAccessibility;
    std::function<std::optional<NotchGeometry>()> m_liveGeometry;
    std::function<LiveLevels()> m_liveLevels;
    QPointer<QWidget> m_window;
    QPointer<SettingsView> m_view;
    int m_viewsBuilt = 0;
    // When the last show() was asked for, until its first frame is on the screen; < 0 after.
    double m_requestedAt = -1;
};

} // namespace nimbra
