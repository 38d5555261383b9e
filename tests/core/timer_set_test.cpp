#include "core/timers.h"

#include <gtest/gtest.h>
#include <limits>

using namespace nimbra;

namespace {
Pomodoro::Configuration quickFocus()
{
    Pomodoro::Configuration configuration;
    configuration.work = 10;
    configuration.shortBreak = 3;
    configuration.longBreak = 5;
    configuration.cyclesBeforeLongBreak = 2;
    return configuration;
}
} // namespace

TEST(TimerMode, TitlesSymbolsAndRawValuesInTabOrder)
{
    QStringList titles, symbols;
    for (TimerMode mode : allCases<TimerMode>()) {
        titles << title(mode);
        symbols << symbol(mode);
        EXPECT_EQ(fromRawValue<TimerMode>(rawValue(mode)), mode);
    }
    EXPECT_EQ(titles, (QStringList { "Stopwatch", "Timer", "Focus" }));
    EXPECT_EQ(symbols, (QStringList { "stopwatch", "timer", "target" }));
    EXPECT_EQ(fromRawValue<TimerMode>(u"Timer"), std::nullopt);
}

TEST(TimerSet, ACountdownEndingWhileNobodyLooksIsAnnouncedOnceAtTheNextTick)
{
    TimerSet timers;
    timers.mode = TimerMode::countdown;
    timers.toggle(100);
    EXPECT_TRUE(timers.isRunning());
    EXPECT_TRUE(timers.tick(399.9).isEmpty());
    EXPECT_EQ(timers.urgency(TimerMode::countdown, 395), TimerUrgency::imminent);

    // The tick after the end, at most one clock step late, names the whole length.
    const QList<TimerFinish> ended = timers.tick(400.15);
    ASSERT_EQ(ended.size(), 1);
    EXPECT_EQ(ended[0], (TimerFinish { "Timer finished", "05:00 elapsed" }));
    EXPECT_EQ(timers.finish, ended[0]);
    EXPECT_TRUE(timers.tick(400.35).isEmpty());

    // Finished: nothing ticks, but it stays active and urgent until it is seen.
    EXPECT_FALSE(timers.isRunning());
    EXPECT_TRUE(timers.isActive());
    EXPECT_EQ(timers.urgency(TimerMode::countdown, 500), TimerUrgency::finished);
    EXPECT_EQ(timers.label(TimerMode::countdown, 500), "00:00");

    EXPECT_TRUE(timers.clearFinished());
    EXPECT_EQ(timers.countdown.state, Countdown::State::idle);
    EXPECT_EQ(timers.countdown.duration, 300);
    EXPECT_EQ(timers.label(TimerMode::countdown, 500), "05:00");
    EXPECT_FALSE(timers.finish);
    EXPECT_FALSE(timers.isActive());
    EXPECT_FALSE(timers.clearFinished()) << "nothing left to clear";
}

TEST(TimerSet, FocusBlocksEndIntoShortAndLongBreaksAndKeepRunning)
{
    TimerSet timers;
    timers.mode = TimerMode::pomodoro;
    timers.pomodoro.setConfiguration(quickFocus());
    timers.toggle(0);

    EXPECT_EQ(timers.tick(10.1), (QList<TimerFinish> { { "Focus block done", "Time for a break" } }));
    EXPECT_EQ(timers.pomodoro.phase, Pomodoro::Phase::shortBreak);
    EXPECT_TRUE(timers.isRunning()) << "the break starts by itself";

    EXPECT_EQ(timers.tick(13.2), (QList<TimerFinish> { { "Break over", "Back to focus" } }));
    EXPECT_EQ(timers.pomodoro.phase, Pomodoro::Phase::work);

    // The second block of a cycle of two earns the long break.
    EXPECT_EQ(timers.tick(23.3), (QList<TimerFinish> { { "Focus block done", "Time for a long break" } }));
    EXPECT_EQ(timers.pomodoro.phase, Pomodoro::Phase::longBreak);
    EXPECT_EQ(timers.pomodoro.completedWorkBlocks, 2);
    EXPECT_EQ(timers.finish, (TimerFinish { "Focus block done", "Time for a long break" }));
    // A running focus phase is urgent in its last seconds but never finished.
    EXPECT_EQ(timers.urgency(TimerMode::pomodoro, 23.3 + 4.5), TimerUrgency::imminent);
    EXPECT_EQ(timers.urgency(TimerMode::pomodoro, 23.3 + 5.0), TimerUrgency::calm);
}

TEST(TimerSet, SkippingAPhaseAnnouncesNothingAndResetGoesBackToTheFirstBlock)
{
    TimerSet timers;
    timers.mode = TimerMode::pomodoro;
    timers.pomodoro.setConfiguration(quickFocus());
    timers.toggle(0);
    timers.secondary(4);
    EXPECT_EQ(timers.pomodoro.phase, Pomodoro::Phase::shortBreak);
    EXPECT_EQ(timers.pomodoro.timer.state, Countdown::State::idle) << "the next phase waits for a start";
    EXPECT_FALSE(timers.isRunning());
    EXPECT_TRUE(timers.tick(100).isEmpty());
    EXPECT_FALSE(timers.finish);

    timers.reset();
    EXPECT_EQ(timers.pomodoro.phase, Pomodoro::Phase::work);
    EXPECT_EQ(timers.pomodoro.completedWorkBlocks, 0);
    EXPECT_EQ(timers.pomodoro.timer, Countdown(10));
}

TEST(TimerSet, ActionsWorkOnTheSelectedModeOnly)
{
    TimerSet timers;
    timers.toggle(1); // stopwatch
    timers.secondary(3); // a lap
    EXPECT_EQ(timers.stopwatch.laps, (QList<double> { 2 }));
    EXPECT_EQ(timers.countdown.state, Countdown::State::idle);

    timers.mode = TimerMode::countdown;
    timers.toggle(5);
    timers.reset();
    EXPECT_EQ(timers.countdown.state, Countdown::State::idle);
    EXPECT_EQ(timers.stopwatch.state, Stopwatch::State::running) << "the stopwatch keeps running";

    timers.mode = TimerMode::stopwatch;
    timers.reset();
    EXPECT_EQ(timers.stopwatch, Stopwatch());
}

TEST(TimerSet, TheCountdownLengthChangesOnlyWhileIdleAndWithinAMinuteAndTwelveHours)
{
    TimerSet timers;
    timers.mode = TimerMode::countdown;
    EXPECT_TRUE(timers.adjustCountdown(1500));
    EXPECT_EQ(timers.countdown.duration, 1800);

    // The minus control clamps at one minute.
    timers.countdown.duration = 60;
    timers.secondary(0);
    EXPECT_EQ(timers.countdown.duration, 60);
    EXPECT_FALSE(timers.adjustCountdown(-600));
    EXPECT_TRUE(timers.adjustCountdown(30.5));
    EXPECT_EQ(timers.countdown.duration, 90.5);

    timers.countdown.duration = 43000;
    EXPECT_TRUE(timers.adjustCountdown(1500));
    EXPECT_EQ(timers.countdown.duration, 43200);
    EXPECT_FALSE(timers.adjustCountdown(60));
    EXPECT_FALSE(timers.adjustCountdown(std::numeric_limits<double>::quiet_NaN()));
    EXPECT_FALSE(timers.adjustCountdown(-std::numeric_limits<double>::infinity()));
    EXPECT_EQ(timers.countdown.duration, 43200);

    // Running, paused and finished countdowns keep their length.
    timers.countdown.duration = 300;
    timers.toggle(0);
    EXPECT_FALSE(timers.adjustCountdown(60));
    timers.secondary(1);
    timers.toggle(2);
    EXPECT_EQ(timers.countdown.state, Countdown::State::paused);
    EXPECT_FALSE(timers.adjustCountdown(60));
    timers.toggle(3);
    timers.tick(1000);
    EXPECT_EQ(timers.countdown.state, Countdown::State::finished);
    EXPECT_FALSE(timers.adjustCountdown(60));
    EXPECT_EQ(timers.countdown.duration, 300);
}

TEST(TimerSet, ACountdownAndAFocusPhaseEndingInOneTickAreAnnouncedCountdownFirst)
{
    TimerSet timers;
    timers.pomodoro.setConfiguration(quickFocus());
    timers.countdown.duration = 60;
    timers.mode = TimerMode::countdown;
    timers.toggle(0);
    timers.mode = TimerMode::pomodoro;
    timers.toggle(50);
    const QList<TimerFinish> ended = timers.tick(60.1);
    ASSERT_EQ(ended.size(), 2);
    EXPECT_EQ(ended[0].title, "Timer finished");
    EXPECT_EQ(ended[0].detail, "01:00 elapsed");
    EXPECT_EQ(ended[1].title, "Focus block done");
    EXPECT_EQ(timers.finish, ended[1]);
}

TEST(TimerSet, TheResidentReadoutDescribesTheTimerThatRuns)
{
    TimerSet timers;
    EXPECT_FALSE(timers.isActive());

    // A paused countdown is selected while the stopwatch runs: the readout is the stopwatch's.
    timers.mode = TimerMode::countdown;
    timers.toggle(0);
    timers.toggle(10);
    timers.mode = TimerMode::stopwatch;
    timers.toggle(20);
    timers.mode = TimerMode::countdown;
    EXPECT_EQ(timers.residentMode(), TimerMode::stopwatch);
    EXPECT_EQ(timers.label(timers.residentMode(), 27.25), "00:07.2");
    EXPECT_EQ(timers.urgency(timers.residentMode(), 27.25), TimerUrgency::calm);

    // With nothing running, the selected timer shows while it is paused.
    timers.mode = TimerMode::stopwatch;
    timers.toggle(30);
    timers.mode = TimerMode::countdown;
    EXPECT_EQ(timers.residentMode(), TimerMode::countdown);
    EXPECT_EQ(timers.label(TimerMode::countdown, 99), "04:50");

    // An idle selection gives way to a paused timer of another mode.
    timers.reset();
    EXPECT_EQ(timers.residentMode(), TimerMode::stopwatch);
    timers.mode = TimerMode::stopwatch;
    timers.reset();
    EXPECT_FALSE(timers.isActive());
}

TEST(TimerSet, CountdownUrgencyAtTheEdgesOfTheWarningWindow)
{
    TimerSet timers;
    timers.countdown.duration = 60;
    timers.mode = TimerMode::countdown;
    timers.toggle(0);
    EXPECT_EQ(timers.urgency(TimerMode::countdown, 54.9), TimerUrgency::calm);
    EXPECT_EQ(timers.urgency(TimerMode::countdown, 55.0), TimerUrgency::imminent) << "exactly 5 s left";
    EXPECT_EQ(timers.urgency(TimerMode::countdown, 60.0), TimerUrgency::finished) << "running with nothing left";
    EXPECT_EQ(timers.urgency(TimerMode::stopwatch, 60.0), TimerUrgency::calm);
    EXPECT_EQ(timers.label(TimerMode::countdown, 55.5), "00:05");
}
