#include "app/app_delegate.h"

#include "app/display_coordinator.h"
#include "core/uptime.h"

namespace nimbra {

void AppDelegate::levelKeyChanged(const SystemLevel& level)
{
    if (const auto activity = router_.levelKeyChanged(level, uptime()); activity && coordinator_)
        coordinator_->present(*activity);
}

void AppDelegate::levelObserved(const SystemLevel& level)
{
    if (const auto activity = router_.levelObserved(level, uptime()); activity && coordinator_)
        coordinator_->present(*activity);
}

void AppDelegate::handleLevel(const SystemLevel& level, bool announce)
{
    if (const auto activity = router_.handleLevel(level, announce); activity && coordinator_)
        coordinator_->present(*activity);
}

std::optional<ModuleID> AppDelegate::residentModule() const
{
    // A running timer keeps its readout first; while none runs, the playing track holds the
    // notch when it may stay resident. Both join here with the timers and now playing.
    return std::nullopt;
}

void AppDelegate::updateResident()
{
    if (coordinator_)
        coordinator_->setResident(residentModule());
}

} // namespace nimbra
