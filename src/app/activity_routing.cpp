#include "app/app_delegate.h"

#include "app/display_coordinator.h"
#include "core/nimbra_settings.h"
#include "core/uptime.h"
#include "modules/eyes/eye_tracker.h"
#include "modules/now_playing/now_playing_monitor.h"
#include "modules/timers/timer_resident_view.h"

namespace nimbra {

void AppDelegate::levelKeyChanged(const SystemLevel& level)
{
    if (const auto activity = m_router.levelKeyChanged(level, uptime()); activity && m_coordinator)
        m_coordinator->present(*activity);
}

void AppDelegate::levelObserved(const SystemLevel& level)
{
    if (const auto activity = m_router.levelObserved(level, uptime()); activity && m_coordinator)
        m_coordinator->present(*activity);
}

void AppDelegate::handleLevel(const SystemLevel& level, bool announce)
{
    if (const auto activity = m_router.handleLevel(level, announce); activity && m_coordinator)
        m_coordinator->present(*activity);
}

void AppDelegate::handlePower(const PowerSnapshot& snapshot, const std::optional<PowerSnapshot::Event>& event)
{
    // Every reading: the eyes look tired on battery below 21 %.
    m_eyes->setTired(snapshot.isLow());
    if (const auto activity = m_router.handlePower(snapshot, event); activity && m_coordinator)
        m_coordinator->present(*activity);
}

std::optional<ModuleID> AppDelegate::residentModule() const
{
    // The playing track holds the notch first when it may stay resident; otherwise an active
    // timer, running, paused or finished, keeps its readout.
    if (m_musicHoldsNotch && m_settings.nowPlayingEnabled() && m_settings.nowPlayingResident())
        return NowPlayingMonitor::moduleID;
    if (m_timers.isActive())
        return TimerResident::moduleID;
    return std::nullopt;
}

void AppDelegate::updateResident()
{
    if (m_coordinator)
        m_coordinator->setResident(residentModule());
}

} // namespace nimbra
