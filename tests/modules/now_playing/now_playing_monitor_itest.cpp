#include "modules/now_playing/now_playing_monitor.h"

#include "support/music_players.h"
#include "support/private_servers.h"
#include "support/test_support.h"

#include "platform/mpris/artwork_loader.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QFile>
#include <QImage>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThreadPool>
#include <gtest/gtest.h>
#include <sys/stat.h>

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
            // A newer query (the player's own news) drops this round's answer: ask again at once.
            if (!waitUntil([&] { return changes.size() > published || monitor.queryGeneration() != generation; },
                    3000))
                continue;
            if (monitor.queryGeneration() == generation)
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
    // Known from the first answer, which may come after the player's own news of the track.
    ASSERT_TRUE(waitUntil([&] { return monitor.authorization() == MusicScripting::Authorization::authorized; }));

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

namespace {

QVariantMap trackMetadata(const QString& title, const QString& id, const QString& artUrl = {})
{
    QVariantMap metadata { { "xesam:title", title }, { "xesam:artist", QStringList { "Nimbra Test" } },
        { "xesam:album", "Tones" }, { "mpris:trackid", id }, { "mpris:length", qlonglong(200'000'000) },
        { "xesam:url", "file:///music/" + title + ".flac" } };
    if (!artUrl.isEmpty())
        metadata["mpris:artUrl"] = artUrl;
    return metadata;
}

QVariantMap playing(const QVariantMap& metadata, const QString& status = "Playing")
{
    return { { "status", status }, { "metadata", metadata } };
}

// A cover server on the loopback address that holds each request until told to answer, and
// notes the requests it saw and the ones the client gave up.
struct HeldCoverServer {
    HeldCoverServer()
    {
        server.listen(QHostAddress::LocalHost);
        QObject::connect(&server, &QTcpServer::newConnection, [this] {
            QTcpSocket* socket = server.nextPendingConnection();
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                socket->readAll();
                ++requests;
            });
            QObject::connect(socket, &QTcpSocket::disconnected, socket, [this] { ++closedByClient; });
        });
    }
    QString url(const QString& name) const
    {
        return QStringLiteral("http://127.0.0.1:%1/%2").arg(server.serverPort()).arg(name);
    }
    QTcpServer server;
    int requests = 0;
    int closedByClient = 0;
};

} // namespace

TEST_F(Monitor, AnUntaggedTrackShowsItsFileNameAndHugeTextsAreCutAtTheDoor)
{
    ASSERT_TRUE(bus.isRunning());
    nimbra::test::ScriptedPlayer player(bus.address(), "org.mpris.MediaPlayer2.vlc");
    ASSERT_TRUE(player.isRunning());
    monitor.start();

    // No title, as VLC publishes an untagged file: the file name, decoded, without extension.
    ASSERT_TRUE(player.show(playing({ { "mpris:trackid", "/org/videolan/vlc/playlist/3" },
        { "xesam:url", "file:///music/Blue%20Train%20%231.live.flac" }, { "mpris:length", qlonglong(60'000'000) } })));
    ASSERT_TRUE(waitUntil([&] { return shownTitle() == "Blue Train #1.live"; }, 10000)) << shownTitle().toStdString();
    EXPECT_TRUE(saw(Change::startedPlaying));
    EXPECT_TRUE(monitor.track()->isPlaying());

    // Two million characters of title, artist and album reach the readout as a few hundred.
    const QString huge = QString(1'999'999, QChar(u'x')) + QString::fromUtf16(u"\U0001F3B5");
    QVariantMap metadata = trackMetadata(huge, "/t/2");
    metadata["xesam:artist"] = QStringList(100'000, huge.left(20));
    metadata["xesam:album"] = huge;
    ASSERT_TRUE(player.show(playing(metadata)));
    ASSERT_TRUE(waitUntil([&] { return shownTitle().startsWith("xxx"); }, 20000));
    // Shown from the player's news or from its answer (megabytes, which a busy machine may not
    // bring within the time a player has to answer): cut either way.
    EXPECT_EQ(monitor.track()->title, huge.left(MusicScripting::maximumTextLength));
    EXPECT_EQ(monitor.track()->artist.size(), MusicScripting::maximumTextLength);
    EXPECT_EQ(monitor.track()->album.size(), MusicScripting::maximumTextLength);
    EXPECT_LT(monitor.track()->trackIdentity().size(), 1000);
}

TEST_F(Monitor, CoversThatAreFifosBlockNothingAndACoverForATrackNoLongerShownIsDropped)
{
    ASSERT_TRUE(bus.isRunning());
    QTemporaryDir dir;
    const QString fifo = dir.filePath("cover.png");
    ASSERT_TRUE(test::makeFifo(fifo));
    QImage red(32, 32, QImage::Format_RGB32);
    red.fill(QColor(220, 30, 30));
    ASSERT_TRUE(red.save(dir.filePath("red.png")));
    nimbra::test::ScriptedPlayer player(bus.address(), "org.mpris.MediaPlayer2.fifo");
    ASSERT_TRUE(player.isRunning());
    monitor.start();

    // Eight tracks in a row name a FIFO as their cover: each gives no image, at once, and no
    // reader is left waiting on it.
    for (int n = 0; n < 8; ++n) {
        const QString title = QStringLiteral("Track %1").arg(n);
        ASSERT_TRUE(player.show(playing(trackMetadata(title, "/t/" + QString::number(n), "file://" + fifo))));
        ASSERT_TRUE(waitUntil([&] { return shownTitle() == title; }, 10000));
        std::optional<QImage> cover;
        monitor.artwork([&](const QString&, const QImage& image) { cover = image; });
        ASSERT_TRUE(waitUntil([&] { return cover.has_value(); }, 10000)) << title.toStdString();
        EXPECT_TRUE(cover->isNull());
    }
    ASSERT_TRUE(waitUntil([] { return ArtworkLoader::readers().activeThreadCount() == 0; }, 10000));
    EXPECT_EQ(QThreadPool::globalInstance()->activeThreadCount(), 0) << "nothing from outside on Qt's pool";

    // A real cover after them still loads.
    ASSERT_TRUE(player.show(playing(trackMetadata("Covered", "/t/9", "file://" + dir.filePath("red.png")))));
    ASSERT_TRUE(waitUntil([&] { return shownTitle() == "Covered"; }, 10000));
    QImage loaded;
    monitor.artwork([&](const QString&, const QImage& image) { loaded = image; });
    ASSERT_TRUE(waitUntil([&] { return !loaded.isNull(); }, 10000));
    EXPECT_EQ(loaded.pixelColor(4, 4), QColor(220, 30, 30));

    // A cover still on its way when the track changes is dropped: its download is given up and
    // its answer never comes.
    HeldCoverServer covers;
    ASSERT_TRUE(player.show(playing(trackMetadata("Slow cover", "/t/10", covers.url("slow.png")))));
    ASSERT_TRUE(waitUntil([&] { return shownTitle() == "Slow cover"; }, 10000));
    int answers = 0;
    monitor.artwork([&](const QString&, const QImage&) { ++answers; });
    ASSERT_TRUE(waitUntil([&] { return covers.requests >= 1; }, 10000));
    ASSERT_TRUE(player.show(playing(trackMetadata("Next", "/t/11"))));
    ASSERT_TRUE(waitUntil([&] { return shownTitle() == "Next"; }, 10000));
    ASSERT_TRUE(waitUntil([&] { return covers.closedByClient == 1; }, 10000)) << "the download goes on";
    ASSERT_TRUE(settled());
    EXPECT_EQ(answers, 0);
}

TEST_F(Monitor, AStatusAnswerOvertakenByANewerQueryIsDropped)
{
    ASSERT_TRUE(bus.isRunning());
    nimbra::test::ScriptedPlayer player(bus.address(), "org.mpris.MediaPlayer2.held");
    ASSERT_TRUE(player.isRunning());
    monitor.start();
    ASSERT_TRUE(player.show(playing(trackMetadata("Old", "/t/1"))));
    ASSERT_TRUE(waitUntil([&] { return shownTitle() == "Old"; }, 10000));
    ASSERT_TRUE(settled());

    // A refresh asks; before its answer (still saying "Old") arrives, the player moves on and
    // the monitor asks again. The older answer must not bring "Old" back.
    ASSERT_TRUE(player.show({ { "hold", true } }));
    monitor.refresh();
    const int overtaken = monitor.queryGeneration();
    ASSERT_TRUE(player.show(playing(trackMetadata("New", "/t/2"))));
    ASSERT_TRUE(waitUntil([&] { return shownTitle() == "New" && monitor.queryGeneration() > overtaken; }, 10000));
    tracks.clear();
    ASSERT_TRUE(player.show({ { "hold", false } }));
    ASSERT_TRUE(settled());
    for (const auto& track : tracks)
        EXPECT_NE(track ? track->title : QString(), "Old");
    EXPECT_EQ(shownTitle(), "New");
}

TEST_F(Monitor, ARefreshPrefersThePlayingPlayerThenTheShownOnes)
{
    ASSERT_TRUE(bus.isRunning());
    nimbra::test::ScriptedPlayer music(bus.address(), "org.mpris.MediaPlayer2.music");
    nimbra::test::ScriptedPlayer spotify(bus.address(), MusicScripting::spotifyBusName);
    ASSERT_TRUE(music.isRunning() && spotify.isRunning());
    ASSERT_TRUE(music.show(playing(trackMetadata("Music track", "/m/1"), "Paused")));
    ASSERT_TRUE(spotify.show(playing(trackMetadata("Spotify track", "/s/1"))));
    monitor.start();

    // Music comes first in order, but Spotify plays.
    ASSERT_TRUE(waitUntil([&] { return shownTitle() == "Spotify track"; }, 10000));
    ASSERT_TRUE(settled());
    EXPECT_EQ(shownTitle(), "Spotify track");
    EXPECT_EQ(monitor.track()->source, Source::spotify);

    // Both paused: the shown one stays.
    ASSERT_TRUE(spotify.show({ { "status", "Paused" } }));
    ASSERT_TRUE(waitUntil([&] { return monitor.track() && !monitor.track()->isPlaying(); }, 10000));
    ASSERT_TRUE(settled());
    EXPECT_EQ(shownTitle(), "Spotify track");
}

TEST_F(Monitor, APlayerTooBusyToAnswerKeepsItsTrackOnShow)
{
    ASSERT_TRUE(bus.isRunning());
    nimbra::test::ScriptedPlayer music(bus.address(), "org.mpris.MediaPlayer2.busy");
    nimbra::test::ScriptedPlayer spotify(bus.address(), MusicScripting::spotifyBusName);
    ASSERT_TRUE(music.isRunning() && spotify.isRunning());
    ASSERT_TRUE(music.show(playing(trackMetadata("Song", "/m/1"))));
    monitor.start();
    ASSERT_TRUE(waitUntil([&] { return shownTitle() == "Song"; }, 10000));
    ASSERT_TRUE(settled());

    // The shown player does not answer in time (a busy machine): its track stays. The second
    // round has a paused Spotify to fall back on, which must not win over a track unanswered.
    const auto roundWithoutAnswer = [&] {
        changes.clear();
        ASSERT_TRUE(music.show({ { "busy", true } }));
        monitor.refresh();
        // Answers asked after the round's come after them: once these are in, so is the round.
        int later = 0;
        monitor.scripting().query(Source::appleMusic, [&](const MusicScripting::Reply&) { ++later; });
        monitor.scripting().query(Source::spotify, [&](const MusicScripting::Reply&) { ++later; });
        ASSERT_TRUE(waitUntil([&] { return later == 2; }, 10000));
        EXPECT_EQ(shownTitle(), "Song");
        EXPECT_TRUE(changes.empty());
        ASSERT_TRUE(music.show({ { "busy", false } }));
    };
    roundWithoutAnswer();
    ASSERT_TRUE(spotify.show(playing(trackMetadata("Other", "/s/1"), "Paused")));
    // Its news shows it for a moment; a round that both answer brings the playing one back.
    ASSERT_TRUE(settled());
    ASSERT_EQ(shownTitle(), "Song");
    roundWithoutAnswer();
}

TEST_F(Monitor, APlayOrPauseOutweighsThePlayersOldNewsForOneAndAHalfSeconds)
{
    ASSERT_TRUE(bus.isRunning());
    double now = 1000;
    monitor.setClock([&] { return now; });
    nimbra::test::ScriptedPlayer player(bus.address(), "org.mpris.MediaPlayer2.slow");
    ASSERT_TRUE(player.isRunning());
    ASSERT_TRUE(player.show(playing(trackMetadata("Song", "/t/1"))));
    monitor.start();
    ASSERT_TRUE(waitUntil([&] { return monitor.track() && monitor.track()->isPlaying(); }, 10000));

    // Paused here; the player has not caught up and still says it plays.
    monitor.playPause();
    EXPECT_FALSE(monitor.track()->isPlaying());
    now = 1001.49;
    std::size_t published = tracks.size();
    ASSERT_TRUE(player.show(playing(trackMetadata("Song", "/t/1"))));
    ASSERT_TRUE(waitUntil([&] { return tracks.size() > published; }, 10000));
    EXPECT_FALSE(monitor.track()->isPlaying()) << "within the window the user's choice stands";

    // From 1.5 s on the player's word is taken as it is.
    now = 1001.5;
    published = tracks.size();
    monitor.refresh();
    ASSERT_TRUE(waitUntil([&] { return tracks.size() > published; }, 10000));
    EXPECT_TRUE(monitor.track()->isPlaying());
}

TEST_F(Monitor, SeekingNeedsATrackIdAndPlayersRankByStateBeforeRecency)
{
    ASSERT_TRUE(bus.isRunning());
    nimbra::test::ScriptedPlayer first(bus.address(), "org.mpris.MediaPlayer2.first");
    ASSERT_TRUE(first.isRunning());
    monitor.start();
    // A track without a track id cannot be moved: nothing is shown or sent.
    QVariantMap untracked = trackMetadata("No id", "/t/1");
    untracked.remove("mpris:trackid");
    ASSERT_TRUE(first.show(playing(untracked)));
    ASSERT_TRUE(waitUntil([&] { return shownTitle() == "No id"; }, 10000));
    ASSERT_TRUE(settled());
    EXPECT_FALSE(monitor.canSeek());
    changes.clear();
    monitor.seek(20);
    EXPECT_TRUE(changes.empty());
    ASSERT_TRUE(first.show(playing(trackMetadata("With id", "/t/2"))));
    ASSERT_TRUE(waitUntil([&] { return shownTitle() == "With id"; }, 10000));
    ASSERT_TRUE(settled());
    EXPECT_TRUE(monitor.canSeek());
    monitor.seek(20);
    EXPECT_TRUE(saw(Change::seeked));

    // Two Music players: the playing one stands for Music though the other changed later; a
    // paused one beats a stopped one the same way.
    nimbra::test::ScriptedPlayer second(bus.address(), "org.mpris.MediaPlayer2.second");
    ASSERT_TRUE(second.isRunning());
    ASSERT_TRUE(second.show(playing(trackMetadata("Paused later", "/u/1"), "Paused")));
    ASSERT_TRUE(settled());
    EXPECT_EQ(monitor.scripting().player(Source::appleMusic), first.busName());
    ASSERT_TRUE(first.show({ { "status", "Paused" } }));
    ASSERT_TRUE(second.show({ { "status", "Stopped" } }));
    ASSERT_TRUE(settled());
    EXPECT_EQ(monitor.scripting().player(Source::appleMusic), first.busName());
    ASSERT_TRUE(second.show({ { "status", "Paused" } }));
    ASSERT_TRUE(settled());
    EXPECT_EQ(monitor.scripting().player(Source::appleMusic), second.busName()) << "among equals the latest";
}

TEST_F(Monitor, AFloodingPlayerIsAskedOneQuestionOfEachKindAtATime)
{
    ASSERT_TRUE(bus.isRunning());
    nimbra::test::ScriptedPlayer player(bus.address(), "org.mpris.MediaPlayer2.flood");
    ASSERT_TRUE(player.isRunning());
    monitor.start();
    ASSERT_TRUE(player.show(playing(trackMetadata("Calm", "/t/1"))));
    ASSERT_TRUE(waitUntil([&] { return shownTitle() == "Calm"; }, 10000));
    ASSERT_TRUE(settled());

    // The player holds its answers back and floods: two hundred track changes, two hundred
    // seeks, and a cover asked for at each of fifty tracks.
    ASSERT_TRUE(player.show({ { "hold", true } }));
    ASSERT_TRUE(player.show({ { "flood", 200 } }));
    ASSERT_TRUE(waitUntil([&] { return shownTitle() == "Flood 200"; }, 20000));
    const int generation = monitor.queryGeneration();
    ASSERT_TRUE(player.show({ { "seeked", 200 } }));
    ASSERT_TRUE(waitUntil([&] { return monitor.queryGeneration() >= generation + 200; }, 20000));
    int covers = 0;
    QString coverFor;
    for (int n = 0; n < 50; ++n) {
        monitor.artwork([&](const QString& identity, const QImage&) {
            ++covers;
            coverFor = identity;
        });
    }
    // A call on the same connection, answered at once, comes after every question asked so far.
    const QDBusMessage raise = QDBusMessage::createMethodCall(
        player.busName(), MusicScripting::objectPath, "org.mpris.MediaPlayer2", "Raise");
    ASSERT_EQ(bus.connection().call(raise, QDBus::Block, 10000).type(), QDBusMessage::ReplyMessage);
    // One status question and one cover question; a few more only if the machine is so slow
    // that the first ones ran out of time meanwhile.
    const int held = player.heldAnswers();
    EXPECT_GE(held, 2);
    EXPECT_LT(held, 20);

    // The questions that waited are asked once the held ones are answered: the flood's last
    // track is shown and its cover handed over, once.
    ASSERT_TRUE(player.show({ { "hold", false } }));
    ASSERT_TRUE(waitUntil([&] { return covers > 0; }, 10000));
    ASSERT_TRUE(settled());
    EXPECT_EQ(shownTitle(), "Flood 200");
    EXPECT_EQ(covers, 1);
    EXPECT_EQ(coverFor, monitor.track()->trackIdentity());
}

TEST_F(Monitor, ATrackIdThatIsNoObjectPathCannotBeSeeked)
{
    ASSERT_TRUE(bus.isRunning());
    nimbra::test::ScriptedPlayer player(bus.address(), "org.mpris.MediaPlayer2.textids");
    ASSERT_TRUE(player.isRunning());
    monitor.start();
    // Track ids sent as text: one that is an object path all the same, then ones that are not,
    // which no SetPosition can carry. Those tracks are shown, but not moved.
    ASSERT_TRUE(player.show({ { "types", QVariantMap { { "mpris:trackid", "s" } } } }));
    ASSERT_TRUE(player.show(playing(trackMetadata("Path as text", "/t/1"))));
    ASSERT_TRUE(waitUntil([&] { return shownTitle() == "Path as text"; }, 10000));
    ASSERT_TRUE(settled());
    EXPECT_TRUE(monitor.canSeek());
    for (const QString& id : { QStringLiteral("spotify:track:42"), QStringLiteral("/t/2/") }) {
        ASSERT_TRUE(player.show(playing(trackMetadata("Text id", id))));
        ASSERT_TRUE(waitUntil([&] { return shownTitle() == "Text id"; }, 10000));
        ASSERT_TRUE(settled());
        EXPECT_FALSE(monitor.canSeek()) << id.toStdString();
        changes.clear();
        monitor.seek(20);
        EXPECT_TRUE(changes.empty()) << id.toStdString();
        ASSERT_TRUE(player.show(playing(trackMetadata("Between", "/t/3"))));
        ASSERT_TRUE(waitUntil([&] { return shownTitle() == "Between"; }, 10000));
    }
}
