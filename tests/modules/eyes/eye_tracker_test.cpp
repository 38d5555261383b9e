#include "modules/eyes/eye_tracker.h"

#include "platform/pointer_watch.h"

#include <QLineF>
#include <gtest/gtest.h>
#include <set>
#include <vector>

using namespace nimbra;
using Mode = EyeTracker::ClockMode;

namespace {

// A pointer that moves and clicks when the test says.
class FakePointer final : public PointerWatch {
public:
    QPointF at;
    std::function<void()> onMove;
    std::function<void(bool)> onClick;
    int moveWatches = 0;
    int clickWatches = 0;
    int reads = 0;

    QPointF location() override
    {
        ++reads;
        return at;
    }
    bool watchMoves(std::function<void()> callback) override
    {
        ++moveWatches;
        onMove = std::move(callback);
        return true;
    }
    void stopMoves() override { onMove = nullptr; }
    bool watchClicks(std::function<void(bool)> callback) override
    {
        ++clickWatches;
        onClick = std::move(callback);
        return true;
    }
    void stopClicks() override { onClick = nullptr; }
};

// A clock that ticks only when the test fires it, and knows when its next tick is due.
class ManualClock final : public TickClock {
public:
    explicit ManualClock(const double& now)
        : m_now(now)
    {
    }
    double interval = 0;
    double dueAt = 0;
    std::function<void()> onTick;
    int starts = 0;
    int delays = 0;

    void start(double seconds, std::function<void()> callback) override
    {
        interval = seconds;
        dueAt = m_now + seconds;
        onTick = std::move(callback);
        ++starts;
    }
    void stop() override { onTick = nullptr; }
    void delayNext(double seconds) override
    {
        dueAt = m_now + seconds;
        ++delays;
    }
    bool isRunning() const { return bool(onTick); }

private:
    const double& m_now;
};

EyeStyle quietStyle()
{
    EyeStyle style;
    style.blinks = false;
    style.reactsToClicks = false;
    return style;
}

struct Rig {
    FakePointer pointer;
    ManualClock* clock = nullptr;
    double now = 1000;
    double nextDraw = 0; // the fraction of each random range drawn
    std::unique_ptr<EyeTracker> tracker;
    int published = 0;
    int ticks = 0; // of the clock itself
    std::vector<Mode> modes; // every clock mode entered, in order (repeats collapsed)
    std::set<Mode> seen;

    explicit Rig(const EyeStyle& style = EyeStyle {})
    {
        auto manual = std::make_unique<ManualClock>(now);
        clock = manual.get();
        tracker = std::make_unique<EyeTracker>(
            &pointer, std::move(manual), [this] { return now; },
            [this](double lower, double upper) { return lower + nextDraw * (upper - lower); });
        tracker->onChange = [this] { ++published; };
        tracker->eyeCentres = { QPointF(100, 500), QPointF(120, 500) };
        tracker->travel = 4;
        tracker->apply(style);
    }

    void note()
    {
        if (const auto mode = tracker->clockMode()) {
            if (modes.empty() || modes.back() != *mode)
                modes.push_back(*mode);
            seen.insert(*mode);
        }
    }
    // The clock's next tick, when it is due; false when it is stopped.
    bool tick()
    {
        if (!clock->isRunning())
            return false;
        now = clock->dueAt;
        const int changes = clock->starts + clock->delays;
        clock->onTick();
        // A repeating clock that the tick left alone comes again one interval later.
        if (clock->starts + clock->delays == changes)
            clock->dueAt = now + clock->interval;
        ++ticks;
        note();
        return true;
    }
    // Lets time pass until `t`, the clock ticking whenever it is due.
    void advanceTo(double t)
    {
        while (clock->isRunning() && clock->dueAt <= t)
            tick();
        now = std::max(now, t);
    }
    // Ticks until `seconds` have passed or the clock stops.
    void run(double seconds)
    {
        const double until = now + seconds;
        while (now < until && tick()) { }
    }
    void moveTo(QPointF point)
    {
        pointer.at = point;
        pointer.onMove();
        note();
    }
};

} // namespace

TEST(EyeTrackerWatching, StartTwiceInstallsOneSetOfWatchesAndStopRemovesThem)
{
    Rig rig;
    rig.tracker->start();
    rig.tracker->start();
    EXPECT_EQ(rig.pointer.moveWatches, 1);
    EXPECT_EQ(rig.pointer.clickWatches, 1);
    EXPECT_EQ(rig.tracker->clockMode(), Mode::live);
    rig.tracker->stop();
    EXPECT_FALSE(rig.pointer.onMove);
    EXPECT_FALSE(rig.pointer.onClick);
    EXPECT_FALSE(rig.clock->isRunning());
    EXPECT_FALSE(rig.tracker->clockMode());
}

TEST(EyeTrackerWatching, ClickWatchingFollowsTheStyle)
{
    EyeStyle clicks;
    clicks.reactsToClicks = true;
    Rig rig(clicks);
    // Before start nothing is watched; start adds the click watch.
    EXPECT_EQ(rig.pointer.clickWatches, 0);
    rig.tracker->start();
    EXPECT_TRUE(rig.pointer.onClick);
    EyeStyle none = clicks;
    none.reactsToClicks = false;
    rig.tracker->apply(none);
    EXPECT_FALSE(rig.pointer.onClick);
    rig.tracker->apply(clicks);
    EXPECT_TRUE(rig.pointer.onClick);
}

TEST(EyeTrackerWatching, RestartAfterStopStepsOneIntervalNotTheTimeAway)
{
    Rig rig(quietStyle());
    rig.tracker->start();
    rig.tracker->stop();
    rig.now += 100;
    rig.tracker->start();
    rig.tracker->setTired(true);
    rig.tick();
    // One 1/60 s step of the lid easing (14 × dt), not a jump to the target.
    EXPECT_NEAR(rig.tracker->lidLeft(), EyeTracker::tiredLid * 14 / 60, 1e-9);
}

TEST(EyeTrackerClock, RestingEyesDozeThenDrowseThenSleepAndStop)
{
    Rig rig; // blinks and click reactions on, drowsy after 150 s, asleep after 420 s
    rig.nextDraw = 1; // blinks as late as the range allows
    rig.tracker->start();
    rig.run(2);
    EXPECT_EQ(rig.tracker->clockMode(), Mode::blinkDoze);
    rig.run(200);
    EXPECT_EQ(rig.tracker->clockMode(), Mode::drowse);
    EXPECT_EQ(rig.tracker->stage(), EyeWakefulness::Stage::drowsy);
    rig.run(400);
    EXPECT_FALSE(rig.clock->isRunning());
    EXPECT_FALSE(rig.tracker->clockMode());
    EXPECT_EQ(rig.tracker->stage(), EyeWakefulness::Stage::asleep);
    EXPECT_NEAR(rig.tracker->lidLeft(), 1, 0.01);
    EXPECT_NEAR(rig.tracker->lidRight(), 1, 0.01);
    EXPECT_LT(QLineF(QPointF(), rig.tracker->leftPupil()).length(), 0.05);
    ASSERT_GE(rig.modes.size(), 4u);
    EXPECT_EQ(rig.modes.front(), Mode::live);
    EXPECT_EQ(rig.modes.back(), Mode::drowse);
}

TEST(EyeTrackerClock, WithoutBlinksOrClicksTheClockStopsOnceSettled)
{
    Rig rig(quietStyle());
    rig.tracker->start();
    rig.run(5);
    EXPECT_FALSE(rig.clock->isRunning());
    EXPECT_FALSE(rig.seen.contains(Mode::blinkDoze));
}

TEST(EyeTrackerClock, ABlinkWhileDozingIsFollowedAtFullRateAndDozingResumes)
{
    EyeStyle style;
    style.reactsToClicks = false;
    style.sleeps = false;
    Rig rig(style);
    rig.nextDraw = 0; // every blink at the lower end of the range (about 2.4 s)
    rig.tracker->start();
    rig.run(1.5);
    ASSERT_EQ(rig.tracker->clockMode(), Mode::blinkDoze);
    double deepest = 0;
    bool wentLive = false;
    for (int i = 0; i < 400 && !(wentLive && rig.tracker->clockMode() == Mode::blinkDoze); ++i) {
        rig.tick();
        wentLive = wentLive || rig.tracker->clockMode() == Mode::live;
        deepest = std::max(deepest, rig.tracker->lidLeft());
    }
    EXPECT_TRUE(wentLive);
    EXPECT_EQ(rig.tracker->clockMode(), Mode::blinkDoze);
    // The lids visibly closed during the blink.
    EXPECT_GT(deepest, 0.4);
}

TEST(EyeTrackerClock, APointerMoveWakesSleepingEyes)
{
    Rig rig;
    rig.tracker->start();
    rig.run(900);
    ASSERT_FALSE(rig.clock->isRunning());
    ASSERT_EQ(rig.tracker->stage(), EyeWakefulness::Stage::asleep);
    rig.moveTo(QPointF(400, 500)); // far to the right of both eyes
    EXPECT_EQ(rig.tracker->clockMode(), Mode::live);
    rig.run(1);
    EXPECT_EQ(rig.tracker->stage(), EyeWakefulness::Stage::awake);
    EXPECT_LT(rig.tracker->lidLeft(), 0.05);
    // Both pupils turned towards the pointer.
    EXPECT_GT(rig.tracker->leftPupil().x(), 3);
    EXPECT_GT(rig.tracker->rightPupil().x(), 3);
    EXPECT_NEAR(rig.tracker->leftPupil().y(), 0, 0.1);
}

namespace {

struct ReportRun {
    int frames = 0; // pointer reads, one for each frame drawn after a move
    int clockTicks = 0;
    double lastFrameAt = 0;
};

// A second of pointer reports every `every` seconds, the pointer moving a little each time,
// after the eyes were woken and drew their first frame.
ReportRun reportFor(Rig& rig, double every)
{
    rig.moveTo(QPointF(400, 500));
    EXPECT_EQ(rig.tracker->clockMode(), Mode::live);
    rig.tick();
    const int reads = rig.pointer.reads;
    const int ticks = rig.ticks;
    const double start = rig.now;
    const int reports = int(std::lround(1 / every));
    double lastFrameAt = 0;
    for (int i = 1; i <= reports; ++i) {
        rig.advanceTo(start + i * every);
        const int before = rig.pointer.reads;
        rig.moveTo(QPointF(400 + i * 0.2, 500 - i * 0.1));
        if (rig.pointer.reads > before)
            lastFrameAt = rig.now;
    }
    return { rig.pointer.reads - reads, rig.ticks - ticks, lastFrameAt };
}

} // namespace

TEST(EyeTrackerPointer, ReportsAtTheFrameRateDrawEveryFrameWithoutTheClock)
{
    Rig rig(quietStyle());
    rig.tracker->start();
    rig.run(5);
    ASSERT_FALSE(rig.clock->isRunning());
    // Slightly slower than the clock, as a pointer moved 60 times a second is: each report
    // draws its frame, reading the place once, and the clock never wakes on its own.
    const ReportRun run = reportFor(rig, 1.0 / 59);
    EXPECT_EQ(run.clockTicks, 0);
    EXPECT_EQ(run.frames, 59);
    EXPECT_GT(rig.tracker->leftPupil().x(), 3);
}

TEST(EyeTrackerPointer, AFastMouseIsReadOncePerFrameAndTheClockTakesOverWhenItStops)
{
    Rig rig(quietStyle());
    rig.tracker->start();
    rig.run(5);
    // A thousand reports a second make about sixty frames.
    const ReportRun run = reportFor(rig, 0.001);
    EXPECT_EQ(run.clockTicks, 0);
    EXPECT_GE(run.frames, 55);
    EXPECT_LE(run.frames, int(1 / (EyeTracker::liveInterval - EyeTracker::earlyFrame)) + 1);
    // When the reports stop, the clock waits a little longer for one (once more after the
    // frame that read the last reported move), then ticks at its own rate.
    std::vector<double> gaps;
    double last = run.lastFrameAt;
    for (int i = 0; i < 3 && rig.tick(); ++i) {
        gaps.push_back(rig.now - last);
        last = rig.now;
    }
    ASSERT_EQ(gaps.size(), 3u);
    EXPECT_NEAR(gaps[0], EyeTracker::reportWait, 1e-9);
    EXPECT_NEAR(gaps[1], EyeTracker::reportWait, 1e-9);
    EXPECT_NEAR(gaps[2], EyeTracker::liveInterval, 1e-9);
    EXPECT_EQ(rig.tracker->clockMode(), Mode::live);
}

TEST(EyeTrackerPointer, ReportsBetweenFramesWaitForTheClock)
{
    Rig rig(quietStyle());
    rig.tracker->start();
    rig.run(5);
    // Twice the frame rate: every other report draws a frame, those between only mark the
    // pointer as moved.
    const ReportRun run = reportFor(rig, 1.0 / 120);
    EXPECT_EQ(run.clockTicks, 0);
    EXPECT_EQ(run.frames, 60);
}

namespace {

// The deepest each lid closes over the 0.3 s after one click.
std::pair<double, double> winkDepths(ClickBlink kind, bool rightButton, double draw = 0)
{
    EyeStyle style = quietStyle();
    style.reactsToClicks = true;
    style.clickBlink = kind;
    Rig rig(style);
    rig.nextDraw = draw;
    rig.tracker->start();
    rig.run(2);
    rig.pointer.onClick(rightButton);
    double left = 0, right = 0;
    const double until = rig.now + 0.3;
    while (rig.now < until && rig.tick()) {
        left = std::max(left, rig.tracker->lidLeft());
        right = std::max(right, rig.tracker->lidRight());
    }
    rig.run(1);
    EXPECT_LT(rig.tracker->lidLeft(), 0.01);
    EXPECT_LT(rig.tracker->lidRight(), 0.01);
    return { left, right };
}

} // namespace

TEST(EyeTrackerWinks, EachClickClosesTheEyesItsStyleNames)
{
    const auto [leftOfLeft, rightOfLeft] = winkDepths(ClickBlink::matchingSide, false);
    EXPECT_GT(leftOfLeft, 0.3);
    EXPECT_EQ(rightOfLeft, 0);
    const auto [leftOfRight, rightOfRight] = winkDepths(ClickBlink::matchingSide, true);
    EXPECT_EQ(leftOfRight, 0);
    EXPECT_GT(rightOfRight, 0.3);
    const auto [bothLeft, bothRight] = winkDepths(ClickBlink::both, false);
    EXPECT_GT(bothLeft, 0.3);
    EXPECT_DOUBLE_EQ(bothLeft, bothRight);
    // Random: the draw picks the side, whatever the button.
    const auto [lowLeft, lowRight] = winkDepths(ClickBlink::random, true, 0.2);
    EXPECT_GT(lowLeft, 0.3);
    EXPECT_EQ(lowRight, 0);
    const auto [highLeft, highRight] = winkDepths(ClickBlink::random, false, 0.8);
    EXPECT_EQ(highLeft, 0);
    EXPECT_GT(highRight, 0.3);
}

TEST(EyeTrackerWinks, AClickWakesTheEyesAndRestartsTheClock)
{
    EyeStyle style;
    style.blinks = false;
    Rig rig(style);
    rig.tracker->start();
    rig.run(900);
    ASSERT_EQ(rig.tracker->stage(), EyeWakefulness::Stage::asleep);
    ASSERT_FALSE(rig.clock->isRunning());
    rig.pointer.onClick(false);
    EXPECT_EQ(rig.tracker->clockMode(), Mode::live);
    rig.tick();
    EXPECT_EQ(rig.tracker->stage(), EyeWakefulness::Stage::awake);
}

TEST(EyeTrackerPublishing, OnlyVisibleChangesArePublished)
{
    Rig rig(quietStyle());
    rig.pointer.at = QPointF(400, 500);
    rig.tracker->start();
    rig.run(5);
    ASSERT_FALSE(rig.clock->isRunning());
    const int settled = rig.published;
    EXPECT_GT(settled, 1);
    // A pointer move that turns the pupils by far less than 0.08 pt publishes nothing.
    rig.moveTo(QPointF(400, 500.5));
    rig.run(3);
    EXPECT_EQ(rig.published, settled);
    // A real move publishes.
    rig.moveTo(QPointF(100, 900));
    rig.tick();
    EXPECT_EQ(rig.published, settled + 1);
}

TEST(EyeTrackerPublishing, TiredEyesSettleAtTheirLidAndPublishTheFlag)
{
    Rig rig(quietStyle());
    rig.tracker->start();
    rig.run(5);
    ASSERT_FALSE(rig.clock->isRunning());
    const int before = rig.published;
    rig.tracker->setTired(true);
    EXPECT_EQ(rig.tracker->clockMode(), Mode::live);
    rig.tick();
    EXPECT_EQ(rig.published, before + 1);
    rig.run(5);
    EXPECT_NEAR(rig.tracker->lidLeft(), EyeTracker::tiredLid, 0.01);
    EXPECT_NEAR(rig.tracker->lidRight(), EyeTracker::tiredLid, 0.01);
    EXPECT_FALSE(rig.clock->isRunning());
    // Storing the same value again changes nothing.
    rig.tracker->setTired(true);
    EXPECT_FALSE(rig.clock->isRunning());
}

TEST(EyeTrackerPublishing, TiredEyesStillBlinkShut)
{
    EyeStyle style;
    style.reactsToClicks = false;
    style.sleeps = false;
    Rig rig(style);
    rig.tracker->setTired(true);
    rig.tracker->start();
    rig.run(2);
    EXPECT_EQ(rig.tracker->clockMode(), Mode::blinkDoze);
    double lowest = 1, deepest = 0;
    rig.run(8);
    for (int i = 0; i < 400; ++i) {
        rig.tick();
        lowest = std::min(lowest, rig.tracker->lidLeft());
        deepest = std::max(deepest, rig.tracker->lidLeft());
    }
    EXPECT_GT(lowest, EyeTracker::tiredLid - 0.01); // never opens beyond the tired floor
    EXPECT_GT(deepest, 0.5);
}
