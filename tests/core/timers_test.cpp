#include "core/timers.h"

#include <gtest/gtest.h>
#include <limits>

using namespace nimbra;

namespace {
constexpr double inf = std::numeric_limits<double>::infinity();
}

TEST(Stopwatch, RunsPausesAndResumesKeepingBankedTime)
{
    Stopwatch watch;
    watch.start(100);
    EXPECT_DOUBLE_EQ(watch.elapsed(103), 3);
    watch.pause(104);
    EXPECT_EQ(watch.state, Stopwatch::State::paused);
    EXPECT_FALSE(watch.startedAt);
    EXPECT_DOUBLE_EQ(watch.elapsed(500), 4);
    watch.toggle(200);
    EXPECT_DOUBLE_EQ(watch.elapsed(202.5), 6.5);
    watch.start(300); // already running: keeps the original start
    EXPECT_DOUBLE_EQ(watch.elapsed(202.5), 6.5);
    watch.toggle(205);
    EXPECT_DOUBLE_EQ(watch.banked, 9);
    watch.reset();
    EXPECT_EQ(watch, Stopwatch());
}

TEST(Stopwatch, LapsOnlyWhileRunningAndIntervalsNewestFirst)
{
    Stopwatch watch;
    watch.lap(1);
    EXPECT_TRUE(watch.laps.isEmpty());
    watch.start(10);
    watch.lap(12);
    watch.lap(15);
    watch.pause(16);
    watch.lap(17);
    watch.start(20);
    watch.lap(24);
    ASSERT_EQ(watch.laps, (QList<double> { 2, 5, 10 }));
    const QList<Stopwatch::LapInterval> intervals = watch.lapIntervals();
    ASSERT_EQ(intervals.size(), 3);
    EXPECT_EQ(intervals[0], (Stopwatch::LapInterval { 3, 5, 10 }));
    EXPECT_EQ(intervals[1], (Stopwatch::LapInterval { 2, 3, 5 }));
    EXPECT_EQ(intervals[2], (Stopwatch::LapInterval { 1, 2, 2 }));
    watch.reset();
    EXPECT_TRUE(watch.laps.isEmpty());
}

TEST(Stopwatch, ABrokenClockValueNeverReachesTheTotals)
{
    Stopwatch watch;
    watch.start(10);
    watch.pause(std::nan(""));
    EXPECT_DOUBLE_EQ(watch.banked, 0);
    watch.start(inf);
    watch.lap(20);
    EXPECT_TRUE(std::isfinite(watch.laps.value(0)));
}

TEST(Countdown, ConsumesRemainsAndReportsProgress)
{
    Countdown countdown(60);
    EXPECT_DOUBLE_EQ(countdown.remaining(1000), 60);
    EXPECT_FALSE(countdown.hasFinished(1000));
    countdown.start(0);
    EXPECT_DOUBLE_EQ(countdown.remaining(15), 45);
    EXPECT_DOUBLE_EQ(countdown.progress(15), 0.25);
    EXPECT_DOUBLE_EQ(countdown.progress(), 0); // nothing banked yet
    EXPECT_DOUBLE_EQ(countdown.remaining(90), 0);
    EXPECT_DOUBLE_EQ(countdown.progress(90), 1);
    EXPECT_TRUE(countdown.hasFinished(60));
    EXPECT_EQ(countdown.state, Countdown::State::running); // only settle moves it
    countdown.pause(30);
    EXPECT_DOUBLE_EQ(countdown.progress(), 0.5);
    EXPECT_FALSE(countdown.hasFinished(1000));
}

TEST(Countdown, StartKeepsPausedTimeAndRestartsFinished)
{
    Countdown countdown(10);
    countdown.start(0);
    countdown.pause(4);
    countdown.start(100);
    EXPECT_DOUBLE_EQ(countdown.consumed(101), 5);
    EXPECT_FALSE(countdown.settle(105));
    EXPECT_TRUE(countdown.settle(106));
    EXPECT_EQ(countdown.state, Countdown::State::finished);
    EXPECT_DOUBLE_EQ(countdown.banked, 10);
    EXPECT_FALSE(countdown.startedAt);
    EXPECT_TRUE(countdown.hasFinished(0));
    EXPECT_FALSE(countdown.settle(200)); // not running any more

    countdown.start(300);
    EXPECT_DOUBLE_EQ(countdown.consumed(301), 1);

    countdown.settle(400);
    countdown.toggle(500);
    EXPECT_EQ(countdown.state, Countdown::State::running);
    EXPECT_DOUBLE_EQ(countdown.remaining(502), 8);

    countdown.reset();
    EXPECT_EQ(countdown, Countdown(10));
}

TEST(Countdown, ZeroOrBrokenLengthsStayInRange)
{
    Countdown empty(0);
    EXPECT_DOUBLE_EQ(empty.progress(), 0);
    empty.start(5);
    EXPECT_DOUBLE_EQ(empty.progress(7), 0);
    EXPECT_TRUE(empty.settle(5));
    EXPECT_EQ(empty.state, Countdown::State::finished);

    Countdown broken(std::nan(""));
    broken.start(0);
    EXPECT_DOUBLE_EQ(broken.progress(3), 0);
    EXPECT_DOUBLE_EQ(broken.remaining(3), 0);
    EXPECT_FALSE(broken.settle(3));

    Countdown endless(inf);
    endless.start(0);
    EXPECT_DOUBLE_EQ(endless.progress(3), 0);
}

TEST(Pomodoro, CyclesThroughPhasesWithAutostart)
{
    Pomodoro::Configuration configuration { 10, 2, 5, 2 };
    Pomodoro pomodoro(configuration);
    EXPECT_EQ(pomodoro.phase, Pomodoro::Phase::work);
    EXPECT_DOUBLE_EQ(pomodoro.timer.duration, 10);
    EXPECT_FALSE(pomodoro.settle(100)); // idle
    pomodoro.toggle(0);
    EXPECT_FALSE(pomodoro.settle(9.9));
    EXPECT_EQ(pomodoro.settle(10), Pomodoro::Phase::work);
    EXPECT_EQ(pomodoro.phase, Pomodoro::Phase::shortBreak);
    EXPECT_EQ(pomodoro.completedWorkBlocks, 1);
    EXPECT_EQ(pomodoro.state(), Countdown::State::running);
    EXPECT_DOUBLE_EQ(pomodoro.remaining(11), 1);

    EXPECT_EQ(pomodoro.settle(12), Pomodoro::Phase::shortBreak);
    EXPECT_EQ(pomodoro.phase, Pomodoro::Phase::work);
    EXPECT_EQ(pomodoro.completedWorkBlocks, 1);
    EXPECT_EQ(pomodoro.settle(22), Pomodoro::Phase::work);
    EXPECT_EQ(pomodoro.phase, Pomodoro::Phase::longBreak);
    EXPECT_DOUBLE_EQ(pomodoro.timer.duration, 5);
    EXPECT_DOUBLE_EQ(pomodoro.progress(24.5), 0.5);

    pomodoro.skip(0);
    EXPECT_EQ(pomodoro.phase, Pomodoro::Phase::work);
    EXPECT_EQ(pomodoro.state(), Countdown::State::idle);
    EXPECT_EQ(pomodoro.completedWorkBlocks, 2);

    pomodoro.reset();
    EXPECT_EQ(pomodoro, Pomodoro(configuration));
}

TEST(Pomodoro, DefaultCyclesAndCyclesBelowOne)
{
    Pomodoro pomodoro;
    QList<Pomodoro::Phase> phases;
    for (int i = 0; i < 8; ++i) {
        pomodoro.skip(0);
        phases.append(pomodoro.phase);
    }
    using P = Pomodoro::Phase;
    EXPECT_EQ(phases,
        (QList<P> { P::shortBreak, P::work, P::shortBreak, P::work, P::shortBreak, P::work, P::longBreak, P::work }));

    Pomodoro single(Pomodoro::Configuration { 60, 5, 15, 0 });
    single.skip(0);
    EXPECT_EQ(single.phase, P::longBreak);
    single.setConfiguration({ 60, 5, 15, -3 });
    single.skip(0);
    single.skip(0);
    EXPECT_EQ(single.phase, P::longBreak);
}

TEST(Pomodoro, ConfigurationChangeOnlyResizesAnIdleTimer)
{
    Pomodoro pomodoro(Pomodoro::Configuration { 60, 5, 15, 4 });
    pomodoro.setConfiguration({ 120, 5, 15, 4 });
    EXPECT_DOUBLE_EQ(pomodoro.timer.duration, 120);

    pomodoro.toggle(0);
    pomodoro.setConfiguration({ 300, 5, 15, 4 });
    EXPECT_DOUBLE_EQ(pomodoro.timer.duration, 120);
    pomodoro.toggle(10); // paused
    pomodoro.setConfiguration({ 400, 5, 15, 4 });
    EXPECT_DOUBLE_EQ(pomodoro.timer.duration, 120);
    EXPECT_EQ(pomodoro.configuration().work, 400);
    pomodoro.skip(0);
    pomodoro.skip(0);
    EXPECT_DOUBLE_EQ(pomodoro.timer.duration, 400);

    // An unchanged configuration leaves even an idle, partly used timer alone.
    pomodoro.timer.banked = 3;
    pomodoro.setConfiguration(pomodoro.configuration());
    EXPECT_DOUBLE_EQ(pomodoro.timer.banked, 3);
}

TEST(TimerEnums, RawValuesRoundTrip)
{
    ASSERT_EQ(allCases<Pomodoro::Phase>().size(), 3u);
    for (Pomodoro::Phase phase : allCases<Pomodoro::Phase>())
        EXPECT_EQ(fromRawValue<Pomodoro::Phase>(rawValue(phase)), phase);
    EXPECT_EQ(fromRawValue<Countdown::State>(u"finished"), Countdown::State::finished);
    EXPECT_EQ(fromRawValue<Stopwatch::State>(u"finished"), std::nullopt);
    EXPECT_EQ(fromRawValue<Stopwatch::State>(u"Running"), std::nullopt);
}

TEST(TimerFormat, Stopwatch)
{
    EXPECT_EQ(TimerFormat::stopwatch(59.96), "00:59.9");
    EXPECT_EQ(TimerFormat::stopwatch(61.25), "01:01.2");
    EXPECT_EQ(TimerFormat::stopwatch(3599.99), "59:59.9");
    EXPECT_EQ(TimerFormat::stopwatch(3600), "1:00:00");
    EXPECT_EQ(TimerFormat::stopwatch(37230.7), "10:20:30");
    EXPECT_EQ(TimerFormat::stopwatch(-4), "00:00.0");
    EXPECT_EQ(TimerFormat::stopwatch(std::nan("")), "00:00.0");
    EXPECT_EQ(TimerFormat::stopwatch(-inf), "00:00.0");
    EXPECT_FALSE(TimerFormat::stopwatch(1e300).isEmpty());
}

TEST(TimerFormat, Countdown)
{
    EXPECT_EQ(TimerFormat::countdown(0.2), "00:01");
    EXPECT_EQ(TimerFormat::countdown(59), "00:59");
    EXPECT_EQ(TimerFormat::countdown(3599.5), "1:00:00");
    EXPECT_EQ(TimerFormat::countdown(5400), "1:30:00");
    EXPECT_EQ(TimerFormat::countdown(0), "00:00");
    EXPECT_EQ(TimerFormat::countdown(-7.5), "00:00");
    EXPECT_EQ(TimerFormat::countdown(std::nan("")), "00:00");
}

TEST(TimerUrgency, ClassifiesAndBlinks)
{
    EXPECT_EQ(TimerUrgency::of(0, false, true), TimerUrgency::calm);
    EXPECT_EQ(TimerUrgency::of(5.0, false, true), TimerUrgency::imminent);
    EXPECT_EQ(TimerUrgency::of(5.01, false, true), TimerUrgency::calm);
    EXPECT_EQ(TimerUrgency::of(3, false, false), TimerUrgency::calm);
    EXPECT_EQ(TimerUrgency::of(3, true, false), TimerUrgency::finished);
    EXPECT_EQ(TimerUrgency::of(std::nan(""), false, true), TimerUrgency::calm);
    EXPECT_DOUBLE_EQ(TimerUrgency::warningWindow, 5.0);

    const TimerUrgency calm = TimerUrgency::calm;
    const TimerUrgency imminent = TimerUrgency::imminent;
    const TimerUrgency finished = TimerUrgency::finished;
    EXPECT_FALSE(calm.isBlinking());
    EXPECT_TRUE(imminent.isBlinking());
    EXPECT_TRUE(finished.isBlinking());
    EXPECT_DOUBLE_EQ(calm.opacity(12.9), 1.0);
    EXPECT_DOUBLE_EQ(imminent.opacity(12.5), 1.0);
    EXPECT_DOUBLE_EQ(imminent.opacity(12.6), 0.25);
    EXPECT_DOUBLE_EQ(finished.opacity(1.8 + 0.4), 1.0);
    EXPECT_DOUBLE_EQ(finished.opacity(1.8 + 0.6), 0.3);
}
