#include "app/app_delegate.h"

#include "app/display_coordinator.h"
#include "core/nimbra_settings.h"
#include "modules/clipboard/global_hot_key.h"
#include "modules/level/system_level_monitor.h"
#include "platform/portal/appearance_portal.h"
#include "platform/x11/screens.h"
#include "ui/settings/settings_window_controller.h"

#include <QGuiApplication>
#include <QPointer>

namespace nimbra {

void AppDelegate::createSettingsWindow()
{
    if (m_settingsWindow)
        return;
    QPointer<AppDelegate> self(this);
    m_settingsWindow = std::make_unique<SettingsWindowController>(
        m_settings, [self] { return self && self->m_coordinator ? self->m_coordinator->summary() : QString(); },
        [self](bool on) {
            if (self)
                self->setLaunchAtLogin(on);
        },
        [self](bool on) {
            if (!self)
                return false;
            if (on)
                return self->m_levels->startIntercepting();
            self->m_levels->stopIntercepting();
            return false;
        },
        [self] { return self && self->isAccessibilityGranted(); },
        [self] {
            if (self)
                self->requestAccessibility();
        },
        [] { return liveGeometry(); }, [self] { return self ? self->liveLevels() : LiveLevels {}; });
    m_settingsWindow->systemIsDark = [self] {
        if (!self)
            return false;
        return self->m_appearance ? self->m_appearance->isDark() : AppearancePortal::paletteIsDark();
    };
    m_settingsWindow->keyboardStatus = [self] { return self ? self->keyboardStatus() : KeyboardStatus {}; };
    m_settingsWindow->isShortcutHeldElsewhere
        = [self](const KeyCombo& combo) { return self && self->m_clipboardHotKey->wouldBeRefused(combo); };
    // The clipboard page says while another program holds the hot key.
    connect(m_clipboardHotKey.get(), &GlobalHotKey::bindingChanged, this, [self] {
        if (self && !self->m_terminated && self->m_settingsWindow)
            self->m_settingsWindow->keyboardChanged();
    });
    m_settingsWindow->checkForUpdates = [self] {
        if (self)
            self->checkForUpdates();
    };
    m_settingsWindow->updatesUnavailable = [self] { return self ? self->updatesUnavailable() : QString(); };
}

void AppDelegate::showSettings()
{
    if (m_settingsWindow)
        m_settingsWindow->show();
}

std::optional<NotchGeometry> AppDelegate::liveGeometry()
{
    QScreen* screen = nimbraMainDisplay();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return std::nullopt;
    return nimbraGeometry(screen);
}

LiveLevels AppDelegate::liveLevels() const
{
    // Every reading there is, also one that cannot be changed here: the Sound page shows it as
    // unavailable, with its value.
    return LiveLevels { m_levels->read(SystemLevel::Kind::volume), m_levels->read(SystemLevel::Kind::brightness) };
}

} // namespace nimbra
