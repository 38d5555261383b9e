#include "platform/pulse/pulse_volume.h"

#include "support/private_servers.h"
#include "support/test_support.h"

#include <QTest>
#include <gtest/gtest.h>
#include <vector>

using namespace nimbra;
using nimbra::test::PrivatePulse;
using nimbra::test::waitUntil;

namespace {

// The sink's volume as pactl reports it, in percent of the first channel.
int pactlPercent(const PrivatePulse& pulse, const QString& sink = "nimbra_null")
{
    const QString out = pulse.pactl({ "get-sink-volume", sink }).value_or("");
    const int percent = out.indexOf('%');
    if (percent < 0)
        return -1;
    int start = percent;
    while (start > 0 && out[start - 1].isDigit())
        --start;
    return out.mid(start, percent - start).toInt();
}

bool pactlMuted(const PrivatePulse& pulse)
{
    return pulse.pactl({ "get-sink-mute", "nimbra_null" }).value_or("").endsWith("yes");
}

} // namespace

TEST(PulseVolume, WritesReachTheServerAndReadsFollowIt)
{
    PrivatePulse pulse;
    ASSERT_TRUE(pulse.isRunning());
    ASSERT_TRUE(pulse.pactl({ "set-sink-volume", "nimbra_null", "50%" }));
    PulseVolume volume(pulse.address());
    ASSERT_TRUE(waitUntil([&] { return volume.hasSink(); }));

    SystemLevel level = volume.read();
    EXPECT_TRUE(level.isAvailable);
    EXPECT_DOUBLE_EQ(level.value, 0.5);
    EXPECT_FALSE(level.isMuted);
    ASSERT_TRUE(level.output);
    EXPECT_EQ(level.output->name, "Null");
    // A virtual sink has no bus: it counts as an external output and is named.
    EXPECT_EQ(level.output->kind, AudioOutput::Kind::external);

    volume.setVolume(0.5625);
    EXPECT_DOUBLE_EQ(volume.read().value, 0.5625); // at once, before the server answers
    EXPECT_TRUE(waitUntil([&] { return pactlPercent(pulse) == 56; })) << pactlPercent(pulse);

    volume.setMuted(true);
    EXPECT_TRUE(waitUntil([&] { return pactlMuted(pulse); }));
    EXPECT_TRUE(volume.read().isMuted);
    // Volume writes leave the mute alone.
    volume.setVolume(0.25);
    EXPECT_TRUE(waitUntil([&] { return pactlPercent(pulse) == 25; }));
    EXPECT_TRUE(pactlMuted(pulse));
    volume.setMuted(false);
    EXPECT_TRUE(waitUntil([&] { return !pactlMuted(pulse); }));
}

TEST(PulseVolume, ChangesByOthersArriveOnceAndOwnWritesDoNot)
{
    PrivatePulse pulse;
    ASSERT_TRUE(pulse.isRunning());
    PulseVolume volume(pulse.address());
    std::vector<SystemLevel> seen;
    volume.onChange = [&](const SystemLevel& level) { seen.push_back(level); };
    ASSERT_TRUE(waitUntil([&] { return volume.hasSink(); }));
    EXPECT_TRUE(seen.empty()) << "the first reading is not a change";

    volume.setVolume(0.75);
    ASSERT_TRUE(waitUntil([&] { return pactlPercent(pulse) == 75; }));
    // The server reports in order: an echo of our write would arrive before this change.
    ASSERT_TRUE(pulse.pactl({ "set-sink-volume", "nimbra_null", "30%" }));
    ASSERT_TRUE(waitUntil([&] { return !seen.empty(); }));
    EXPECT_EQ(seen.size(), 1u) << "our own write came back as a change";
    EXPECT_NEAR(seen.front().value, 0.30, 0.001);
    EXPECT_FALSE(seen.back().isMuted);

    ASSERT_TRUE(pulse.pactl({ "set-sink-mute", "nimbra_null", "1" }));
    ASSERT_TRUE(waitUntil([&] { return seen.back().isMuted; }));
    EXPECT_EQ(seen.size(), 2u);
}

TEST(PulseVolume, StartsWithoutASinkAndFollowsOneAddedLater)
{
    PrivatePulse pulse(/*nullSink=*/false);
    ASSERT_TRUE(pulse.isRunning());
    PulseVolume volume(pulse.address());
    std::vector<bool> sinkChanges;
    volume.onSinkChange = [&](bool has) { sinkChanges.push_back(has); };
    ASSERT_TRUE(waitUntil([&] { return volume.isConnected(); }));
    EXPECT_FALSE(volume.hasSink());
    EXPECT_FALSE(volume.read().isAvailable);
    volume.setVolume(0.5); // nothing to write to; must not fail

    ASSERT_TRUE(pulse.pactl(
        { "load-module", "module-null-sink", "sink_name=late", "sink_properties=device.description=Late" }));
    ASSERT_TRUE(waitUntil([&] { return volume.hasSink(); }));
    EXPECT_EQ(sinkChanges, std::vector<bool> { true });
    ASSERT_TRUE(volume.read().output);
    EXPECT_EQ(volume.read().output->name, "Late");

    std::vector<SystemLevel> seen;
    volume.onChange = [&](const SystemLevel& level) { seen.push_back(level); };
    ASSERT_TRUE(pulse.pactl({ "set-sink-volume", "late", "40%" }));
    ASSERT_TRUE(waitUntil([&] { return !seen.empty(); }));
    EXPECT_NEAR(seen.back().value, 0.40, 0.001);

    // A second sink made the default is followed too.
    ASSERT_TRUE(pulse.pactl(
        { "load-module", "module-null-sink", "sink_name=other", "sink_properties=device.description=Other" }));
    ASSERT_TRUE(pulse.pactl({ "set-default-sink", "other" }));
    ASSERT_TRUE(waitUntil([&] { return volume.read().output && volume.read().output->name == "Other"; }));
    volume.setVolume(0.125);
    EXPECT_TRUE(waitUntil([&] { return pactlPercent(pulse, "other") == 13; }));
    EXPECT_EQ(pactlPercent(pulse, "late"), 40);
}

TEST(PulseVolume, ComesBackWhenTheSoundServerRestarts)
{
    PrivatePulse pulse;
    ASSERT_TRUE(pulse.isRunning());
    PulseVolume volume(pulse.address());
    std::vector<bool> sinkChanges;
    volume.onSinkChange = [&](bool has) { sinkChanges.push_back(has); };
    ASSERT_TRUE(waitUntil([&] { return volume.hasSink(); }));

    ASSERT_TRUE(pulse.restart());
    ASSERT_TRUE(waitUntil([&] { return !volume.hasSink(); }));
    ASSERT_TRUE(waitUntil([&] { return volume.hasSink(); }, 10000));
    EXPECT_EQ(sinkChanges, (std::vector<bool> { true, false, true }));
    volume.setVolume(0.25);
    EXPECT_TRUE(waitUntil([&] { return pactlPercent(pulse) == 25; }));
}

// Gone, the server is retried only at the interval (an hour here), so coming back within the
// wait below can only be the watch on its socket's folder; meanwhile the level is unavailable.
TEST(PulseVolume, FollowsTheServerAsSoonAsItsSocketReturns)
{
    PrivatePulse pulse;
    ASSERT_TRUE(pulse.isRunning());
    PulseVolume volume(pulse.address());
    volume.setRetryInterval(3600 * 1000);
    std::vector<bool> sinkChanges;
    volume.onSinkChange = [&](bool has) { sinkChanges.push_back(has); };
    ASSERT_TRUE(waitUntil([&] { return volume.hasSink(); }));
    ASSERT_TRUE(pulse.pactl({ "set-sink-volume", "nimbra_null", "40%" }));
    ASSERT_TRUE(waitUntil([&] { return std::abs(volume.read().value - 0.4) < 0.001; }));

    pulse.stopServer();
    ASSERT_TRUE(waitUntil([&] { return !volume.isConnected(); }));
    EXPECT_FALSE(volume.hasSink());
    EXPECT_FALSE(volume.read().isAvailable) << "the last value is shown while the server is gone";
    EXPECT_EQ(volume.read().value, 0);

    ASSERT_TRUE(pulse.startServer());
    ASSERT_TRUE(waitUntil([&] { return volume.hasSink(); }, 10000));
    EXPECT_EQ(sinkChanges, (std::vector<bool> { true, false, true }));
    volume.setVolume(0.25);
    EXPECT_TRUE(waitUntil([&] { return pactlPercent(pulse) == 25; }));
}

// With no sound server at all an idle Nimbra sleeps: its socket's folder brings the next try,
// no clock does. A server it cannot watch for (one over the network) is tried on the clock.
TEST(PulseVolume, WithoutAServerOnlyItsSocketsFolderIsWatchedAndNoClockRuns)
{
    PrivatePulse pulse;
    ASSERT_TRUE(pulse.isRunning());
    pulse.stopServer();
    PulseVolume volume(pulse.address());
    ASSERT_TRUE(waitUntil([&] { return volume.retry() == PulseVolume::Retry::onSocket; }));
    EXPECT_FALSE(volume.hasSink());
    ASSERT_TRUE(pulse.startServer());
    EXPECT_TRUE(waitUntil([&] { return volume.hasSink(); }, 10000));
    EXPECT_EQ(volume.retry(), PulseVolume::Retry::none);

    // Nothing listens on the discard port.
    PulseVolume remote("tcp:127.0.0.1:9");
    EXPECT_TRUE(waitUntil([&] { return remote.retry() == PulseVolume::Retry::onTimer; }));
}
