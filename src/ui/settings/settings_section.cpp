#include "ui/settings/settings_section.h"

#include <QtGlobal>

namespace nimbra {

QString rawValue(SettingsSection section)
{
    switch (section) {
    case SettingsSection::general:
        return QStringLiteral("general");
    case SettingsSection::hover:
        return QStringLiteral("hover");
    case SettingsSection::notch:
        return QStringLiteral("notch");
    case SettingsSection::music:
        return QStringLiteral("music");
    case SettingsSection::system:
        return QStringLiteral("system");
    case SettingsSection::battery:
        return QStringLiteral("battery");
    case SettingsSection::clipboard:
        return QStringLiteral("clipboard");
    case SettingsSection::shelf:
        return QStringLiteral("shelf");
    case SettingsSection::timers:
        return QStringLiteral("timers");
    case SettingsSection::eyes:
        return QStringLiteral("eyes");
    case SettingsSection::priority:
        return QStringLiteral("priority");
    case SettingsSection::about:
        return QStringLiteral("about");
    }
    return {};
}

std::optional<SettingsSection> settingsSectionFromRawValue(QStringView raw)
{
    for (const SettingsSection section : kSettingsSections) {
        if (rawValue(section) == raw)
            return section;
    }
    return std::nullopt;
}

QString title(SettingsSection section)
{
    if (section == SettingsSection::system)
        return QStringLiteral("Sound");
    QString name = rawValue(section);
    name[0] = name[0].toUpper();
    return name;
}

QString symbol(SettingsSection section)
{
    switch (section) {
    case SettingsSection::general:
        return QStringLiteral("gearshape");
    case SettingsSection::hover:
        return QStringLiteral("cursorarrow.rays");
    case SettingsSection::notch:
        return QStringLiteral("rectangle.topthird.inset.filled");
    case SettingsSection::music:
        return QStringLiteral("music.note");
    case SettingsSection::system:
        return QStringLiteral("speaker.wave.2");
    case SettingsSection::battery:
        return QStringLiteral("battery.75percent");
    case SettingsSection::clipboard:
        return QStringLiteral("doc.on.clipboard");
    case SettingsSection::shelf:
        return QStringLiteral("tray.full");
    case SettingsSection::timers:
        return QStringLiteral("stopwatch");
    case SettingsSection::eyes:
        return QStringLiteral("eye");
    case SettingsSection::priority:
        return QStringLiteral("list.number");
    case SettingsSection::about:
        return QStringLiteral("info.circle");
    }
    return {};
}

SettingsSection startSection(const QString& environmentValue)
{
    return settingsSectionFromRawValue(environmentValue).value_or(SettingsSection::general);
}

SettingsSection startSection()
{
    return startSection(qEnvironmentVariable("NIMBRA_SETTINGS_PAGE"));
}

} // namespace nimbra
