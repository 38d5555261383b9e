#include "app/app_delegate.h"

#include "app/display_coordinator.h"
#include "core/diagnostics.h"
#include "core/nimbra_settings.h"
#include "modules/timers/timer_resident_view.h"
#include "modules/timers/timer_surface_view.h"
#include "platform/canberra/chime.h"
#include "ui/surface/surface_metrics.h"

#include <QPointer>

namespace nimbra {

namespace {
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
    m_timers.toggle(clocks.withSleep());
    syncTimerClock();
}

void AppDelegate::timerSecondary()
{
    m_timers.secondary(clocks.withSleep());
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
    // Read on the clock that counts sleep: the first tick after a resume finishes a countdown
    // whose end passed while the machine slept.
    if (const QList<TimerFinish> ended = m_timers.tick(clocks.withSleep()); !ended.isEmpty())
        announce(ended);
    syncTimerClock();
}

void AppDelegate::announce(const QList<TimerFinish>& finishes)
{
    for (const TimerFinish& finish : finishes)
        Diagnostics::log(Diagnostics::Category::timer, [&] { return finish.title + QStringLiteral(" finished"); });
    if (m_settings.timerChimeEnabled())
        m_chime->play(finishes.first().title);
    m_timers.finish = finishes.last();
    // One readout, long enough for each announcement to have its turn: two readouts of one
    // kind would replace each other at once.
    const Activity activity { TimerResident::moduleID, m_router.nextToken(),
        m_settings.priority(ActivityCategory::battery) + kFinishedPriorityBonus,
        TimerFinishedView::eachFor * double(finishes.size()), std::nullopt };
    m_router.record(TimerPayload { finishes }, activity.token);
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
    const double now = clocks.withSleep();
    const TimerMode mode = m_timers.residentMode();
    const TimerUrgency urgency = m_timers.urgency(mode, now);
    // A finished countdown that has not been seen yet keeps announcing itself, in its own words
    // (a focus phase may have ended after it).
    if (m_timers.finish && urgency == TimerUrgency::finished)
        return new TimerFinishedView(TimerSet::countdownFinish(m_timers.countdown.duration), metrics);
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
    return new TimerSurfaceView(m_timers, metrics, std::move(callbacks), clocks);
}

} // namespace nimbra
