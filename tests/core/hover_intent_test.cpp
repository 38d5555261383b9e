#include "core/hover_intent.h"

#include <gtest/gtest.h>

using namespace nimbra;
using Phase = HoverIntent::Phase;
using Sample = HoverIntent::Sample;

namespace {

Sample inside(double t, double x = 0, double y = 0)
{
    return Sample { QPointF(x, y), t, true, false };
}
Sample outside(double t, double x = 0, double y = -40)
{
    return Sample { QPointF(x, y), t, false, false };
}

HoverIntent::Configuration config(double dwell, double grace, double ceiling)
{
    return { dwell, grace, ceiling };
}

} // namespace

TEST(HoverIntent, StillPointerEngagesOnceTheDwellHasPassed)
{
    HoverIntent hover(HoverIntent::Configuration::standard());
    EXPECT_EQ(hover.phase(), Phase::away);
    EXPECT_EQ(hover.update(inside(10.0)), Phase::arming);
    EXPECT_EQ(hover.update(inside(10.1)), Phase::arming);
    EXPECT_EQ(hover.update(inside(10.24)), Phase::arming);
    EXPECT_EQ(hover.update(inside(10.26)), Phase::engaged);
    EXPECT_EQ(hover.phase(), Phase::engaged);
}

TEST(HoverIntent, ZeroDwellEngagesOnTheFirstInsideSample)
{
    HoverIntent hover(config(0, 0.1, 900));
    EXPECT_EQ(hover.update(inside(1.0)), Phase::engaged);
}

TEST(HoverIntent, SamplesAtTheSameTimeCountAsStandingStill)
{
    HoverIntent hover(config(0, 0.1, 900));
    hover.update(outside(1.0, 0, 0));
    // 100 points in no time would be infinite speed and restart arming.
    EXPECT_EQ(hover.update(inside(1.0, 100, 0)), Phase::engaged);
}

TEST(HoverIntent, FastSweepNeverEngages)
{
    HoverIntent hover(HoverIntent::Configuration::standard());
    for (int i = 0; i <= 100; ++i) // 20 points per 10 ms: 2000 pt/s
        EXPECT_EQ(hover.update(inside(i * 0.01, i * 20.0, 0)), Phase::arming) << i;

    // Slowing down restarts the dwell from the last fast sample.
    EXPECT_EQ(hover.update(inside(1.2, 2000, 0)), Phase::arming);
    EXPECT_EQ(hover.update(inside(1.26, 2000, 0)), Phase::engaged);
}

TEST(HoverIntent, SpeedAtTheCeilingDoesNotRestart)
{
    HoverIntent hover(config(0.2, 0.1, 900));
    hover.update(inside(0.0, 0, 0));
    // 3-4-5 triangle: 90 points in 0.1 s is exactly 900 pt/s.
    EXPECT_EQ(hover.update(inside(0.1, 54, 72)), Phase::arming);
    EXPECT_EQ(hover.update(inside(0.2, 54, 72)), Phase::engaged);
}

TEST(HoverIntent, NegativeCeilingRestartsOnEveryInsideSample)
{
    HoverIntent hover(config(0.1, 0.1, -1));
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(hover.update(inside(i * 0.1)), Phase::arming);
}

TEST(HoverIntent, EngagedSurvivesABriefExit)
{
    HoverIntent hover(HoverIntent::Configuration::standard());
    hover.update(inside(0));
    ASSERT_EQ(hover.update(inside(0.3)), Phase::engaged);
    EXPECT_EQ(hover.update(outside(0.35)), Phase::engaged);
    EXPECT_EQ(hover.update(outside(0.44)), Phase::engaged);
    // Once engaged, speed is not looked at.
    EXPECT_EQ(hover.update(inside(0.45, 500, 0)), Phase::engaged);
    // Coming back reset the exit time, so a new exit gets the whole grace again.
    EXPECT_EQ(hover.update(outside(0.5)), Phase::engaged);
    EXPECT_EQ(hover.update(outside(0.59)), Phase::engaged);
    EXPECT_EQ(hover.update(outside(0.61)), Phase::away);
}

TEST(HoverIntent, ArmingDwellGoesOnAfterABriefExit)
{
    HoverIntent hover(HoverIntent::Configuration::standard());
    hover.update(inside(0));
    EXPECT_EQ(hover.update(outside(0.05, 0, 0)), Phase::arming);
    EXPECT_EQ(hover.update(inside(0.1)), Phase::arming);
    EXPECT_EQ(hover.update(inside(0.25)), Phase::engaged);
}

TEST(HoverIntent, LeavingForTheGraceClearsTheDwell)
{
    HoverIntent hover(HoverIntent::Configuration::standard());
    hover.update(inside(0));
    EXPECT_EQ(hover.update(outside(0.1, 0, 0)), Phase::arming);
    EXPECT_EQ(hover.update(outside(0.2, 0, 0)), Phase::away);
    EXPECT_EQ(hover.update(inside(0.3)), Phase::arming);
    EXPECT_EQ(hover.update(inside(0.5)), Phase::arming);
    EXPECT_EQ(hover.update(inside(0.55)), Phase::engaged);
}

TEST(HoverIntent, ZeroGraceDropsOnTheFirstOutsideSample)
{
    HoverIntent hover(config(0, 0, 900));
    ASSERT_EQ(hover.update(inside(0)), Phase::engaged);
    EXPECT_EQ(hover.update(outside(0.01)), Phase::away);
}

TEST(HoverIntent, SuppressionDropsAtOnce)
{
    HoverIntent hover(HoverIntent::Configuration::standard());
    hover.update(inside(0));
    ASSERT_EQ(hover.update(inside(0.3)), Phase::engaged);
    EXPECT_EQ(hover.update(Sample { QPointF(0, 0), 0.31, true, true }), Phase::away);
    // The dwell starts over.
    EXPECT_EQ(hover.update(inside(0.4)), Phase::arming);
    EXPECT_EQ(hover.update(inside(0.64)), Phase::arming);
    EXPECT_EQ(hover.update(inside(0.65)), Phase::engaged);
}

TEST(HoverIntent, CancelKeepsTheLastSampleForSpeed)
{
    HoverIntent hover(config(0, 0.5, 900));
    ASSERT_EQ(hover.update(inside(0, 0, 0)), Phase::engaged);
    hover.cancel();
    EXPECT_EQ(hover.phase(), Phase::away);
    // Measured against the sample before the cancel: 100 points in 10 ms.
    EXPECT_EQ(hover.update(inside(0.01, 100, 0)), Phase::arming);
    EXPECT_EQ(hover.update(inside(0.02, 100, 0)), Phase::engaged);
}

TEST(HoverIntent, NewConfigurationAppliesFromTheNextSample)
{
    HoverIntent hover(HoverIntent::Configuration::deliberate());
    hover.update(inside(0));
    EXPECT_EQ(hover.update(inside(0.2)), Phase::arming);
    hover.setConfiguration(HoverIntent::Configuration::relaxed());
    EXPECT_EQ(hover.configuration(), HoverIntent::Configuration::relaxed());
    EXPECT_EQ(hover.update(inside(0.2)), Phase::engaged);
}
