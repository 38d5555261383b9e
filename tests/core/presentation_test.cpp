#include "core/presentation.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

using namespace nimbra;
using Kind = Presentation::Surface::Kind;
using Surface = Presentation::Surface;
using Phase = HoverIntent::Phase;

namespace {

ModuleID module(const char* name)
{
    return ModuleID(QString::fromLatin1(name));
}

Activity readout(const char* moduleName, std::uint64_t token, int priority, double duration,
    std::optional<ActivityCategory> category = std::nullopt)
{
    return Activity { module(moduleName), token, priority, duration, category };
}

Activity volume(std::uint64_t token, int priority = 40, double duration = 1.3)
{
    return readout("systemLevel", token, priority, duration, ActivityCategory::volume);
}

Presentation standard()
{
    return Presentation(Presentation::Configuration(0.12, 4, 8));
}

std::vector<std::uint64_t> queuedTokens(const Presentation& p)
{
    std::vector<std::uint64_t> tokens;
    for (const auto& a : p.queued())
        tokens.push_back(a.token);
    return tokens;
}

} // namespace

TEST(PresentationSurface, TraceDescriptionAndEquality)
{
    EXPECT_EQ(Surface::activity(volume(1, 40)).traceDescription(), QLatin1String("activity(systemLevel, p40)"));
    EXPECT_EQ(Surface::resident(module("timer")).traceDescription(), QLatin1String("resident(timer)"));
    EXPECT_EQ(Surface::expanded(module("glance")).traceDescription(), QLatin1String("expanded(glance)"));
    EXPECT_EQ(Surface::dormant().traceDescription(), QLatin1String("dormant"));
    // A module name is any text: a percent sign in it is no placeholder.
    EXPECT_EQ(Surface::activity(readout("x%2", 1, 30, 1)).traceDescription(), QLatin1String("activity(x%2, p30)"));
    EXPECT_EQ(Surface::activity(readout("%1", 1, 30, 1)).traceDescription(), QLatin1String("activity(%1, p30)"));

    EXPECT_EQ(Surface::activity(volume(1)), Surface::activity(volume(1)));
    EXPECT_NE(Surface::activity(volume(1)), Surface::activity(volume(2)));
    EXPECT_NE(Surface::resident(module("timer")), Surface::expanded(module("timer")));
}

TEST(PresentationConfiguration, NegativeQueueLimitKeepsNothing)
{
    const Presentation::Configuration config(0.12, -3, 8);
    EXPECT_EQ(config.maxQueued, 0);

    Presentation p(config);
    p.present(readout("power", 1, 50, 2, ActivityCategory::battery), 0);
    p.present(volume(2, 10), 0.1);
    EXPECT_TRUE(p.queued().empty());
    p.tick(2.0);
    p.tick(3.0);
    EXPECT_EQ(p.surface(), Surface::dormant());
}

TEST(Presentation, SameKindReplacesAtOnceWhateverThePriority)
{
    auto p = standard();
    p.present(volume(1, 40, 1.3), 0);
    p.present(volume(2, 5, 2.0), 1.0);
    EXPECT_EQ(p.surface(), Surface::activity(volume(2, 5, 2.0)));
    EXPECT_TRUE(p.queued().empty());

    // The end time starts over from the replacement: 1.0 + 2.0.
    p.tick(2.9);
    EXPECT_TRUE(p.surface().is(Kind::activity));
    p.tick(3.0);
    EXPECT_EQ(p.surface(), Surface::dormant());
    EXPECT_FALSE(p.needsClock());
}

TEST(Presentation, EqualPriorityWaitsForEndAndGap)
{
    auto p = standard();
    const auto playing = readout("nowPlaying", 2, 40, 1.0, ActivityCategory::music);
    p.present(volume(1, 40, 1.0), 0);
    p.present(playing, 0.5);
    EXPECT_EQ(p.surface().shownActivity()->token, 1u);
    EXPECT_EQ(queuedTokens(p), std::vector<std::uint64_t> { 2 });

    p.tick(1.0);
    EXPECT_EQ(p.surface(), Surface::dormant());
    EXPECT_TRUE(p.needsClock());
    p.tick(1.11);
    EXPECT_EQ(p.surface(), Surface::dormant());
    p.tick(1.13);
    EXPECT_EQ(p.surface(), Surface::activity(playing));
}

TEST(Presentation, PreemptedReadoutReturnsWithItsFullDuration)
{
    auto p = standard();
    p.present(volume(1, 10, 2.0), 0);
    const auto charger = readout("power", 2, 30, 1.0, ActivityCategory::battery);
    p.present(charger, 0.5);
    EXPECT_EQ(p.surface(), Surface::activity(charger));
    EXPECT_EQ(queuedTokens(p), std::vector<std::uint64_t> { 1 });

    p.tick(1.5);
    EXPECT_EQ(p.surface(), Surface::dormant());
    p.tick(1.7);
    EXPECT_EQ(p.surface(), Surface::activity(volume(1, 10, 2.0)));
    p.tick(3.69);
    EXPECT_TRUE(p.surface().is(Kind::activity));
    p.tick(3.7);
    EXPECT_EQ(p.surface(), Surface::dormant());
}

TEST(Presentation, FullQueueDropsLowestPriorityThenOldestButShowsOldestFirst)
{
    auto p = standard();
    p.present(readout("blocker", 100, 100, 50), 0);
    for (std::uint64_t token = 1; token <= 4; ++token)
        p.present(readout(QByteArray("m").append(char('0' + token)).constData(), token, 10, 1), 0.1);
    EXPECT_EQ(queuedTokens(p), (std::vector<std::uint64_t> { 1, 2, 3, 4 }));

    p.present(readout("m5", 5, 10, 1), 0.2);
    EXPECT_EQ(queuedTokens(p), (std::vector<std::uint64_t> { 2, 3, 4, 5 }));

    // A lower priority than everything waiting is the one dropped.
    p.present(readout("m6", 6, 5, 1), 0.3);
    EXPECT_EQ(queuedTokens(p), (std::vector<std::uint64_t> { 2, 3, 4, 5 }));

    // A higher one goes to the front and pushes out the oldest of the lowest.
    p.present(readout("m7", 7, 20, 1), 0.4);
    EXPECT_EQ(queuedTokens(p), (std::vector<std::uint64_t> { 7, 3, 4, 5 }));
}

TEST(Presentation, QueueHoldsOneEntryPerKindKey)
{
    auto p = standard();
    p.present(readout("blocker", 1, 100, 50), 0);
    p.present(volume(2, 10), 0.1);
    p.present(readout("nowPlaying", 3, 10, 1, ActivityCategory::music), 0.2);
    p.present(volume(4, 10), 0.3);
    // A category-less module named like a category shares its key.
    p.present(readout("music", 5, 10, 1), 0.4);
    EXPECT_EQ(queuedTokens(p), (std::vector<std::uint64_t> { 4, 5 }));
}

TEST(Presentation, BeginningAnActivityRemovesItsWaitingTwin)
{
    auto p = standard();
    p.present(volume(1, 40, 1), 0);
    p.present(readout("power", 2, 20, 1, ActivityCategory::battery), 0.1);
    EXPECT_EQ(queuedTokens(p), std::vector<std::uint64_t> { 2 });

    // A newer battery readout pre-empts the volume: the older battery entry is gone, the volume waits.
    p.present(readout("power", 3, 50, 1, ActivityCategory::battery), 0.2);
    EXPECT_EQ(p.surface().shownActivity()->token, 3u);
    EXPECT_EQ(queuedTokens(p), std::vector<std::uint64_t> { 1 });
}

TEST(Presentation, ZeroQueueLimitDropsEveryWaitingActivity)
{
    Presentation p(Presentation::Configuration(0.12, 0, 8));
    p.present(volume(1, 40, 1), 0);
    p.present(readout("nowPlaying", 2, 10, 1, ActivityCategory::music), 0.1);
    EXPECT_TRUE(p.queued().empty());
    p.present(readout("power", 3, 80, 1, ActivityCategory::battery), 0.2);
    // The pre-empted one has nowhere to wait either.
    EXPECT_EQ(p.surface().shownActivity()->token, 3u);
    EXPECT_TRUE(p.queued().empty());
}

TEST(Presentation, WaitingEntryExactlyMaxAgeSurvivesAndOlderIsDropped)
{
    auto p = standard();
    p.present(readout("blocker", 1, 100, 50), 0);
    p.present(volume(2, 10), 1.0);
    p.tick(9.0);
    EXPECT_EQ(queuedTokens(p), std::vector<std::uint64_t> { 2 });
    p.tick(9.000001);
    EXPECT_TRUE(p.queued().empty());
}

TEST(Presentation, NonPositiveOrNaNMaxAgeNeverAges)
{
    for (double age : { 0.0, -1.0, std::nan("") }) {
        Presentation p(Presentation::Configuration(0.12, 4, age));
        p.present(readout("blocker", 1, 100, 1000), 0);
        p.present(volume(2, 10), 1.0);
        p.tick(999.0);
        EXPECT_EQ(queuedTokens(p), std::vector<std::uint64_t> { 2 }) << age;
    }
}

TEST(Presentation, PresentInsideTheGapWaits)
{
    auto p = standard();
    p.present(volume(1, 40, 1), 0);
    p.tick(1.0);
    p.present(readout("nowPlaying", 2, 10, 1, ActivityCategory::music), 1.05);
    EXPECT_EQ(p.surface(), Surface::dormant());
    EXPECT_TRUE(p.needsClock());
    p.tick(1.2);
    EXPECT_EQ(p.surface().shownActivity()->token, 2u);
}

TEST(Presentation, ZeroGapBeginsTheHeadOnTheSameTick)
{
    Presentation p(Presentation::Configuration(0, 4, 8));
    p.present(volume(1, 40, 1), 0);
    p.present(readout("nowPlaying", 2, 10, 1, ActivityCategory::music), 0.1);
    p.tick(1.0);
    EXPECT_EQ(p.surface().shownActivity()->token, 2u);
}

TEST(Presentation, NaNDurationEndsOnTheNextTick)
{
    auto p = standard();
    p.present(volume(1, 40, std::nan("")), 0);
    EXPECT_TRUE(p.surface().is(Kind::activity));
    p.tick(0.01);
    EXPECT_EQ(p.surface(), Surface::dormant());
    EXPECT_FALSE(p.needsClock());
}

TEST(PresentationConfiguration, NaNGapCountsAsNone)
{
    Presentation p(Presentation::Configuration(std::nan(""), 4, 8));
    p.present(volume(1, 40, 1), 0);
    p.present(readout("nowPlaying", 2, 10, 1, ActivityCategory::music), 0.1);
    p.tick(1.0);
    EXPECT_EQ(p.surface().shownActivity()->token, 2u);
}

TEST(Presentation, ResidentIsTheFallbackAndSetsAnEmptyFocus)
{
    auto p = standard();
    p.setResident(module("nowPlaying"), 0);
    EXPECT_EQ(p.surface(), Surface::resident(module("nowPlaying")));
    EXPECT_EQ(p.focus(), module("nowPlaying"));

    p.setResident(module("timer"), 0.5);
    EXPECT_EQ(p.surface(), Surface::resident(module("timer")));
    EXPECT_EQ(p.focus(), module("nowPlaying")) << "a focus already set stays";

    p.setResident(std::nullopt, 1.0);
    EXPECT_EQ(p.surface(), Surface::dormant());
    EXPECT_FALSE(p.needsClock());
}

TEST(Presentation, SetResidentDuringAnActivityOnlyChangesTheFallback)
{
    auto p = standard();
    p.setResident(module("timer"), 0);
    p.present(volume(1, 40, 1), 0.1);
    p.setResident(std::nullopt, 0.2);
    EXPECT_TRUE(p.surface().is(Kind::activity));
    p.tick(1.1);
    EXPECT_EQ(p.surface(), Surface::dormant());
}

TEST(Presentation, SetResidentShowsTheWaitingHeadOnceTheGapHasPassed)
{
    auto p = standard();
    p.present(volume(1, 40, 1), 0);
    p.tick(1.0);
    p.present(readout("nowPlaying", 2, 10, 1, ActivityCategory::music), 1.01);
    p.setResident(module("timer"), 1.05);
    EXPECT_EQ(p.surface(), Surface::resident(module("timer")));
    p.setResident(module("timer"), 1.2);
    EXPECT_EQ(p.surface().shownActivity()->token, 2u);
}

TEST(Presentation, SetFocusFallsBackToTheResident)
{
    auto p = standard();
    p.setResident(module("timer"), 0);
    p.setFocus(module("clipboard"));
    EXPECT_EQ(p.focus(), module("clipboard"));
    p.setFocus(std::nullopt);
    EXPECT_EQ(p.focus(), module("timer"));
    EXPECT_EQ(p.surface(), Surface::resident(module("timer")));
}

TEST(Presentation, EngagedWithoutFocusOrResidentChangesNothing)
{
    auto p = standard();
    p.present(volume(1), 0);
    const auto before = p;
    p.setHover(Phase::engaged, 0.1);
    EXPECT_EQ(p, before);
}

TEST(Presentation, HoveringOpenEndsTheReadoutForGood)
{
    auto p = standard();
    p.setFocus(module("glance"));
    p.present(volume(1, 40, 1.3), 0);
    p.present(readout("nowPlaying", 2, 10, 1, ActivityCategory::music), 0.1);

    p.setHover(Phase::engaged, 0.2);
    EXPECT_EQ(p.surface(), Surface::expanded(module("glance")));
    p.setHover(Phase::arming, 0.3);
    // The queue's head follows; the dropped volume readout never comes back.
    EXPECT_EQ(p.surface().shownActivity()->token, 2u);
    p.tick(1.3);
    p.tick(1.5);
    EXPECT_EQ(p.surface(), Surface::dormant());
}

TEST(Presentation, CollapsingFallsBackToResidentOrDormant)
{
    auto p = standard();
    p.setResident(module("nowPlaying"), 0);
    p.setHover(Phase::engaged, 0.1);
    EXPECT_EQ(p.surface(), Surface::expanded(module("nowPlaying")));
    EXPECT_FALSE(p.needsClock());
    p.setHover(Phase::away, 0.2);
    EXPECT_EQ(p.surface(), Surface::resident(module("nowPlaying")));

    // Away or arming leave any other surface alone.
    p.present(volume(1), 0.3);
    p.setHover(Phase::away, 0.4);
    EXPECT_TRUE(p.surface().is(Kind::activity));
}

TEST(Presentation, OpenAndDismiss)
{
    auto p = standard();
    p.present(volume(1), 0);
    p.open(module("clipboard"));
    EXPECT_EQ(p.surface(), Surface::expanded(module("clipboard")));
    EXPECT_EQ(p.focus(), module("clipboard"));
    EXPECT_TRUE(p.queued().empty()) << "the dropped readout is not queued again";

    p.dismiss(0.5);
    EXPECT_EQ(p.surface(), Surface::dormant());
    p.dismiss(0.6);
    EXPECT_EQ(p.surface(), Surface::dormant());
}

TEST(Presentation, WaitingActivityReplacesTheExpandedSurfaceAfterTheGap)
{
    auto p = standard();
    p.open(module("shelf"));
    p.present(volume(1), 0);
    EXPECT_EQ(p.surface(), Surface::expanded(module("shelf")));
    EXPECT_TRUE(p.needsClock());
    p.tick(0.1);
    EXPECT_EQ(p.surface(), Surface::activity(volume(1)));
}

TEST(Presentation, ExpandedWithNothingWaitingStaysOpenOnEveryTick)
{
    auto p = standard();
    p.setResident(module("nowPlaying"), 0);
    p.open(module("shelf"));
    for (double t = 0.1; t < 20; t += 0.5)
        p.tick(t);
    EXPECT_EQ(p.surface(), Surface::expanded(module("shelf")));
    EXPECT_FALSE(p.needsClock());
}

TEST(Presentation, ExpandedWithinTheGapStaysOpen)
{
    auto p = standard();
    p.present(volume(1, 40, 1), 0);
    p.tick(1.0);
    p.open(module("shelf"));
    p.present(readout("nowPlaying", 2, 10, 1, ActivityCategory::music), 1.01);
    p.tick(1.05);
    EXPECT_EQ(p.surface(), Surface::expanded(module("shelf")));
    p.tick(1.2);
    EXPECT_EQ(p.surface().shownActivity()->token, 2u);
}
