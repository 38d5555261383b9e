#include "app/app_delegate.h"

#include "app/display_coordinator.h"
#include "core/nimbra_settings.h"
#include "modules/level/system_level_monitor.h"
#include "modules/shell/glance.h"
#include "platform/portal/appearance_portal.h"

namespace nimbra {

void AppDelegate::applySettings()
{
    if (!coordinator_ || terminated_)
        return;
    ++settingsApplications_;
    // The order matters where two steps touch the same thing (the focus, last).
    // 1. The clipboard; 2. the eyes (with the eye tracker and item).
    applyClipboardSettings();
    // 3–5. Hover tuning, sizes and theme of every notch.
    coordinator_->setHoverConfiguration(settings_.hoverConfiguration());
    coordinator_->setLayout(settings_.layout());
    coordinator_->setTheme(currentTheme());
    // 6. The low-battery levels (power monitor).
    // 7. Which displays show the notch.
    coordinator_->setBuiltInOnly(!settings_.showOnAllDisplays());
    // 8. The settings window's appearance (settings window).
    // 9. The media keys.
    if (settings_.hudReplacement())
        levels_->startIntercepting();
    else
        levels_->stopIntercepting();
    // 10. The resident module; the player's track re-evaluates resident and focus here too
    //     (now playing).
    updateResident();
    // 11. The glance focus replaces any focus that step 10 set.
    coordinator_->setFocus(settings_.glanceEnabled() ? std::optional(Glance::moduleID) : std::nullopt);
}

void AppDelegate::applyClipboardSettings()
{
    // The clipboard monitor's limits, poll and hot key join here.
    coordinator_->setAutoCloseAfter(double(settings_.clipboardAutoCloseSeconds()));
    // The pomodoro configuration (timers).
}

NotchTheme AppDelegate::currentTheme() const
{
    bool isDark = true;
    switch (settings_.appearance()) {
    case Appearance::system:
        isDark = appearance_ ? appearance_->isDark() : AppearancePortal::paletteIsDark();
        break;
    case Appearance::light:
        isDark = false;
        break;
    case Appearance::dark:
        isDark = true;
        break;
    }
    return NotchTheme { isDark, settings_.clockFont() };
}

} // namespace nimbra
