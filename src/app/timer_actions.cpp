#include "app/app_delegate.h"

#include "app/display_coordinator.h"
#include "core/diagnostics.h"
#include "core/nimbra_settings.h"
#include "core/uptime.h"
#include "modules/timers/timer_resident_view.h"
#include "modules/timers/timer_surface_view.h"
#include "platform/canberra/chime.h"
#include "ui/surface/surface_metrics.h"

#include <QPointer>

namespace nimbra {

namespace {
constexpr double kFinishedDuration = 3.2;
// A finished timer outranks the charger readouts but not a low battery.
constexpr int kFinishedPriorityBonus = 2;
} // namespace

void AppDelegate::selectTimerMode(TimerMode mode)
{
    m_timers.mode = mode;
    if (m_coordinator)
        m_coordinator->refreshContent();
}

void AppDelegate::toggleTimer()
{
    m_timers.toggle(timerTime ? timerTime() : uptime());
    syncTimerClock();
}

void AppDelegate::timerSecondary()
{
    m_timers.secondary(timerTime ? timerTime() : uptime());
    syncTimerClock();
}

void AppDelegate::resetTimer()
{
    m_timers.reset();
    syncTimerClock();
}

void AppDelegate::adjustCountdown(double seconds)
{
    if (m_timers.adjustCountdown(seconds) && m_coordinator)
        m_coordinator->refreshContent();
}

void AppDelegate::syncTimerClock()
{
    if (m_timers.isRunning() && !m_terminated) {
        if (!m_timerClock.isActive())
            m_timerClock.start();
    } else {
        m_timerClock.stop();
    }
    if (!m_coordinator)
        return;
    m_coordinator->refreshContent();
    updateResident();
}

void AppDelegate::tickTimers()
{
    for (const TimerFinish& finish : m_timers.tick(timerTime ? timerTime() : uptime()))
        finished(finish);
    syncTimerClock();
}

void AppDelegate::finished(const TimerFinish& finish)
{
    Diagnostics::log(Diagnostics::Category::timer, [&] { return finish.title + QStringLiteral(" finished"); });
    if (m_settings.timerChimeEnabled())
        m_chime->play(finish.title);
    m_timers.finish = finish;
    const Activity activity { TimerResident::moduleID, m_router.nextToken(),
        m_settings.priority(ActivityCategory::battery) + kFinishedPriorityBonus, kFinishedDuration, std::nullopt };
    if (m_coordinator)
        m_coordinator->present(activity);
}

void AppDelegate::clearFinishedTimers()
{
    if (!m_timers.clearFinished())
        return;
    Diagnostics::log(Diagnostics::Category::timer, "finished timer cleared after being seen");
    syncTimerClock();
}

QWidget* AppDelegate::timerResidentView(const SurfaceMetrics& metrics)
{
    const double now = timerTime ? timerTime() : uptime();
    const TimerMode mode = m_timers.residentMode();
    const TimerUrgency urgency = m_timers.urgency(mode, now);
    // A finished countdown that has not been seen yet keeps announcing itself.
    if (m_timers.finish && urgency == TimerUrgency::finished)
        return new TimerFinishedView(*m_timers.finish, metrics);
    return new TimerResidentView(mode, m_timers.label(mode, now), m_timers.isRunning(mode), urgency, metrics);
}

QWidget* AppDelegate::timerSurface(const SurfaceMetrics& metrics)
{
    QPointer<AppDelegate> self(this);
    TimerSurfaceView::Callbacks callbacks;
    callbacks.onMode = [self](TimerMode mode) {
        if (self)
            self->selectTimerMode(mode);
    };
    callbacks.onPrimary = [self] {
        if (self)
            self->toggleTimer();
    };
    callbacks.onSecondary = [self] {
        if (self)
            self->timerSecondary();
    };
    callbacks.onReset = [self] {
        if (self)
            self->resetTimer();
    };
    callbacks.onAdjust = [self](double seconds) {
        if (self)
            self->adjustCountdown(seconds);
    };
    return new TimerSurfaceView(m_timers, metrics, std::move(callbacks));
}

} // namespace nimbra
