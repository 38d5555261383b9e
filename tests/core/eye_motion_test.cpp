#include "core/eye_motion.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <vector>

using namespace nimbra;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// Hands out the given fractions of the range in turn and records each range it was asked for.
struct ScriptedDraw {
    std::vector<double> fractions;
    std::shared_ptr<std::vector<ClosedRange<double>>> asked = std::make_shared<std::vector<ClosedRange<double>>>();
    std::shared_ptr<size_t> next = std::make_shared<size_t>(0);

    RandomDraw source()
    {
        return [*this](double lower, double upper) {
            asked->push_back({ lower, upper });
            const double fraction = fractions[std::min(*next, fractions.size() - 1)];
            ++*next;
            return lower + (upper - lower) * fraction;
        };
    }
};

EyeStyle styleWith(double drowsyAfter, double asleepAfter)
{
    EyeStyle style;
    style.drowsyAfter = drowsyAfter;
    style.asleepAfter = asleepAfter;
    return style;
}

} // namespace

TEST(EyeStyle, DefaultsAndChoices)
{
    const EyeStyle& style = EyeStyle::defaultStyle();
    EXPECT_EQ(style, EyeStyle {});
    EXPECT_EQ(style.diameter, 18);
    EXPECT_EQ(style.scleraHex, "FFFFFF");
    EXPECT_EQ(style.pupilHex, "111318");
    EXPECT_EQ(style.clickBlink, ClickBlink::matchingSide);
    EXPECT_EQ(EyeStyle::diameterRange.lower, 9);
    EXPECT_EQ(EyeStyle::diameterRange.upper, 20);

    ASSERT_EQ(allCases<ClickBlink>().size(), 3u);
    EXPECT_EQ(rawValue(allCases<ClickBlink>()[1]), "matchingSide");
    EXPECT_EQ(fromRawValue<ClickBlink>(u"random"), ClickBlink::random);
    EXPECT_EQ(fromRawValue<ClickBlink>(u"Random"), std::nullopt);
    EXPECT_EQ(title(ClickBlink::matchingSide), "The eye on that side");
    EXPECT_EQ(detail(ClickBlink::random), "One eye at random, so it never looks mechanical.");

    ASSERT_EQ(allCases<BlinkFrequency>().size(), 3u);
    EXPECT_EQ(allCases<BlinkFrequency>()[0], BlinkFrequency::rare);
    EXPECT_EQ(title(BlinkFrequency::occasional), "Now and then");
    EXPECT_EQ(fromRawValue<BlinkFrequency>(u"often"), BlinkFrequency::often);
    EXPECT_EQ(timing(BlinkFrequency::rare).interval, 11.5);
    EXPECT_EQ(timing(BlinkFrequency::often).variation, 0.49);
    // The middle preset is the default style's timing.
    EXPECT_EQ(timing(BlinkFrequency::occasional).interval, style.blinkInterval);
    EXPECT_EQ(timing(BlinkFrequency::occasional).variation, style.blinkVariation);

    EXPECT_EQ(rawValue(EyeWakefulness::Stage::drowsy), "drowsy");
    EXPECT_EQ(fromRawValue<EyeWakefulness::Stage>(u"asleep"), EyeWakefulness::Stage::asleep);
}

TEST(EyeStyle, BlinkRangeClampsIntervalAndVariation)
{
    const auto defaults = EyeStyle {}.blinkRange();
    EXPECT_NEAR(defaults.lower, 2.40075, 1e-9);
    EXPECT_NEAR(defaults.upper, 7.49925, 1e-9);

    EyeStyle style;
    style.blinkInterval = 0.1;
    style.blinkVariation = 0;
    EXPECT_NEAR(style.blinkRange().lower, 0.5, 1e-12);
    EXPECT_NEAR(style.blinkRange().upper, 0.65, 1e-12);

    style.blinkInterval = 1000;
    style.blinkVariation = 2;
    EXPECT_NEAR(style.blinkRange().lower, 60, 1e-9);
    EXPECT_NEAR(style.blinkRange().upper, 1140, 1e-9);
}

TEST(EyeStyle, NumbersThatAreNoNumberNeverReachTheRules)
{
    EyeStyle style;
    style.blinkInterval = kNaN;
    style.blinkVariation = kNaN;
    EXPECT_EQ(style.blinkRange().lower, EyeStyle {}.blinkRange().lower);
    EXPECT_EQ(style.blinkRange().upper, EyeStyle {}.blinkRange().upper);

    style.blinkInterval = kInf;
    style.blinkVariation = -kInf;
    EXPECT_EQ(style.blinkRange().lower, 600);
    EXPECT_EQ(style.blinkRange().upper, 600.15);

    EyeStyle broken;
    broken.diameter = kInf;
    broken.followSpeed = -kInf;
    broken.separation = kNaN;
    broken.blinkInterval = -kInf;
    broken.blinkVariation = kNaN;
    broken.drowsyAfter = kInf;
    broken.asleepAfter = kNaN;
    const EyeStyle mended = broken.sanitized();
    EXPECT_EQ(mended.diameter, 20);
    EXPECT_EQ(mended.followSpeed, 0);
    EXPECT_EQ(mended.separation, 0.34);
    EXPECT_EQ(mended.blinkInterval, 0.5);
    EXPECT_EQ(mended.blinkVariation, 0.515);
    EXPECT_EQ(mended.drowsyAfter, 150);
    EXPECT_EQ(mended.asleepAfter, 420);

    EyeStyle nanDiameter;
    nanDiameter.diameter = kNaN;
    EXPECT_EQ(nanDiameter.sanitized().diameter, 18);
    // Finite values are the user's, even outside the slider's range.
    EyeStyle large;
    large.diameter = 30;
    large.followSpeed = 2;
    EXPECT_EQ(large.sanitized(), large);
}

TEST(Drowse, WakefulnessFollowsTheRestingTime)
{
    const EyeStyle style;
    EXPECT_EQ(Drowse::wakefulness(150, style), EyeWakefulness::awake());
    EXPECT_EQ(Drowse::wakefulness(285, style), EyeWakefulness::drowsy(0.5));
    EXPECT_EQ(Drowse::wakefulness(420, style), EyeWakefulness::asleep());

    EyeStyle awake = style;
    awake.sleeps = false;
    EXPECT_TRUE(Drowse::wakefulness(1e9, awake).isAwake());

    // Drowsiness never starts before a second, and sleep comes at least five seconds later.
    const EyeStyle quick = styleWith(0, 0);
    EXPECT_TRUE(Drowse::wakefulness(1, quick).isAwake());
    EXPECT_EQ(Drowse::wakefulness(3.5, quick).stage(), EyeWakefulness::Stage::drowsy);
    EXPECT_DOUBLE_EQ(Drowse::wakefulness(3.5, quick).drowsiness(), 0.5);
    EXPECT_TRUE(Drowse::wakefulness(6, quick).isAsleep());

    const EyeStyle inverted = styleWith(150, 100);
    EXPECT_FALSE(Drowse::wakefulness(154.9, inverted).isAsleep());
    EXPECT_TRUE(Drowse::wakefulness(155, inverted).isAsleep());

    EXPECT_TRUE(Drowse::wakefulness(kNaN, style).isAwake());
    EXPECT_EQ(Drowse::wakefulness(285, styleWith(kNaN, kNaN)), EyeWakefulness::drowsy(0.5));
    EXPECT_TRUE(Drowse::wakefulness(1e12, styleWith(kInf, kInf)).isAwake());
}

TEST(Drowse, LidSinksInBreathesAndNods)
{
    // Before onset the lid is open; after 1.2 s it reaches its full height.
    EXPECT_EQ(Drowse::lid(3, 1, 0), 0);
    // t = 6.875: no nod (p > 1.9), the breathing term is at its top.
    EXPECT_NEAR(Drowse::lid(6.875, 0, 5), 0.34 + 0.05, 1e-9);
    EXPECT_NEAR(Drowse::lid(6.875, 0, 0.6), (0.34 + 0.05) / 2, 1e-9);
    // t = 0.95: the middle of a nod.
    const double base = 0.34 + 0.42 * 0.5;
    const double nod = (0.35 + 0.65 * 0.5) * (0.97 - base);
    EXPECT_NEAR(Drowse::lid(0.95, 0.5, 2), base + 0.05 * std::sin(2 * M_PI * 0.95 / 5.5) + nod, 1e-9);
    // Nod (8.5 s) and breath (5.5 s) meet again after 93.5 s.
    EXPECT_NEAR(Drowse::lid(0.95 + 93.5, 0.5, 2), Drowse::lid(0.95, 0.5, 2), 1e-9);
    // Before time zero the remainder keeps its sign, so the whole negative stretch nods.
    const double s = std::sin(M_PI * -6.875 / 1.9);
    EXPECT_NEAR(Drowse::lid(-6.875, 0, 5), 0.34 - 0.05 + 0.35 * s * s * (0.97 - 0.34), 1e-9);
    for (double t = -20; t < 20; t += 0.37) {
        const double lid = Drowse::lid(t, 5, 9);
        EXPECT_GE(lid, 0);
        EXPECT_LE(lid, 1);
    }
    EXPECT_EQ(Drowse::lid(1, kNaN, kNaN), 0);
}

TEST(Drowse, GazeWandersAndSinks)
{
    const QPointF left = Drowse::gaze(0, 1, 10, 0);
    const QPointF right = Drowse::gaze(0, 1, 10, 1);
    EXPECT_NEAR(left.x(), -1.2, 1e-9);
    EXPECT_NEAR(right.x(), 1.2, 1e-9);
    EXPECT_NEAR(left.y(), 10 * (0.28 * std::sin(1.1) * 0.55 - 0.64), 1e-9);
    EXPECT_EQ(Drowse::gaze(0, 1, 10, 7), right);
    // Drowsier eyes sink further.
    EXPECT_LT(Drowse::gaze(3, 1, 10, 0).y(), Drowse::gaze(3, 0, 10, 0).y());
}

TEST(EyeGeometry, PupilOffsetLooksTowardsThePointer)
{
    const QPointF centre(100, 50);
    EXPECT_EQ(EyeGeometry::pupilOffset(centre, centre, 4, true), QPointF(0, 0));

    const QPointF half = EyeGeometry::pupilOffset(centre, centre + QPointF(27, 36), 4, false);
    EXPECT_NEAR(half.x(), 2 * 0.6, 1e-9);
    EXPECT_NEAR(half.y(), 2 * 0.8, 1e-9);

    const QPointF near = EyeGeometry::pupilOffset(centre, centre + QPointF(0, -10), 4, true);
    EXPECT_NEAR(near.x(), 0, 1e-12);
    EXPECT_NEAR(near.y(), -4 * 0.148232, 1e-5);

    // Far away: full travel; crossing adds nothing beyond 220 points.
    const QPointF far = EyeGeometry::pupilOffset(centre, centre + QPointF(-300, 0), 4, true);
    EXPECT_NEAR(far.x(), -4, 1e-12);
    EXPECT_NEAR(
        std::hypot(EyeGeometry::pupilOffset(centre, centre + QPointF(110, 0), 4, true).x(), 0), 4 * 1.175, 1e-9);

    EXPECT_EQ(EyeGeometry::pupilOffset(centre, QPointF(kNaN, 0), 4, true), QPointF(0, 0));
    EXPECT_EQ(EyeGeometry::pupilOffset(centre, QPointF(kInf, 0), 4, true), QPointF(0, 0));
}

TEST(EyeGeometry, EasingIsFrameRateIndependent)
{
    const QPointF from(0, 0), to(10, -20);
    EXPECT_EQ(EyeGeometry::eased(from, to, 0.55, 0), from);
    const QPointF step = EyeGeometry::eased(from, to, 1, 1.0 / 60);
    EXPECT_NEAR(step.x(), 10 * 0.99, 1e-9);

    // Two half frames land where one whole frame does.
    const QPointF once = EyeGeometry::eased(from, to, 0.3, 1.0 / 60);
    const QPointF twice = EyeGeometry::eased(EyeGeometry::eased(from, to, 0.3, 1.0 / 120), to, 0.3, 1.0 / 120);
    EXPECT_NEAR(once.x(), twice.x(), 1e-9);
    EXPECT_NEAR(once.y(), twice.y(), 1e-9);

    // A very slow or unknown speed moves at the slow rate, never backwards or to NaN.
    const QPointF slow = EyeGeometry::eased(from, to, 0.01, 1.0 / 60);
    EXPECT_NEAR(slow.x(), 10 * 0.05, 1e-9);
    EXPECT_EQ(EyeGeometry::eased(from, to, kNaN, 1.0 / 60), slow);
    EXPECT_EQ(EyeGeometry::eased(from, to, 0.5, -1), from);
    EXPECT_EQ(EyeGeometry::eased(from, to, 0.5, kNaN), from);
}

TEST(BlinkClock, DrawsWaitsFromItsSource)
{
    ScriptedDraw script { { 0.5, 0, 1 } };
    BlinkClock clock(100, { 2, 6 }, script.source());
    EXPECT_EQ(clock.nextBlinkAt, 104);
    EXPECT_FALSE(clock.isBlinking());

    // Retiming keeps an earlier blink and redraws one beyond the new range.
    clock.interval = { 1, 5 };
    clock.retime(100);
    EXPECT_EQ(clock.nextBlinkAt, 104);
    clock.interval = { 0.5, 2 };
    clock.retime(100);
    EXPECT_EQ(clock.nextBlinkAt, 100.5);
    ASSERT_EQ(script.asked->size(), 2u);
    EXPECT_EQ((*script.asked)[1].upper, 2);

    // The system source stays inside the range.
    for (int i = 0; i < 1000; ++i) {
        const double value = systemRandomDraw(2.4, 7.5);
        ASSERT_GE(value, 2.4);
        ASSERT_LE(value, 7.5);
    }
    EXPECT_EQ(systemRandomDraw(3, 3), 3);
}

TEST(BlinkClock, ABlinkClosesAndOpensInSixteenHundredths)
{
    ScriptedDraw script { { 0.0, 0.25 } };
    BlinkClock clock(6, { 4, 8 }, script.source());
    EXPECT_EQ(clock.nextBlinkAt, 10);
    EXPECT_EQ(clock.lidAmount(9.99), 0);
    EXPECT_FALSE(clock.isBlinking());
    // The blink starts at 10 but the lid still reads open for that call.
    EXPECT_EQ(clock.lidAmount(10), 0);
    ASSERT_TRUE(clock.isBlinking());
    EXPECT_NEAR(clock.lidAmount(10.04), 0.5, 1e-9);
    EXPECT_NEAR(clock.lidAmount(10.08), 1, 1e-9);
    EXPECT_NEAR(clock.lidAmount(10.12), 0.5, 1e-9);
    // A click during the blink changes nothing.
    const BlinkClock during = clock;
    clock.blinkNow(10.13);
    EXPECT_EQ(clock, during);

    EXPECT_EQ(clock.lidAmount(10.16), 0);
    EXPECT_FALSE(clock.isBlinking());
    EXPECT_NEAR(clock.nextBlinkAt, 10.16 + 5, 1e-9);

    clock.blinkNow(11);
    EXPECT_EQ(clock.blinkStartedAt, 11);
    EXPECT_NEAR(clock.nextBlinkAt, 15.16, 1e-9);
}

TEST(BlinkClock, StatelessCurveForSingleEyeBlinks)
{
    EXPECT_EQ(BlinkClock::lid(10, 9.99), std::nullopt);
    EXPECT_EQ(BlinkClock::lid(10, 10), 0.0);
    EXPECT_NEAR(*BlinkClock::lid(10, 10.04), 0.5, 1e-9);
    EXPECT_NEAR(*BlinkClock::lid(10, 10.12), 0.5, 1e-9);
    EXPECT_EQ(BlinkClock::lid(10, 10.16), std::nullopt);
    EXPECT_EQ(BlinkClock::lid(10, kNaN), std::nullopt);
}
