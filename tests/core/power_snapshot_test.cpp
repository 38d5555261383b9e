#include "core/power_snapshot.h"

#include <gtest/gtest.h>

using namespace nimbra;
using Event = PowerSnapshot::Event;
using Source = PowerSnapshot::Source;

namespace {

PowerSnapshot reading(int percentage, Source source, bool charging = false, bool charged = false)
{
    PowerSnapshot snapshot;
    snapshot.percentage = percentage;
    snapshot.source = source;
    snapshot.isCharging = charging;
    snapshot.isCharged = charged;
    return snapshot;
}

const QSet<int> levels { 20, 10, 5 };

} // namespace

TEST(PowerSnapshot, MinutesFromIOKit)
{
    EXPECT_EQ(PowerSnapshot::minutesFromIOKit(0), std::nullopt);
    EXPECT_EQ(PowerSnapshot::minutesFromIOKit(-1), std::nullopt);
    EXPECT_EQ(PowerSnapshot::minutesFromIOKit(65535), std::nullopt);
    EXPECT_EQ(PowerSnapshot::minutesFromIOKit(600), 600);
    EXPECT_EQ(PowerSnapshot::minutesFromIOKit(1), 1);
}

TEST(PowerSnapshot, StatusText)
{
    EXPECT_EQ(reading(100, Source::wallPower, true, true).statusText(), "Charged");
    EXPECT_EQ(reading(50, Source::wallPower, true).statusText(), "Charging");
    EXPECT_EQ(reading(50, Source::battery).statusText(), "On Battery");
    PowerSnapshot saving = reading(50, Source::battery);
    saving.isLowPowerMode = true;
    EXPECT_EQ(saving.statusText(), "Low Power");
    EXPECT_EQ(reading(96, Source::wallPower).statusText(), "Charged");
    EXPECT_EQ(reading(95, Source::wallPower).statusText(), "Charged");
    EXPECT_EQ(reading(94, Source::wallPower).statusText(), "On Power");
    // "Charged" on battery is not a wall-power state.
    EXPECT_EQ(reading(100, Source::battery, false, true).statusText(), "On Battery");
}

TEST(PowerSnapshot, EstimateText)
{
    PowerSnapshot onBattery = reading(50, Source::battery);
    EXPECT_EQ(onBattery.estimateText(), std::nullopt);
    for (auto [minutes, text] :
        { std::pair { 59, "59m" }, { 60, "1h" }, { 61, "1h 1m" }, { 45, "45m" }, { 120, "2h" }, { 65, "1h 5m" } }) {
        onBattery.minutesToEmpty = minutes;
        EXPECT_EQ(onBattery.estimateText(), QString::fromLatin1(text)) << minutes;
    }
    onBattery.minutesToEmpty = 0;
    EXPECT_EQ(onBattery.estimateText(), std::nullopt);
    onBattery.minutesToFull = 30; // not the figure that counts on battery
    onBattery.minutesToEmpty.reset();
    EXPECT_EQ(onBattery.estimateText(), std::nullopt);

    PowerSnapshot charging = reading(50, Source::wallPower, true);
    charging.minutesToFull = 90;
    charging.minutesToEmpty = 10;
    EXPECT_EQ(charging.estimateText(), "1h 30m");
    charging.isCharging = false;
    EXPECT_EQ(charging.estimateText(), std::nullopt);
}

TEST(PowerSnapshot, LowOnlyOnBattery)
{
    EXPECT_TRUE(reading(20, Source::battery).isLow());
    EXPECT_FALSE(reading(21, Source::battery).isLow());
    EXPECT_FALSE(reading(5, Source::wallPower).isLow());
    EXPECT_TRUE(reading(5, Source::wallPower).isOnWallPower());
}

TEST(PowerSnapshot, EventsFromSourceAndCharge)
{
    EXPECT_EQ(reading(50, Source::battery).event(std::nullopt, levels), std::nullopt);
    EXPECT_EQ(reading(50, Source::wallPower).event(reading(50, Source::battery), levels), Event::pluggedIn());
    // Unplugging wins over a level crossed in the same step.
    EXPECT_EQ(reading(4, Source::battery).event(reading(100, Source::wallPower), levels), Event::unplugged());
    EXPECT_EQ(reading(100, Source::wallPower, false, true).event(reading(99, Source::wallPower, true), levels),
        Event::charged());
    EXPECT_EQ(reading(100, Source::wallPower, false, true).event(reading(100, Source::wallPower, false, true), levels),
        std::nullopt);
    EXPECT_EQ(reading(100, Source::battery, false, true).event(reading(100, Source::battery), levels), std::nullopt);
}

TEST(PowerSnapshot, LowEventsForTheLowestLevelCrossed)
{
    const auto step = [](int from, int to, Source source = Source::battery) {
        return reading(to, source).event(reading(from, source), levels);
    };
    EXPECT_EQ(step(21, 20), Event::low(20));
    EXPECT_EQ(step(20, 19), std::nullopt);
    EXPECT_EQ(step(22, 4), Event::low(5));
    EXPECT_EQ(step(10, 10), std::nullopt);
    EXPECT_EQ(step(4, 30), std::nullopt);
    EXPECT_EQ(step(11, 10, Source::wallPower), Event::low(10));
    EXPECT_NE(Event::low(10), Event::low(5));
    EXPECT_EQ(
        reading(4, Source::battery).event(reading(22, Source::battery), std::set<int> { 20, 10, 5 }), Event::low(5));
}
