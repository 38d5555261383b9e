#include "app/app_delegate.h"

#include "app/display_coordinator.h"
#include "core/nimbra_settings.h"
#include "modules/clipboard/clipboard_monitor.h"
#include "modules/clipboard/global_hot_key.h"
#include "modules/level/system_level_monitor.h"
#include "modules/power/power_monitor.h"
#include "modules/shell/glance.h"
#include "platform/portal/appearance_portal.h"
#include "ui/onboarding/onboarding_window_controller.h"
#include "ui/settings/settings_window_controller.h"

#include <QPointer>

namespace nimbra {

void AppDelegate::applySettings()
{
    if (!m_coordinator || m_terminated)
        return;
    ++m_settingsApplications;
    // The order matters where two steps touch the same thing (the focus, last).
    // 1. The clipboard; 2. the eyes.
    applyClipboardSettings();
    applyEyeSettings();
    // 3–5. Hover tuning, sizes and theme of every notch.
    m_coordinator->setHoverConfiguration(m_settings.hoverConfiguration());
    m_coordinator->setLayout(m_settings.layout());
    m_coordinator->setTheme(currentTheme());
    // 6. The low-battery levels.
    m_power->lowLevels = m_settings.lowBatteryLevels();
    // 7. Which displays show the notch.
    m_coordinator->setBuiltInOnly(!m_settings.showOnAllDisplays());
    // 8. The settings window's appearance, and onboarding's.
    if (m_settingsWindow)
        m_settingsWindow->applyAppearanceNow();
    if (m_onboarding)
        m_onboarding->setDark(currentTheme().isDark);
    // 9. The media keys.
    if (m_settings.hudReplacement())
        m_levels->startIntercepting();
    else
        m_levels->stopIntercepting();
    // 10. Now playing on or off, then resident, focus and artwork for the player's track.
    applyNowPlayingSettings();
    updateResident();
    // 11. The glance focus replaces any focus that step 10 set.
    m_coordinator->setFocus(m_settings.glanceEnabled() ? std::optional(Glance::moduleID) : std::nullopt);
}

void AppDelegate::applyClipboardSettings()
{
    m_clipboard->setLimits(m_settings.clipboardLimits());
    m_clipboard->keepsImages = m_settings.clipboardKeepsImages();
    m_coordinator->setAutoCloseAfter(double(m_settings.clipboardAutoCloseSeconds()));
    if (m_settings.clipboardEnabled()) {
        m_clipboard->start(0.5);
        const KeyCombo combo = m_settings.clipboardHotKey();
        if (m_hotKeyCombo != combo) {
            m_hotKeyCombo = combo;
            QPointer<AppDelegate> self(this);
            m_clipboardHotKey->bind(combo, [self] {
                if (self)
                    self->openClipboard();
            });
        }
    } else {
        m_clipboard->stop();
        m_clipboardHotKey->unbind();
        m_hotKeyCombo.reset();
        // Clears the unpinned entries and reports the change.
        m_clipboard->clear();
    }
    // The focus timer's lengths; a running phase keeps its own until the next.
    m_timers.pomodoro.setConfiguration(m_settings.pomodoroConfiguration());
}

NotchTheme AppDelegate::currentTheme() const
{
    // The desktop is asked only when the appearance follows it.
    const bool desktopDark = m_settings.appearance() == Appearance::system
        && (m_appearance ? m_appearance->isDark() : AppearancePortal::paletteIsDark());
    return NotchTheme { isDark(m_settings.appearance(), desktopDark), m_settings.clockFont() };
}

} // namespace nimbra
