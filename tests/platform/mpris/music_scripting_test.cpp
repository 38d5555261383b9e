#include "platform/mpris/artwork_loader.h"
#include "platform/mpris/music_scripting.h"

#include "support/hanging_folder.h"
#include "support/test_support.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QThreadPool>
#include <QDBusObjectPath>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <limits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace nimbra;
using nimbra::test::HangingFolder;
using nimbra::test::waitUntil;
using Source = NowPlayingTrack::Source;

namespace {

QVariantMap metadata(const QString& title, const QVariant& artist = QStringList { "Miles Davis", "John Coltrane" })
{
    return { { "xesam:title", title }, { "xesam:artist", artist }, { "xesam:album", "Kind of Blue" },
        { "mpris:length", qlonglong(215'000'000) }, { "mpris:trackid", QVariant::fromValue(QDBusObjectPath("/t/7")) },
        { "xesam:url", "file:///music/blue.flac" } };
}

QVariantMap properties(const QString& state, const QVariantMap& meta)
{
    return { { "PlaybackStatus", state }, { "Metadata", meta }, { "Position", qlonglong(12'500'000) } };
}

QByteArray png(QSize size, QColor colour)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// Loads `url` and waits for the one answer.
std::optional<QImage> load(ArtworkLoader& loader, const QUrl& url, int timeoutMs = 15000)
{
    std::optional<QImage> answer;
    int answers = 0;
    loader.load(url, [&](const QImage& image) {
        answer = image;
        ++answers;
    });
    waitUntil([&] { return answers > 0; }, timeoutMs);
    EXPECT_LE(answers, 1);
    return answer;
}

// A one-request web server on the loopback address: answers with `body` (or, when `stall`,
// with headers only and then nothing).
struct LoopbackServer {
    explicit LoopbackServer(QByteArray body, bool stall = false)
    {
        server.listen(QHostAddress::LocalHost);
        QObject::connect(&server, &QTcpServer::newConnection, [this, body, stall] {
            QTcpSocket* socket = server.nextPendingConnection();
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, body, stall] {
                socket->readAll();
                socket->write("HTTP/1.1 200 OK\r\nContent-Type: image/png\r\n");
                if (stall) {
                    socket->write("Content-Length: 1000\r\n\r\n");
                    return;
                }
                socket->write("Content-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n");
                socket->write(body);
                socket->disconnectFromHost();
            });
        });
    }
    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/cover.png").arg(server.serverPort())); }
    QTcpServer server;
};

} // namespace

TEST(MusicScripting, BusNamesMapToTheTwoSources)
{
    EXPECT_EQ(MusicScripting::source("org.mpris.MediaPlayer2.spotify"), Source::spotify);
    EXPECT_EQ(MusicScripting::source("org.mpris.MediaPlayer2.mpv"), Source::appleMusic);
    EXPECT_EQ(MusicScripting::source("org.mpris.MediaPlayer2.vlc.instance42"), Source::appleMusic);
    EXPECT_EQ(MusicScripting::source("org.mpris.MediaPlayer2.spotifyd"), Source::appleMusic);
    EXPECT_EQ(MusicScripting::source("org.mpris.MediaPlayer2."), std::nullopt);
    EXPECT_EQ(MusicScripting::source("org.freedesktop.Notifications"), std::nullopt);
}

TEST(MusicScripting, TheStatusReplyParsesIntoTheTrackInEachSourcesUnit)
{
    const QVariantMap playing = properties("Playing", metadata("Blue in Green"));
    const QString music = MusicScripting::statusReply(Source::appleMusic, "org.mpris.MediaPlayer2.mpv", playing);
    const auto parsed = NowPlayingReading::parse(music, Source::appleMusic, 100);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->title, "Blue in Green");
    EXPECT_EQ(parsed->artist, "Miles Davis, John Coltrane");
    EXPECT_EQ(parsed->album, "Kind of Blue");
    EXPECT_TRUE(parsed->isPlaying());
    EXPECT_DOUBLE_EQ(parsed->anchor, 12.5);
    EXPECT_DOUBLE_EQ(parsed->duration, 215);
    EXPECT_EQ(parsed->identity, "org.mpris.MediaPlayer2.mpv /t/7 file:///music/blue.flac");

    // Spotify's dialect reads milliseconds: the reply carries them, and the length comes out the same.
    const QString spotify = MusicScripting::statusReply(Source::spotify, MusicScripting::spotifyBusName, playing);
    EXPECT_TRUE(spotify.split(NowPlayingReading::separator()).at(5).startsWith("215000"));
    EXPECT_DOUBLE_EQ(NowPlayingReading::parse(spotify, Source::spotify, 100)->duration, 215);

    const QVariantMap paused = properties("Paused", metadata("Blue in Green"));
    EXPECT_FALSE(NowPlayingReading::parse(
        MusicScripting::statusReply(Source::appleMusic, "org.mpris.MediaPlayer2.mpv", paused), Source::appleMusic, 0)
                     ->isPlaying());
}

TEST(MusicScripting, StoppedPlayersAndPlayersWithoutATrackAnswerNone)
{
    EXPECT_EQ(MusicScripting::statusReply(Source::appleMusic, "b", properties("Stopped", metadata("Song"))), "none");
    QVariantMap nameless = metadata("");
    nameless.remove("xesam:url");
    EXPECT_EQ(MusicScripting::statusReply(Source::appleMusic, "b", properties("Playing", nameless)), "none");
    EXPECT_EQ(MusicScripting::statusReply(Source::appleMusic, "b", {}), "none");
    // The list's "no track" names no identity.
    QVariantMap meta = metadata("Song");
    meta["mpris:trackid"] = QVariant::fromValue(QDBusObjectPath("/org/mpris/MediaPlayer2/TrackList/NoTrack"));
    EXPECT_EQ(MusicScripting::identity("b", meta), QString());
    EXPECT_EQ(
        NowPlayingReading::parse(
            MusicScripting::statusReply(Source::appleMusic, "b", properties("Playing", meta)), Source::appleMusic, 0)
            ->identity,
        std::nullopt);
}

TEST(MusicScripting, ASeparatorOrLineBreakInAPlayersTextShiftsNoField)
{
    const QString title = QString("Side A") + QChar(0x1F) + "Side B\nLive";
    const QVariantMap playing = properties("Playing", metadata(title, QString("Band\r\nGuests")));
    const auto parsed = NowPlayingReading::parse(
        MusicScripting::statusReply(Source::appleMusic, "b", playing), Source::appleMusic, 0);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->title, "Side ASide B Live");
    EXPECT_EQ(parsed->artist, "Band  Guests");
    EXPECT_EQ(parsed->album, "Kind of Blue");
    EXPECT_DOUBLE_EQ(parsed->duration, 215);
}

TEST(MusicScripting, AChangeSignalBecomesAPayloadOnlyWhenItConcernsPlaybackOrTheTrack)
{
    // Only the state changed: the last known track texts are not guessed, the title stays empty.
    const auto state = MusicScripting::payload("b", { { "PlaybackStatus", "Paused" } }, "Playing");
    ASSERT_TRUE(state);
    EXPECT_EQ(state->state, "Paused");
    EXPECT_TRUE(state->title.isEmpty());

    // Only the track changed: the player's last state stands in.
    const auto track = MusicScripting::payload("b", { { "Metadata", metadata("Flamenco Sketches") } }, "Playing");
    ASSERT_TRUE(track);
    EXPECT_EQ(track->state, "Playing");
    EXPECT_EQ(track->title, "Flamenco Sketches");
    EXPECT_DOUBLE_EQ(track->duration, 215);
    EXPECT_EQ(track->identity, MusicScripting::identity("b", metadata("Flamenco Sketches")));

    EXPECT_FALSE(MusicScripting::payload("b", { { "Volume", 0.5 } }, "Playing"));
    EXPECT_EQ(MusicScripting::commandText(MusicScripting::Command::seek, 83.25), "set player position to 83.250");
}

TEST(MusicScripting, APlayersNewsReadsOddValuesAsItsAnswerDoes)
{
    // A length of a day or more is no length, in the news as in the answer a moment later.
    for (const QVariant& length : { QVariant(std::numeric_limits<qlonglong>::max()), QVariant("1e300"),
             QVariant(qlonglong(86'400'000'000)) }) {
        QVariantMap meta = metadata("Long");
        meta["mpris:length"] = length;
        const auto news = MusicScripting::payload("b", { { "Metadata", meta } }, "Playing");
        ASSERT_TRUE(news);
        EXPECT_EQ(news->duration, 0) << length.toString().toStdString();
        const auto answer = NowPlayingReading::parse(
            MusicScripting::statusReply(Source::appleMusic, "b", properties("Playing", meta)), Source::appleMusic, 0);
        ASSERT_TRUE(answer);
        EXPECT_EQ(answer->duration, news->duration);
    }

    // MPRIS's words in another case are still its words: a player saying "playing" plays in its
    // news as in its answer, and one saying "STOPPED" has no track to show.
    const auto playing = MusicScripting::payload("b", { { "PlaybackStatus", "playing" } }, "Paused");
    ASSERT_TRUE(playing);
    EXPECT_EQ(playing->state, "Playing");
    EXPECT_EQ(MusicScripting::statusReply(Source::appleMusic, "b", properties("STOPPED", metadata("T"))), "none");
    // Another word or type neither plays nor stops.
    EXPECT_EQ(MusicScripting::payload("b", { { "PlaybackStatus", 3 } }, "Playing")->state, "3");
}

TEST(ArtworkLoader, ALocalCoverIsReadOffTheMainThreadAndScaledToTheShownSize)
{
    QTemporaryDir dir;
    QFile file(dir.filePath("cover.png"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(png(QSize(1200, 600), QColor(10, 200, 30)));
    file.close();
    ArtworkLoader loader;
    const auto image = load(loader, QUrl::fromLocalFile(file.fileName()));
    ASSERT_TRUE(image && !image->isNull());
    EXPECT_EQ(image->size(), QSize(512, 256));
    EXPECT_EQ(image->pixelColor(100, 100), QColor(10, 200, 30));
}

TEST(ArtworkLoader, MissingOversizedOrUndecodableCoversAndOtherSchemesGiveNoImage)
{
    QTemporaryDir dir;
    ArtworkLoader loader;
    EXPECT_TRUE(load(loader, QUrl::fromLocalFile(dir.filePath("missing.png")))->isNull());

    QFile junk(dir.filePath("junk.png"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("not an image at all");
    junk.close();
    EXPECT_TRUE(load(loader, QUrl::fromLocalFile(junk.fileName()))->isNull());

    // One byte past 16 MiB is too much, whatever it holds.
    QFile large(dir.filePath("large.png"));
    ASSERT_TRUE(large.open(QIODevice::WriteOnly));
    const QByteArray cover = png(QSize(8, 8), Qt::red);
    large.write(cover);
    large.write(QByteArray(ArtworkLoader::maximumBytes + 1 - cover.size(), '\0'));
    large.close();
    EXPECT_TRUE(load(loader, QUrl::fromLocalFile(large.fileName()))->isNull());

    EXPECT_TRUE(load(loader, QUrl("ftp://127.0.0.1/cover.png"))->isNull());
    EXPECT_TRUE(load(loader, QUrl())->isNull());
}

TEST(ArtworkLoader, ACoverOverHttpIsFetchedAndAnOversizedOneRefused)
{
    LoopbackServer server(png(QSize(40, 40), QColor(0, 0, 250)));
    ArtworkLoader loader;
    const auto image = load(loader, server.url());
    ASSERT_TRUE(image && !image->isNull());
    EXPECT_EQ(image->pixelColor(5, 5), QColor(0, 0, 250));

    LoopbackServer huge(QByteArray(ArtworkLoader::maximumBytes + 4096, 'x'));
    EXPECT_TRUE(load(loader, huge.url())->isNull());
}

TEST(ArtworkLoader, AServerThatStopsAnsweringEndsInNoImage)
{
    LoopbackServer stalled(QByteArray(), true);
    ArtworkLoader loader;
    const auto image = load(loader, stalled.url(), 20000);
    ASSERT_TRUE(image.has_value()) << "the transfer time-out ends the wait";
    EXPECT_TRUE(image->isNull());
}

TEST(MusicScripting, PlayerTextsAreCutAtTheDoorAndAnUntaggedTrackIsNamedAfterItsFile)
{
    // A cut never splits a surrogate pair: the pair that would straddle it goes whole.
    const QString note = QString::fromUtf16(u"\U0001F3B5");
    const QString straddling = QString(MusicScripting::maximumTextLength - 1, QChar(u'a')) + note + "tail";
    EXPECT_EQ(MusicScripting::cleaned(straddling), QString(MusicScripting::maximumTextLength - 1, QChar(u'a')));
    const QString fitting = QString(MusicScripting::maximumTextLength - 2, QChar(u'a')) + note + "tail";
    EXPECT_EQ(MusicScripting::cleaned(fitting), fitting.left(MusicScripting::maximumTextLength));
    EXPECT_EQ(MusicScripting::cleaned("Short"), "Short");

    // No title: the address's last segment, percent-decoded, without its extension.
    QVariantMap untagged = metadata("");
    untagged["xesam:url"] = "file:///music/Miles%20Davis/So%20What.live.flac";
    const auto parsed = NowPlayingReading::parse(
        MusicScripting::statusReply(Source::appleMusic, "b", properties("Playing", untagged)), Source::appleMusic, 0);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->title, "So What.live");
    EXPECT_EQ(MusicScripting::payload("b", { { "Metadata", untagged } }, "Playing")->title, "So What.live");
    EXPECT_EQ(MusicScripting::fileTitle("http://radio.example/stream"), "stream");
    EXPECT_EQ(MusicScripting::fileTitle("file:///music/.hidden"), ".hidden");
    EXPECT_EQ(MusicScripting::fileTitle(""), "");
}

TEST(ArtworkLoader, AFifoOrDeviceIsNeverReadAndADroppedLoadNeverAnswers)
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath("cover.fifo");
    ASSERT_TRUE(test::makeFifo(fifo));
    ArtworkLoader loader;
    for (const QString& path : { fifo, QStringLiteral("/dev/zero") })
        EXPECT_TRUE(load(loader, QUrl::fromLocalFile(path))->isNull()) << path.toStdString();
    EXPECT_EQ(QThreadPool::globalInstance()->activeThreadCount(), 0);
    // A cover waiting in the FIFO stays there: a FIFO is not read at all.
    const int pipe = ::open(QFile::encodeName(fifo).constData(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(pipe, 0);
    const QByteArray waiting = png(QSize(8, 8), Qt::red);
    ASSERT_EQ(::write(pipe, waiting.constData(), waiting.size()), waiting.size());
    EXPECT_TRUE(load(loader, QUrl::fromLocalFile(fifo))->isNull());
    QByteArray left(waiting.size() + 1, '\0');
    EXPECT_EQ(::read(pipe, left.data(), left.size()), waiting.size());
    ::close(pipe);

    // Dropped loads: no answer, even once their workers are done and everything they posted
    // has been delivered.
    QFile file(dir.filePath("cover.png"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(png(QSize(8, 8), Qt::red));
    file.close();
    int answers = 0;
    for (int n = 0; n < 6; ++n)
        loader.load(QUrl::fromLocalFile(file.fileName()), [&](const QImage&) { ++answers; });
    loader.dropAll();
    EXPECT_EQ(loader.pending(), 0);
    ASSERT_TRUE(ArtworkLoader::readers().waitForDone(10000));
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(answers, 0);
    EXPECT_FALSE(load(loader, QUrl::fromLocalFile(file.fileName()))->isNull());
}

TEST(ArtworkLoader, ReadersStuckOnADeadMountLetNoQueueOfCoversGrowBehindThem)
{
    HangingFolder folder({ { "cover.png", png(QSize(8, 8), Qt::red) } });
    if (!folder.isMounted())
        GTEST_SKIP() << "no FUSE folder here: " << folder.error().toStdString();
    const QUrl hanging = QUrl::fromLocalFile(folder.path("cover.png"));
    ArtworkLoader loader;
    for (int n = 0; n < ArtworkLoader::maximumReaders; ++n)
        loader.load(hanging, [](const QImage&) {});
    ASSERT_TRUE(waitUntil([&] { return folder.readsAsked() >= ArtworkLoader::maximumReaders; }, 15000));

    // Every reader waits on the folder; a player changing tracks for ever asks for a cover at
    // each one. A cover that cannot be read now is no image, not one more read waiting its turn.
    int answers = 0;
    for (int n = 0; n < 100; ++n) {
        loader.dropAll();
        loader.load(hanging, [&](const QImage& image) { answers += image.isNull() ? 1 : 100; });
    }
    EXPECT_LE(ArtworkLoader::waitingReads(), ArtworkLoader::maximumWaitingReads);
    ASSERT_TRUE(waitUntil([&] { return answers > 0; }, 15000));
    EXPECT_EQ(answers, 1);

    // The folder answering again frees the readers, and a cover loads as before.
    folder.release();
    ASSERT_TRUE(waitUntil([] { return ArtworkLoader::waitingReads() == 0; }, 15000));
    const std::optional<QImage> cover = load(loader, hanging);
    ASSERT_TRUE(cover.has_value());
    EXPECT_EQ(cover->pixelColor(2, 2), QColor(Qt::red));
}
