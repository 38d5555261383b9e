#include "modules/now_playing/now_playing_monitor.h"

#include "support/music_players.h"
#include "support/private_servers.h"
#include "support/test_support.h"

#include <QDBusConnection>
#include <gtest/gtest.h>

using namespace nimbra;
using nimbra::test::MpdPlayer;
using nimbra::test::MpvPlayer;
using nimbra::test::PrivateBus;
using nimbra::test::ToneLibrary;
using nimbra::test::waitUntil;
using Change = NowPlayingTrack::Change;
using Source = NowPlayingTrack::Source;

namespace {

// A monitor on a session bus of the test's own, recording what it publishes.
struct Monitor : ::testing::Test {
    Monitor()
    {
        monitor.scripting().setConnection(bus.connection());
        monitor.onChange = [this](const std::optional<NowPlayingTrack>& track, std::optional<Change> change) {
            tracks.push_back(track);
            changes.push_back(change);
        };
    }

    // Proves that what the players said so far has been taken in: a refresh asked now (whose
    // answers come after any earlier signal of the same player) has been published without a
    // newer query overtaking it. Retried when a player's own news started a newer query.
    bool settled()
    {
        for (int attempt = 0; attempt < 5; ++attempt) {
            const std::size_t published = changes.size();
            monitor.refresh();
            const int generation = monitor.queryGeneration();
            if (waitUntil([&] { return changes.size() > published && monitor.queryGeneration() == generation; }, 3000))
                return true;
        }
        return false;
    }

    bool saw(Change change) const { return std::find(changes.begin(), changes.end(), change) != changes.end(); }
    QString shownTitle() const { return monitor.track() ? monitor.track()->title : QString(); }
    QString playerState(const QString& busName) const
    {
        return nimbra::test::playerProperty(bus.connection(), busName, "PlaybackStatus")
            .value_or(QVariant())
            .toString();
    }
    double playerPosition(const QString& busName) const
    {
        return nimbra::test::playerProperty(bus.connection(), busName, "Position").value_or(0).toLongLong() / 1e6;
    }

    PrivateBus bus;
    ToneLibrary tones { ToneLibrary::standard() };
    NowPlayingMonitor monitor;
    std::vector<std::optional<NowPlayingTrack>> tracks;
    std::vector<std::optional<Change>> changes;
};

} // namespace

TEST_F(Monitor, FollowsMpvFromTheFirstTrackThroughTransportToItsQuitting)
{
    ASSERT_TRUE(bus.isRunning() && tones.isReady());
    monitor.start();
    MpvPlayer mpv(bus.address(), { tones.path("a.flac"), tones.path("b.flac") });
    ASSERT_TRUE(mpv.isRunning());

    // A track starting is announced with its texts, length and the player's own track id (mpv
    // names the file until it has read the tags).
    ASSERT_TRUE(waitUntil([&] { return saw(Change::startedPlaying); }, 10000));
    ASSERT_TRUE(waitUntil([&] { return shownTitle() == "Tone A" && monitor.track()->duration > 0; }, 10000));
    EXPECT_EQ(monitor.track()->source, Source::appleMusic);
    EXPECT_EQ(monitor.track()->title, "Tone A");
    EXPECT_EQ(monitor.track()->artist, "Nimbra Test");
    EXPECT_EQ(monitor.track()->album, "Tones");
    EXPECT_NEAR(monitor.track()->duration, 30, 0.1);
    EXPECT_TRUE(monitor.track()->identity.has_value());
    EXPECT_TRUE(monitor.canSeek());
    EXPECT_EQ(monitor.authorization(), MusicScripting::Authorization::authorized);

    // Pause from here: shown at once, and the player follows.
    changes.clear();
    monitor.playPause();
    ASSERT_FALSE(changes.empty());
    EXPECT_EQ(changes.front(), Change::paused);
    EXPECT_FALSE(monitor.track()->isPlaying());
    ASSERT_TRUE(waitUntil([&] { return playerState(mpv.busName()) == "Paused"; }, 5000));
    monitor.playPause();
    ASSERT_TRUE(waitUntil([&] { return playerState(mpv.busName()) == "Playing"; }, 5000));
    EXPECT_TRUE(monitor.track()->isPlaying());

    // A seek lands where it was asked, within half a second.
    monitor.seek(12);
    EXPECT_NEAR(monitor.track()->anchor, 12, 0.001);
    ASSERT_TRUE(waitUntil([&] { return std::abs(playerPosition(mpv.busName()) - 12) < 0.5; }, 5000))
        << playerPosition(mpv.busName());

    // The next track is one track change, not two (the provisional track and its refined answer
    // are the same track).
    changes.clear();
    monitor.next();
    ASSERT_TRUE(waitUntil([&] { return shownTitle() == "Tone B"; }, 10000));
    ASSERT_TRUE(waitUntil([&] { return monitor.track() && monitor.track()->album == "Tones"; }, 5000));
    ASSERT_TRUE(settled());
    EXPECT_EQ(std::count(changes.begin(), changes.end(), std::optional(Change::changedTrack)), 1);

    // "Previous" well into a track starts it again instead.
    monitor.seek(8);
    ASSERT_TRUE(waitUntil([&] { return playerPosition(mpv.busName()) > 7; }, 5000));
    monitor.previous();
    EXPECT_LT(monitor.track()->position(monitor.track()->anchorTime), 0.5);
    EXPECT_EQ(monitor.track()->title, "Tone B");
    ASSERT_TRUE(waitUntil([&] { return playerPosition(mpv.busName()) < 3; }, 5000));

    // The player quitting clears the track.
    changes.clear();
    mpv.quit();
    ASSERT_TRUE(waitUntil([&] { return !monitor.track(); }, 10000));
    EXPECT_TRUE(saw(Change::stopped));
}

TEST_F(Monitor, PositionChecksRunOnlyWhileAPlayingTrackIsOnScreen)
{
    ASSERT_TRUE(bus.isRunning() && tones.isReady());
    monitor.start();
    MpvPlayer mpv(bus.address(), { tones.path("a.flac") });
    ASSERT_TRUE(mpv.isRunning());
    ASSERT_TRUE(waitUntil([&] { return monitor.track() && monitor.track()->isPlaying(); }, 10000));
    EXPECT_FALSE(monitor.isDriftCorrectionRunning()) << "nothing shows the position";

    monitor.setPositionVisible(true);
    EXPECT_TRUE(monitor.isDriftCorrectionRunning());
    // Its first check asks the player once, 0.45 s later.
    const int generation = monitor.queryGeneration();
    ASSERT_TRUE(waitUntil([&] { return monitor.queryGeneration() > generation; }, 3000));

    monitor.playPause();
    EXPECT_FALSE(monitor.isDriftCorrectionRunning()) << "a paused track does not move";
    monitor.playPause();
    EXPECT_TRUE(monitor.isDriftCorrectionRunning());
    monitor.setPositionVisible(false);
    EXPECT_FALSE(monitor.isDriftCorrectionRunning());
    monitor.setPositionVisible(true);
    monitor.stop();
    EXPECT_FALSE(monitor.isDriftCorrectionRunning()) << "a stopped monitor does no work";
}

TEST_F(Monitor, APlayerOnTheSpotifyNameIsSpotifyAndSpeaksMilliseconds)
{
    ASSERT_TRUE(bus.isRunning() && tones.isReady());
    monitor.start();
    MpdPlayer spotify(bus.address(), MusicScripting::spotifyBusName, tones.folder(), { "a.flac", "b.flac" });
    ASSERT_TRUE(spotify.isRunning()) << "mpDris2 could not take " << MusicScripting::spotifyBusName.toStdString();

    ASSERT_TRUE(waitUntil([&] { return monitor.track().has_value(); }, 10000));
    EXPECT_EQ(monitor.track()->source, Source::spotify);
    EXPECT_EQ(monitor.track()->title, "Tone A");
    // The reply carried the length in milliseconds, as this source's dialect reads it.
    EXPECT_NEAR(monitor.track()->duration, 30, 0.1);
    EXPECT_TRUE(monitor.track()->isPlaying());
}

TEST_F(Monitor, OnePlayerStoppingKeepsTheOtherPlayersTrack)
{
    ASSERT_TRUE(bus.isRunning() && tones.isReady());
    monitor.start();
    MpdPlayer spotify(bus.address(), MusicScripting::spotifyBusName, tones.folder(), { "b.flac" });
    ASSERT_TRUE(spotify.isRunning());
    ASSERT_TRUE(waitUntil([&] { return monitor.track() && monitor.track()->source == Source::spotify; }, 10000));

    // Both play: Music wins.
    MpvPlayer mpv(bus.address(), { tones.path("a.flac") });
    ASSERT_TRUE(mpv.isRunning());
    ASSERT_TRUE(waitUntil([&] { return monitor.track() && monitor.track()->source == Source::appleMusic; }, 10000));
    ASSERT_TRUE(waitUntil([&] { return shownTitle() == "Tone A"; }, 10000));

    // Spotify stopping is no reason to clear the Music track on show.
    changes.clear();
    ASSERT_TRUE(spotify.mpc({ "stop" }));
    ASSERT_TRUE(waitUntil([&] { return playerState(spotify.busName()) == "Stopped"; }, 5000));
    ASSERT_TRUE(settled());
    ASSERT_TRUE(monitor.track());
    EXPECT_EQ(monitor.track()->source, Source::appleMusic);
    EXPECT_FALSE(saw(Change::stopped));

    // The shown player stopping clears it.
    mpv.quit();
    ASSERT_TRUE(waitUntil([&] { return !monitor.track(); }, 10000));
}
