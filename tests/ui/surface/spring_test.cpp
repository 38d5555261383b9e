#include "ui/surface/spring.h"

#include <QTimer>
#include <cmath>
#include <gtest/gtest.h>

#include "support/test_support.h"

using nimbra::FrameTimer;
using nimbra::Spring;
using nimbra::SpringValue;

namespace {

// Smallest displacement reached over the first `span` seconds, sampled finely.
double lowestDisplacement(const Spring& spring, double x0, double span)
{
    double lowest = x0;
    for (double t = 0; t <= span; t += 0.001)
        lowest = std::min(lowest, spring.evaluate(x0, 0, t).displacement);
    return lowest;
}

} // namespace

TEST(Spring, DampingFractionDecidesOvershoot)
{
    // The expanded surface's spring bounces a little; the collapsing one never passes its target.
    EXPECT_LT(lowestDisplacement({ 0.24, 0.74 }, 100, 1.0), -0.5);
    EXPECT_GE(lowestDisplacement({ 0.2, 1.0 }, 100, 1.0), 0.0);
    EXPECT_GE(lowestDisplacement({ 0.2, 1.6 }, 100, 1.0), 0.0);
}

TEST(Spring, SettlesWithinAFewResponses)
{
    for (const Spring spring : { Spring { 0.24, 0.74 }, Spring { 0.2, 1.0 }, Spring { 0.3, 1.5 } }) {
        const auto late = spring.evaluate(200, -500, 6 * spring.response);
        EXPECT_LT(std::abs(late.displacement), 0.5) << spring.dampingFraction;
        const auto early = spring.evaluate(200, 0, 0.25 * spring.response);
        EXPECT_GT(early.displacement, 1) << spring.dampingFraction;
    }
}

TEST(Spring, VelocityIsTheDerivativeOfPosition)
{
    for (const Spring spring : { Spring { 0.24, 0.74 }, Spring { 0.2, 1.0 }, Spring { 0.3, 1.5 }, Spring { 0.5, 0 } }) {
        for (double t : { 0.01, 0.05, 0.13, 0.4 }) {
            const double h = 1e-6;
            const double numeric
                = (spring.evaluate(40, 300, t + h).displacement - spring.evaluate(40, 300, t - h).displacement)
                / (2 * h);
            EXPECT_NEAR(spring.evaluate(40, 300, t).velocity, numeric, 1e-3 * std::max(1.0, std::abs(numeric)))
                << spring.dampingFraction << " at " << t;
        }
    }
}

TEST(Spring, DegenerateInputSnapsInsteadOfExploding)
{
    EXPECT_EQ(Spring({ 0, 1 }).evaluate(50, 0, 0.01).displacement, 0);
    EXPECT_EQ(Spring({ NAN, 1 }).evaluate(50, 0, 0.01).displacement, 0);
    EXPECT_EQ(Spring({ 0.2, 1 }).evaluate(INFINITY, 0, 0.01).displacement, 0);
    EXPECT_TRUE(std::isfinite(Spring({ 0.2, NAN }).evaluate(50, 0, 0.01).displacement));
    // No time passed: still where it was released.
    EXPECT_EQ(Spring({ 0.2, 1 }).evaluate(50, 3, 0).displacement, 50);
}

TEST(SpringValue, RetargetingMidFlightKeepsPositionAndVelocity)
{
    SpringValue value(0);
    value.animate(100, { 0.24, 0.74 }, 10.0);
    const double before = value.value(10.05);
    const double speed = value.velocity(10.05);
    ASSERT_GT(before, 0);
    ASSERT_LT(before, 100);
    value.animate(20, { 0.2, 1.0 }, 10.05);
    EXPECT_NEAR(value.value(10.05), before, 1e-9);
    EXPECT_NEAR(value.velocity(10.05), speed, 1e-6);
    EXPECT_EQ(value.target(), 20);
    EXPECT_TRUE(value.isMoving(10.06));
    EXPECT_FALSE(value.isMoving(13));
    EXPECT_EQ(value.value(13), 20);
}

TEST(SpringValue, RestsWithoutMotionAndIgnoresNonNumbers)
{
    SpringValue value(5);
    EXPECT_FALSE(value.isMoving(0));
    value.animate(5, { 0.2, 1 }, 1);
    EXPECT_FALSE(value.isMoving(1));
    value.animate(NAN, { 0.2, 1 }, 1);
    EXPECT_EQ(value.target(), 5);
    value.set(9);
    EXPECT_EQ(value.value(2), 9);
    EXPECT_FALSE(value.isMoving(2));
}

TEST(FrameTimer, AimsEachFrameAtItsOwnHundredAndTwentiethOfASecond)
{
    // Whole milliseconds 8 or 9 apart, never drifting: 120 frames take exactly one second.
    EXPECT_EQ(FrameTimer::due(1), 8);
    EXPECT_EQ(FrameTimer::due(2), 17);
    EXPECT_EQ(FrameTimer::due(3), 25);
    EXPECT_EQ(FrameTimer::due(120), 1000);
    EXPECT_EQ(FrameTimer::due(1200), 10000);
    for (int frame = 1; frame <= 240; ++frame) {
        const int gap = FrameTimer::due(frame) - FrameTimer::due(frame - 1);
        EXPECT_TRUE(gap == 8 || gap == 9) << frame;
    }
}

TEST(FrameTimer, RunsOnlyBetweenStartAndStop)
{
    FrameTimer timer;
    int frames = 0;
    timer.onFrame = [&] {
        if (++frames == 5)
            timer.stop();
    };
    EXPECT_FALSE(timer.isActive());
    timer.start();
    EXPECT_TRUE(timer.isActive());
    EXPECT_TRUE(nimbra::test::waitUntil([&] { return !timer.isActive(); }, 2000));
    EXPECT_EQ(frames, 5);
    // A timer started now for three frames' time fires after any frame a stopped timer could
    // still have had pending.
    bool later = false;
    QTimer::singleShot(FrameTimer::due(3), Qt::PreciseTimer, [&] { later = true; });
    EXPECT_TRUE(nimbra::test::waitUntil([&] { return later; }, 2000));
    EXPECT_EQ(frames, 5);

    // Stopped and started again from inside a frame, it keeps one frame pending, not two.
    frames = 0;
    timer.onFrame = [&] {
        ++frames;
        timer.stop();
        if (frames < 3)
            timer.start();
    };
    timer.start();
    EXPECT_TRUE(nimbra::test::waitUntil([&] { return !timer.isActive(); }, 2000));
    later = false;
    QTimer::singleShot(FrameTimer::due(3), Qt::PreciseTimer, [&] { later = true; });
    EXPECT_TRUE(nimbra::test::waitUntil([&] { return later; }, 2000));
    EXPECT_EQ(frames, 3);
}
