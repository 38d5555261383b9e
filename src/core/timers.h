#pragma once

#include <QList>
#include <QString>
#include <QStringView>

#include <array>
#include <optional>
#include <span>

namespace nimbra {

template <typename E> std::optional<E> fromRawValue(QStringView raw);
template <typename E> std::span<const E> allCases();

// Timer models of the timers tab. None reads a clock: every time-dependent call takes
// `now`, seconds of uptime, from the caller.

class Stopwatch {
public:
    enum class State { idle, running, paused };

    struct LapInterval {
        int index; // from 1
        double duration; // since the previous lap
        double total; // elapsed time at the lap
        bool operator==(const LapInterval&) const = default;
    };

    State state = State::idle;
    double banked = 0; // time accumulated before the current run
    std::optional<double> startedAt; // present only while running
    QList<double> laps; // cumulative elapsed time at each lap, oldest first

    double elapsed(double now) const;
    void start(double now);
    void pause(double now);
    void toggle(double now);
    void reset();
    void lap(double now);
    // Newest lap first.
    QList<LapInterval> lapIntervals() const;

    bool operator==(const Stopwatch&) const = default;
};

class Countdown {
public:
    enum class State { idle, running, paused, finished };

    State state = State::idle;
    double duration = 0;
    double banked = 0; // time consumed before the current run
    std::optional<double> startedAt;

    Countdown() = default;
    explicit Countdown(double duration)
        : duration(duration)
    {
    }

    double consumed(double now) const;
    double remaining(double now) const;
    bool hasFinished(double now) const;
    double progress() const;
    double progress(double now) const;

    void start(double now);
    void pause(double now);
    void toggle(double now);
    void reset();
    // Marks a running countdown whose time is up as finished; true when it did.
    bool settle(double now);

    bool operator==(const Countdown&) const = default;
};

class Pomodoro {
public:
    enum class Phase { work, shortBreak, longBreak };

    struct Configuration {
        double work = 25 * 60;
        double shortBreak = 5 * 60;
        double longBreak = 15 * 60;
        int cyclesBeforeLongBreak = 4;

        double duration(Phase phase) const;
        bool operator==(const Configuration&) const = default;
    };

    Phase phase = Phase::work;
    int completedWorkBlocks = 0;
    Countdown timer; // the current phase's countdown

    Pomodoro();
    explicit Pomodoro(const Configuration& configuration);

    const Configuration& configuration() const { return m_configuration; }
    // An idle timer takes the current phase's new length at once; a running, paused or
    // finished one keeps its length until the next phase.
    void setConfiguration(const Configuration& configuration);

    Countdown::State state() const { return timer.state; }
    double remaining(double now) const { return timer.remaining(now); }
    double progress(double now) const { return timer.progress(now); }

    void toggle(double now) { timer.toggle(now); }
    void reset();
    // When the running phase is over: finishes it, starts the next phase at `now` and
    // returns the phase that ended.
    std::optional<Phase> settle(double now);
    // Moves to the next phase without starting it.
    void skip(double now);

    bool operator==(const Pomodoro&) const = default;

private:
    void advance(double now, bool autostart);

    Configuration m_configuration;
};

QString rawValue(Stopwatch::State state);
QString rawValue(Countdown::State state);
QString rawValue(Pomodoro::Phase phase);
QString title(Pomodoro::Phase phase);
template <> std::optional<Stopwatch::State> fromRawValue<Stopwatch::State>(QStringView raw);
template <> std::optional<Countdown::State> fromRawValue<Countdown::State>(QStringView raw);
template <> std::optional<Pomodoro::Phase> fromRawValue<Pomodoro::Phase>(QStringView raw);

inline constexpr std::array<Pomodoro::Phase, 3> kPomodoroPhases
    = { Pomodoro::Phase::work, Pomodoro::Phase::shortBreak, Pomodoro::Phase::longBreak };

template <> inline std::span<const Pomodoro::Phase> allCases<Pomodoro::Phase>()
{
    return kPomodoroPhases;
}

namespace TimerFormat {
// "%02d:%02d.%d" below an hour, "%d:%02d:%02d" from an hour; negative counts as 0.
QString stopwatch(double seconds);
// Partial seconds count as a whole one: "%02d:%02d" below an hour, "%d:%02d:%02d" from an hour.
QString countdown(double seconds);
} // namespace TimerFormat

// How urgently a timer readout should draw attention.
class TimerUrgency {
public:
    enum Value { calm, imminent, finished };
    static constexpr double warningWindow = 5.0;

    constexpr TimerUrgency(Value value = calm)
        : m_value(value)
    {
    }
    constexpr operator Value() const { return m_value; }

    static TimerUrgency of(double remaining, bool hasFinished, bool isRunning);
    // Display opacity at `time` (any clock): imminent blinks once a second, finished a
    // little faster.
    double opacity(double time) const;
    bool isBlinking() const { return m_value != calm; }

private:
    Value m_value;
};

// The timers tab's three modes, in tab order.
enum class TimerMode { stopwatch, countdown, pomodoro };

inline constexpr std::array<TimerMode, 3> kTimerModes
    = { TimerMode::stopwatch, TimerMode::countdown, TimerMode::pomodoro };

template <> inline std::span<const TimerMode> allCases<TimerMode>()
{
    return kTimerModes;
}

QString rawValue(TimerMode mode);
template <> std::optional<TimerMode> fromRawValue<TimerMode>(QStringView raw);
// "Stopwatch", "Timer", "Focus": the tab's label and the resident readout's title.
QString title(TimerMode mode);
// The symbol the resident readout shows beside the time.
QString symbol(TimerMode mode);

// What a finished countdown or focus phase announces.
struct TimerFinish {
    QString title;
    QString detail;
    bool operator==(const TimerFinish&) const = default;
};

// The three timers of the timers tab, its selected mode and the last announcement, with the
// rules the tab's controls and the timer clock follow. Every action works on the selected
// mode's timer; nothing here reads a clock.
class TimerSet {
public:
    static constexpr double defaultCountdown = 300;
    // An idle countdown's length stays within one minute and twelve hours.
    static constexpr double shortestCountdown = 60;
    static constexpr double longestCountdown = 43200;

    TimerMode mode = TimerMode::stopwatch;
    Stopwatch stopwatch;
    Countdown countdown { defaultCountdown };
    Pomodoro pomodoro;
    // The last announcement, kept until the expanded surface closes on it.
    std::optional<TimerFinish> finish;

    // Some timer runs: the clock must tick.
    bool isRunning() const;
    bool isRunning(TimerMode mode) const;
    // Some timer is running, paused or finished: it keeps a resident readout.
    bool isActive() const;
    bool isActive(TimerMode mode) const;

    // The primary control: starts, pauses or resumes the selected timer.
    void toggle(double now);
    // The mode's second control: a lap, a minute off an idle countdown, or the next focus
    // phase (not started).
    void secondary(double now);
    void reset();
    // Lengthens or shortens an idle countdown, within its bounds; true when the length
    // changed. A running, paused or finished countdown keeps its length.
    bool adjustCountdown(double seconds);

    // One clock step: settles the countdown, then the focus timer, and returns what ended,
    // countdown first. The last of them stays in `finish`.
    QList<TimerFinish> tick(double now);
    // The expanded surface closed on a finished countdown or focus phase: each goes back to
    // idle and the announcement is dropped. True when anything was cleared.
    bool clearFinished();

    // The timer the resident readout describes: the selected one while it runs, else one that
    // runs, else the selected one while active, else any active one.
    TimerMode residentMode() const;
    // The time shown for `mode`: elapsed for the stopwatch, remaining otherwise.
    QString label(TimerMode mode, double now) const;
    TimerUrgency urgency(TimerMode mode, double now) const;
    // The countdown a mode shows: its own, or the focus timer's current phase.
    const Countdown* countdownOf(TimerMode mode) const;

    static TimerFinish countdownFinish(double duration);
    static TimerFinish phaseFinish(Pomodoro::Phase ended, Pomodoro::Phase next);
};

} // namespace nimbra
