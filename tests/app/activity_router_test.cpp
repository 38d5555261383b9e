#include "app/activity_router.h"

#include "core/nimbra_settings.h"
#include "modules/level/system_level_monitor.h"
#include "modules/power/power_monitor.h"

#include <gtest/gtest.h>

using namespace nimbra;

namespace {
SystemLevel volume(double value)
{
    return SystemLevel(SystemLevel::Kind::volume, value, false, true, std::nullopt);
}
SystemLevel brightness(double value)
{
    return SystemLevel(SystemLevel::Kind::brightness, value, false, true, std::nullopt);
}
SystemLevel backlight(double value)
{
    return SystemLevel(SystemLevel::Kind::keyboardBacklight, value, false, false, std::nullopt);
}

struct Routing : ::testing::Test {
    Routing() { settings.setHudReplacement(true); }
    NimbraSettings settings { std::make_shared<MemorySettingsStorage>() };
    ActivityRouter router { settings };
};
} // namespace

TEST_F(Routing, LevelActivitiesCarryRisingTokensPrioritiesByTheUsersOrderAndTheirDuration)
{
    const auto first = router.levelKeyChanged(volume(0.5), 10.0);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->token, 1u);
    EXPECT_EQ(first->module, SystemLevelMonitor::moduleID);
    EXPECT_EQ(first->category, ActivityCategory::volume);
    EXPECT_EQ(first->priority, 40);
    EXPECT_DOUBLE_EQ(first->duration, 1.3);

    const auto second = router.levelKeyChanged(brightness(0.25), 10.1);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->token, 2u);
    EXPECT_EQ(second->category, ActivityCategory::brightness);
    EXPECT_EQ(second->priority, 30);

    // The keyboard backlight shows as a brightness readout.
    const auto third = router.levelKeyChanged(backlight(0.0625), 10.2);
    ASSERT_TRUE(third);
    EXPECT_EQ(third->token, 3u);
    EXPECT_EQ(third->category, ActivityCategory::brightness);

    settings.setActivityOrder(
        { ActivityCategory::music, ActivityCategory::battery, ActivityCategory::brightness, ActivityCategory::volume });
    EXPECT_EQ(router.levelKeyChanged(volume(0.6), 10.3)->priority, 10);
    EXPECT_EQ(router.levelKeyChanged(brightness(0.3), 10.4)->priority, 20);

    // The payload under each token is the reading it was made for.
    const ActivityPayload* payload = router.payload(2);
    ASSERT_NE(payload, nullptr);
    EXPECT_EQ(std::get<SystemLevel>(*payload), brightness(0.25));
    EXPECT_EQ(router.currentLevel(), brightness(0.3));
}

TEST_F(Routing, WithoutHudReplacementNothingIsShownAndTheLastReadingStays)
{
    router.levelKeyChanged(volume(0.5), 1.0);
    settings.setHudReplacement(false);
    EXPECT_FALSE(router.levelKeyChanged(volume(0.75), 2.0));
    EXPECT_FALSE(router.levelObserved(volume(0.8), 3.0));
    EXPECT_EQ(router.currentLevel(), volume(0.5));
    // No token was spent on what was not shown.
    EXPECT_EQ(router.lastToken(), 1u);
}

TEST_F(Routing, ObservedBrightnessShowsOnlyWithinOneAndAHalfSecondsOfABrightnessKey)
{
    ASSERT_TRUE(settings.brightnessNeedsKeyPress());
    // Nothing pressed yet: an automatic change is kept as the current level but not shown.
    EXPECT_FALSE(router.levelObserved(brightness(0.4), 100.0));
    EXPECT_EQ(router.currentLevel(), brightness(0.4));

    router.levelKeyChanged(brightness(0.5), 200.0);
    EXPECT_TRUE(router.levelObserved(brightness(0.55), 201.4));
    EXPECT_FALSE(router.levelObserved(brightness(0.6), 201.6));
    // A volume key does not open the window, and volume is always shown.
    router.levelKeyChanged(volume(0.5), 300.0);
    EXPECT_FALSE(router.levelObserved(brightness(0.6), 300.1));
    EXPECT_TRUE(router.levelObserved(volume(0.3), 300.1));
    // The keyboard backlight is never held back.
    EXPECT_TRUE(router.levelObserved(backlight(0.1), 400.0));

    settings.setBrightnessNeedsKeyPress(false);
    EXPECT_TRUE(router.levelObserved(brightness(0.7), 500.0));
}

TEST_F(Routing, TheCacheKeepsTheEightNewestOnceItReachesThirteen)
{
    const auto tokensAfter = [&](int count) {
        while (router.lastToken() < std::uint64_t(count))
            router.levelKeyChanged(volume(0.5), 0);
        return router.cachedTokens();
    };
    const auto range = [](std::uint64_t from, std::uint64_t to) {
        std::vector<std::uint64_t> tokens;
        for (auto t = from; t <= to; ++t)
            tokens.push_back(t);
        return tokens;
    };
    EXPECT_EQ(tokensAfter(12), range(1, 12));
    EXPECT_EQ(tokensAfter(13), range(6, 13));
    EXPECT_EQ(tokensAfter(14), range(6, 14));
    EXPECT_EQ(tokensAfter(17), range(6, 17));
    EXPECT_EQ(tokensAfter(18), range(11, 18));
    EXPECT_EQ(router.payload(10), nullptr);
    EXPECT_NE(router.payload(11), nullptr);
}

namespace {
PowerSnapshot power(int percent, PowerSnapshot::Source source, bool charging = false)
{
    PowerSnapshot s;
    s.percentage = percent;
    s.source = source;
    s.isCharging = charging;
    return s;
}
using Event = PowerSnapshot::Event;
using Charge = ChargeActivityView::Kind;
constexpr auto wall = PowerSnapshot::Source::wallPower;
constexpr auto battery = PowerSnapshot::Source::battery;
} // namespace

TEST_F(Routing, PowerEventsBecomeChargeReadoutsOfTheirKindPriorityAndDuration)
{
    const int base = settings.priority(ActivityCategory::battery);
    struct Case {
        PowerSnapshot snapshot;
        Event event;
        Charge kind;
        int bonus;
        double duration;
    };
    for (const Case& c : { Case { power(15, battery), Event::low(20), Charge::low(20), 5, 3.0 },
             Case { power(40, wall, true), Event::pluggedIn(), Charge::connected(), 0, 2.2 },
             Case { power(40, wall, false), Event::pluggedIn(), Charge::holding(), 0, 2.2 },
             Case { power(100, battery), Event::unplugged(), Charge::disconnected(), 0, 2.2 },
             Case { power(100, wall), Event::charged(), Charge::charged(), 1, 2.2 } }) {
        const auto activity = router.handlePower(c.snapshot, c.event);
        ASSERT_TRUE(activity.has_value());
        EXPECT_EQ(activity->module, PowerMonitor::moduleID);
        EXPECT_EQ(activity->token, router.lastToken());
        EXPECT_EQ(activity->priority, base + c.bonus);
        EXPECT_EQ(activity->duration, c.duration);
        EXPECT_EQ(activity->category, ActivityCategory::battery);
        EXPECT_EQ(router.chargeKind(), c.kind);
        const auto* payload = std::get_if<ChargePayload>(router.payload(activity->token));
        ASSERT_NE(payload, nullptr);
        EXPECT_EQ(payload->kind, c.kind);
        EXPECT_EQ(payload->snapshot, c.snapshot);
    }
}

TEST_F(Routing, PowerReadingsShowNothingWithoutAnEventOrWhenTheSettingsSayNo)
{
    EXPECT_EQ(router.handlePower(power(50, battery), std::nullopt), std::nullopt);
    EXPECT_EQ(router.lastToken(), 0u);

    // Without low levels a low event shows nothing and the last kind stays.
    ASSERT_TRUE(router.handlePower(power(50, wall), Event::charged()));
    settings.setLowBatteryLevels({});
    EXPECT_EQ(router.handlePower(power(4, battery), Event::low(5)), std::nullopt);
    EXPECT_EQ(router.chargeKind(), Charge::charged());
    EXPECT_TRUE(router.handlePower(power(50, battery), Event::unplugged()).has_value()) << "the charger still shows";

    settings.setPowerActivityEnabled(false);
    const std::uint64_t before = router.lastToken();
    EXPECT_EQ(router.handlePower(power(50, wall, true), Event::pluggedIn()), std::nullopt);
    EXPECT_EQ(router.lastToken(), before) << "no token for nothing shown";
}

namespace {
NowPlayingTrack song(const QString& title, double rate)
{
    return { NowPlayingTrack::Source::appleMusic, title, "Artist", "Album", rate, 0, 0, 200, std::nullopt };
}
const MusicPayload* musicPayload(const ActivityRouter& router, std::uint64_t token)
{
    const ActivityPayload* payload = router.payload(token);
    return payload ? std::get_if<MusicPayload>(payload) : nullptr;
}
} // namespace

TEST_F(Routing, PlayerChangesBecomeMusicReadoutsWithTheirGlyphAndDuration)
{
    using Change = NowPlayingTrack::Change;
    using Transport = NowPlayingActivityView::Transport;
    settings.setActivityOrder(
        { ActivityCategory::music, ActivityCategory::volume, ActivityCategory::brightness, ActivityCategory::battery });

    const auto started = router.musicActivity(song("One", 1), Change::startedPlaying);
    ASSERT_TRUE(started);
    EXPECT_EQ(started->module, ModuleID("nowPlaying"));
    EXPECT_EQ(started->category, ActivityCategory::music);
    EXPECT_EQ(started->priority, 40);
    EXPECT_EQ(started->duration, 1.5);
    ASSERT_NE(musicPayload(router, started->token), nullptr);
    EXPECT_EQ(musicPayload(router, started->token)->transport, Transport::play);
    EXPECT_EQ(musicPayload(router, started->token)->track.title, "One");

    const auto changed = router.musicActivity(song("Two", 1), Change::changedTrack);
    ASSERT_TRUE(changed);
    EXPECT_EQ(changed->token, started->token + 1);
    EXPECT_EQ(changed->duration, 2.4);
    EXPECT_EQ(musicPayload(router, changed->token)->transport, std::nullopt);
    EXPECT_EQ(router.transportFlash(), std::nullopt);

    const auto paused = router.musicActivity(song("Two", 0), Change::paused);
    ASSERT_TRUE(paused);
    EXPECT_EQ(paused->duration, 1.5);
    EXPECT_EQ(router.transportFlash(), Transport::pause);

    // Stops and seeks, and tracks without a title, show nothing and take no token.
    EXPECT_FALSE(router.musicActivity(song("Two", 0), Change::stopped));
    EXPECT_FALSE(router.musicActivity(song("Two", 1), Change::seeked));
    EXPECT_FALSE(router.musicActivity(song("", 1), Change::startedPlaying));
    settings.setNowPlayingActivity(false);
    EXPECT_FALSE(router.musicActivity(song("Three", 1), Change::changedTrack));
    EXPECT_EQ(router.lastToken(), paused->token);
    EXPECT_EQ(router.transportFlash(), Transport::pause);
}

TEST_F(Routing, APausedTrackHoldsTheNotchForOneAndAHalfSecondsAfterItWasLastSeenPlaying)
{
    EXPECT_FALSE(router.musicHoldsNotch(std::nullopt, 100));
    EXPECT_TRUE(router.musicHoldsNotch(song("One", 1), 100));
    EXPECT_TRUE(router.musicHoldsNotch(song("One", 0), 101.49));
    EXPECT_FALSE(router.musicHoldsNotch(song("One", 0), 101.5));
    // Seen playing again, the hold starts afresh; no track holds nothing.
    EXPECT_TRUE(router.musicHoldsNotch(song("One", 1), 200));
    EXPECT_FALSE(router.musicHoldsNotch(std::nullopt, 200.5));
    EXPECT_TRUE(router.musicHoldsNotch(song("One", 0), 201.2));
}
