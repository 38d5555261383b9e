#include "core/timers.h"

#include "core/clamped.h"

#include <algorithm>
#include <cmath>

namespace nimbra {

namespace {

// Time run since `startedAt`. A non-finite span (a broken clock value) counts as no time
// so that it never reaches a stored total.
double runSince(const std::optional<double>& startedAt, double now)
{
    if (!startedAt)
        return 0;
    const double span = now - *startedAt;
    return std::isfinite(span) ? span : 0;
}

// Whole seconds of a display value. Non-finite values read as 0; the cap keeps the integer
// conversion defined for absurd inputs (it is far beyond any real timer).
qint64 wholeSeconds(double seconds)
{
    constexpr double cap = 1e12;
    if (!std::isfinite(seconds) || seconds < 0)
        return 0;
    return static_cast<qint64>(std::min(std::floor(seconds), cap));
}

QString hoursMinutesSeconds(qint64 s)
{
    return QString::asprintf("%lld:%02d:%02d", s / 3600, int(s % 3600 / 60), int(s % 60));
}

} // namespace

// MARK: Stopwatch

double Stopwatch::elapsed(double now) const
{
    return state == State::running ? banked + runSince(startedAt, now) : banked;
}

void Stopwatch::start(double now)
{
    if (state == State::running)
        return;
    startedAt = now;
    state = State::running;
}

void Stopwatch::pause(double now)
{
    if (state != State::running)
        return;
    banked += runSince(startedAt, now);
    startedAt.reset();
    state = State::paused;
}

void Stopwatch::toggle(double now)
{
    if (state == State::running)
        pause(now);
    else
        start(now);
}

void Stopwatch::reset()
{
    *this = Stopwatch();
}

void Stopwatch::lap(double now)
{
    if (state == State::running)
        laps.append(elapsed(now));
}

QList<Stopwatch::LapInterval> Stopwatch::lapIntervals() const
{
    QList<LapInterval> intervals;
    intervals.reserve(laps.size());
    double previous = 0;
    for (qsizetype i = 0; i < laps.size(); ++i) {
        intervals.append({ int(i + 1), laps[i] - previous, laps[i] });
        previous = laps[i];
    }
    std::reverse(intervals.begin(), intervals.end());
    return intervals;
}

template <> std::optional<Stopwatch::State> fromRawValue<Stopwatch::State>(QStringView raw)
{
    using State = Stopwatch::State;
    for (State state : { State::idle, State::running, State::paused })
        if (rawValue(state) == raw)
            return state;
    return std::nullopt;
}

QString rawValue(Stopwatch::State state)
{
    switch (state) {
    case Stopwatch::State::idle:
        return QStringLiteral("idle");
    case Stopwatch::State::running:
        return QStringLiteral("running");
    case Stopwatch::State::paused:
        return QStringLiteral("paused");
    }
    return {};
}

// MARK: Countdown

double Countdown::consumed(double now) const
{
    return state == State::running ? banked + runSince(startedAt, now) : banked;
}

double Countdown::remaining(double now) const
{
    const double left = duration - consumed(now);
    return left > 0 ? left : 0; // NaN reads as nothing left
}

bool Countdown::hasFinished(double now) const
{
    switch (state) {
    case State::finished:
        return true;
    case State::running:
        return remaining(now) <= 0;
    case State::idle:
    case State::paused:
        return false;
    }
    return false;
}

double Countdown::progress() const
{
    if (!(duration > 0))
        return 0;
    return clamped(banked / duration, 0.0, 1.0);
}

double Countdown::progress(double now) const
{
    if (!(duration > 0))
        return 0;
    return clamped(consumed(now) / duration, 0.0, 1.0);
}

void Countdown::start(double now)
{
    if (state == State::running)
        return;
    if (state == State::finished)
        banked = 0;
    startedAt = now;
    state = State::running;
}

void Countdown::pause(double now)
{
    if (state != State::running)
        return;
    banked += runSince(startedAt, now);
    startedAt.reset();
    state = State::paused;
}

void Countdown::toggle(double now)
{
    switch (state) {
    case State::finished:
        banked = 0;
        start(now);
        break;
    case State::running:
        pause(now);
        break;
    case State::idle:
    case State::paused:
        start(now);
        break;
    }
}

void Countdown::reset()
{
    state = State::idle;
    banked = 0;
    startedAt.reset();
}

bool Countdown::settle(double now)
{
    if (state != State::running || !(consumed(now) >= duration))
        return false;
    state = State::finished;
    banked = duration;
    startedAt.reset();
    return true;
}

template <> std::optional<Countdown::State> fromRawValue<Countdown::State>(QStringView raw)
{
    using State = Countdown::State;
    for (State state : { State::idle, State::running, State::paused, State::finished })
        if (rawValue(state) == raw)
            return state;
    return std::nullopt;
}

QString rawValue(Countdown::State state)
{
    switch (state) {
    case Countdown::State::idle:
        return QStringLiteral("idle");
    case Countdown::State::running:
        return QStringLiteral("running");
    case Countdown::State::paused:
        return QStringLiteral("paused");
    case Countdown::State::finished:
        return QStringLiteral("finished");
    }
    return {};
}

// MARK: Pomodoro

double Pomodoro::Configuration::duration(Phase phase) const
{
    switch (phase) {
    case Phase::work:
        return work;
    case Phase::shortBreak:
        return shortBreak;
    case Phase::longBreak:
        return longBreak;
    }
    return work;
}

Pomodoro::Pomodoro()
    : Pomodoro(Configuration())
{
}

Pomodoro::Pomodoro(const Configuration& configuration)
    : timer(configuration.work)
    , m_configuration(configuration)
{
}

void Pomodoro::setConfiguration(const Configuration& configuration)
{
    const bool changed = configuration != m_configuration;
    m_configuration = configuration;
    if (changed && timer.state == Countdown::State::idle)
        timer = Countdown(m_configuration.duration(phase));
}

void Pomodoro::reset()
{
    phase = Phase::work;
    completedWorkBlocks = 0;
    timer = Countdown(m_configuration.work);
}

std::optional<Pomodoro::Phase> Pomodoro::settle(double now)
{
    if (!timer.settle(now))
        return std::nullopt;
    const Phase ended = phase;
    advance(now, true);
    return ended;
}

void Pomodoro::skip(double now)
{
    advance(now, false);
}

void Pomodoro::advance(double now, bool autostart)
{
    if (phase == Phase::work) {
        completedWorkBlocks += 1;
        const int cycles = std::max(m_configuration.cyclesBeforeLongBreak, 1);
        phase = completedWorkBlocks % cycles == 0 ? Phase::longBreak : Phase::shortBreak;
    } else {
        phase = Phase::work;
    }
    timer = Countdown(m_configuration.duration(phase));
    if (autostart)
        timer.start(now);
}

template <> std::optional<Pomodoro::Phase> fromRawValue<Pomodoro::Phase>(QStringView raw)
{
    for (Pomodoro::Phase phase : kPomodoroPhases)
        if (rawValue(phase) == raw)
            return phase;
    return std::nullopt;
}

QString rawValue(Pomodoro::Phase phase)
{
    switch (phase) {
    case Pomodoro::Phase::work:
        return QStringLiteral("work");
    case Pomodoro::Phase::shortBreak:
        return QStringLiteral("shortBreak");
    case Pomodoro::Phase::longBreak:
        return QStringLiteral("longBreak");
    }
    return {};
}

QString title(Pomodoro::Phase phase)
{
    switch (phase) {
    case Pomodoro::Phase::work:
        return QStringLiteral("Focus");
    case Pomodoro::Phase::shortBreak:
        return QStringLiteral("Break");
    case Pomodoro::Phase::longBreak:
        return QStringLiteral("Long break");
    }
    return {};
}

// MARK: Formats

QString TimerFormat::stopwatch(double seconds)
{
    const double t = std::isfinite(seconds) ? std::max(seconds, 0.0) : 0.0;
    const qint64 s = wholeSeconds(t);
    if (s >= 3600)
        return hoursMinutesSeconds(s);
    const int tenths = int((t - std::floor(t)) * 10);
    return QString::asprintf("%02d:%02d.%d", int(s % 3600 / 60), int(s % 60), tenths);
}

QString TimerFormat::countdown(double seconds)
{
    const qint64 s = wholeSeconds(std::ceil(seconds));
    if (s >= 3600)
        return hoursMinutesSeconds(s);
    return QString::asprintf("%02d:%02d", int(s % 3600 / 60), int(s % 60));
}

// MARK: Urgency

TimerUrgency TimerUrgency::of(double remaining, bool hasFinished, bool isRunning)
{
    if (hasFinished)
        return finished;
    if (isRunning && remaining > 0 && remaining <= warningWindow)
        return imminent;
    return calm;
}

double TimerUrgency::opacity(double time) const
{
    switch (m_value) {
    case calm:
        return 1.0;
    case imminent:
        return std::fmod(time, 1.0) < 0.55 ? 1.0 : 0.25;
    case finished:
        return std::fmod(time, 0.9) < 0.5 ? 1.0 : 0.3;
    }
    return 1.0;
}

// MARK: Modes

QString rawValue(TimerMode mode)
{
    switch (mode) {
    case TimerMode::stopwatch:
        return QStringLiteral("stopwatch");
    case TimerMode::countdown:
        return QStringLiteral("countdown");
    case TimerMode::pomodoro:
        return QStringLiteral("pomodoro");
    }
    return {};
}

template <> std::optional<TimerMode> fromRawValue<TimerMode>(QStringView raw)
{
    for (TimerMode mode : kTimerModes)
        if (rawValue(mode) == raw)
            return mode;
    return std::nullopt;
}

QString title(TimerMode mode)
{
    switch (mode) {
    case TimerMode::stopwatch:
        return QStringLiteral("Stopwatch");
    case TimerMode::countdown:
        return QStringLiteral("Timer");
    case TimerMode::pomodoro:
        return QStringLiteral("Focus");
    }
    return {};
}

QString symbol(TimerMode mode)
{
    switch (mode) {
    case TimerMode::stopwatch:
        return QStringLiteral("stopwatch");
    case TimerMode::countdown:
        return QStringLiteral("timer");
    case TimerMode::pomodoro:
        return QStringLiteral("target");
    }
    return {};
}

// MARK: TimerSet

const Countdown* TimerSet::countdownOf(TimerMode m) const
{
    switch (m) {
    case TimerMode::stopwatch:
        return nullptr;
    case TimerMode::countdown:
        return &countdown;
    case TimerMode::pomodoro:
        return &pomodoro.timer;
    }
    return nullptr;
}

bool TimerSet::isRunning(TimerMode m) const
{
    if (const Countdown* timer = countdownOf(m))
        return timer->state == Countdown::State::running;
    return stopwatch.state == Stopwatch::State::running;
}

bool TimerSet::isActive(TimerMode m) const
{
    if (const Countdown* timer = countdownOf(m))
        return timer->state != Countdown::State::idle;
    return stopwatch.state != Stopwatch::State::idle;
}

bool TimerSet::isRunning() const
{
    return std::any_of(kTimerModes.begin(), kTimerModes.end(), [this](TimerMode m) { return isRunning(m); });
}

bool TimerSet::isActive() const
{
    return std::any_of(kTimerModes.begin(), kTimerModes.end(), [this](TimerMode m) { return isActive(m); });
}

void TimerSet::toggle(double now)
{
    switch (mode) {
    case TimerMode::stopwatch:
        stopwatch.toggle(now);
        break;
    case TimerMode::countdown:
        countdown.toggle(now);
        break;
    case TimerMode::pomodoro:
        pomodoro.toggle(now);
        break;
    }
}

void TimerSet::secondary(double now)
{
    switch (mode) {
    case TimerMode::stopwatch:
        stopwatch.lap(now);
        break;
    case TimerMode::countdown:
        adjustCountdown(-60);
        break;
    case TimerMode::pomodoro:
        pomodoro.skip(now);
        break;
    }
}

void TimerSet::reset()
{
    switch (mode) {
    case TimerMode::stopwatch:
        stopwatch.reset();
        break;
    case TimerMode::countdown:
        countdown.reset();
        break;
    case TimerMode::pomodoro:
        pomodoro.reset();
        break;
    }
}

bool TimerSet::adjustCountdown(double seconds)
{
    if (countdown.state != Countdown::State::idle || !std::isfinite(seconds))
        return false;
    const double adjusted = clamped(countdown.duration + seconds, shortestCountdown, longestCountdown);
    if (adjusted == countdown.duration)
        return false;
    countdown.duration = adjusted;
    return true;
}

TimerFinish TimerSet::countdownFinish(double duration)
{
    return { QStringLiteral("Timer finished"), TimerFormat::countdown(duration) + QStringLiteral(" elapsed") };
}

TimerFinish TimerSet::phaseFinish(Pomodoro::Phase ended, Pomodoro::Phase next)
{
    const QString headline
        = ended == Pomodoro::Phase::work ? QStringLiteral("Focus block done") : QStringLiteral("Break over");
    const QString detail = next == Pomodoro::Phase::work ? QStringLiteral("Back to focus")
                                                         : QStringLiteral("Time for a ") + title(next).toLower();
    return { headline, detail };
}

QList<TimerFinish> TimerSet::tick(double now)
{
    QList<TimerFinish> ended;
    if (countdown.settle(now))
        ended.append(countdownFinish(countdown.duration));
    if (const std::optional<Pomodoro::Phase> phase = pomodoro.settle(now))
        ended.append(phaseFinish(*phase, pomodoro.phase));
    if (!ended.isEmpty())
        finish = ended.last();
    return ended;
}

bool TimerSet::clearFinished()
{
    bool cleared = false;
    if (countdown.state == Countdown::State::finished) {
        countdown.reset();
        cleared = true;
    }
    if (pomodoro.timer.state == Countdown::State::finished) {
        pomodoro.reset();
        cleared = true;
    }
    if (cleared)
        finish.reset();
    return cleared;
}

TimerMode TimerSet::residentMode() const
{
    if (isRunning(mode))
        return mode;
    for (TimerMode m : kTimerModes)
        if (isRunning(m))
            return m;
    if (isActive(mode))
        return mode;
    for (TimerMode m : kTimerModes)
        if (isActive(m))
            return m;
    return mode;
}

QString TimerSet::label(TimerMode m, double now) const
{
    if (const Countdown* timer = countdownOf(m))
        return TimerFormat::countdown(timer->remaining(now));
    return TimerFormat::stopwatch(stopwatch.elapsed(now));
}

TimerUrgency TimerSet::urgency(TimerMode m, double now) const
{
    switch (m) {
    case TimerMode::stopwatch:
        return TimerUrgency::calm;
    case TimerMode::countdown:
        return TimerUrgency::of(
            countdown.remaining(now), countdown.hasFinished(now), countdown.state == Countdown::State::running);
    case TimerMode::pomodoro:
        // A focus phase that ends is replaced by the next at once: it never reads as finished.
        return TimerUrgency::of(
            pomodoro.timer.remaining(now), false, pomodoro.timer.state == Countdown::State::running);
    }
    return TimerUrgency::calm;
}

} // namespace nimbra
