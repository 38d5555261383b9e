#include "app/settings_observation.h"

#include <QMetaObject>
#include <algorithm>
#include <array>

namespace nimbra {

namespace {
using P = NimbraSettings::Property;
// The settings pushed into components by the settings application, in the order they are read.
constexpr std::array<P, 28> observed = {
    P::hoverDwell,
    P::velocityCeiling,
    P::showOnAllDisplays,
    P::glanceEnabled,
    P::layout,
    P::appearance,
    P::clockFont,
    P::lowBatteryLevels,
    P::hudReplacement,
    P::nowPlayingEnabled,
    P::nowPlayingResident,
    P::nowPlayingActivity,
    P::activityOrder,
    P::brightnessNeedsKeyPress,
    P::clipboardEnabled,
    P::clipboardHistoryLimit,
    P::clipboardHotKey,
    P::clipboardAutoCloseSeconds,
    P::clipboardKeepsImages,
    P::shelfEnabled,
    P::shelfPersists,
    P::eyesEnabled,
    P::eyeStyle,
    P::timerChimeEnabled,
    P::pomodoroWorkMinutes,
    P::pomodoroBreakMinutes,
    P::pomodoroLongBreakMinutes,
    P::pomodoroCycles,
};
} // namespace

SettingsObservation::SettingsObservation(NimbraSettings& settings, QObject* parent)
    : QObject(parent)
{
    connect(&settings, &NimbraSettings::changed, this, &SettingsObservation::settingChanged);
}

std::span<const NimbraSettings::Property> SettingsObservation::observedProperties()
{
    return observed;
}

void SettingsObservation::observe()
{
    m_armed = true;
}

void SettingsObservation::settingChanged(NimbraSettings::Property property)
{
    if (!m_armed || std::find(observed.begin(), observed.end(), property) == observed.end())
        return;
    m_armed = false;
    QMetaObject::invokeMethod(this, &SettingsObservation::reapply, Qt::QueuedConnection);
}

void SettingsObservation::reapply()
{
    if (onChange)
        onChange();
    observe();
}

} // namespace nimbra
