#pragma once

#include <QString>
#include <QStringView>
#include <array>
#include <optional>

namespace nimbra {

// The pages of the settings window, in sidebar order. The raw value is the case name; it is
// also what NIMBRA_SETTINGS_PAGE names.
enum class SettingsSection {
    general,
    hover,
    notch,
    music,
    system,
    battery,
    clipboard,
    shelf,
    timers,
    eyes,
    priority,
    about
};

inline constexpr std::array<SettingsSection, 12> kSettingsSections
    = { SettingsSection::general, SettingsSection::hover, SettingsSection::notch, SettingsSection::music,
          SettingsSection::system, SettingsSection::battery, SettingsSection::clipboard, SettingsSection::shelf,
          SettingsSection::timers, SettingsSection::eyes, SettingsSection::priority, SettingsSection::about };

QString rawValue(SettingsSection section);
// Exactly one of the twelve raw values, letter case included; nothing else.
std::optional<SettingsSection> settingsSectionFromRawValue(QStringView raw);
// "Sound" for `system`; every other title is the raw value with a capital first letter.
QString title(SettingsSection section);
// The sidebar symbol.
QString symbol(SettingsSection section);

// The page shown first: the one NIMBRA_SETTINGS_PAGE names exactly, else `general`.
SettingsSection startSection(const QString& environmentValue);
SettingsSection startSection();

} // namespace nimbra
