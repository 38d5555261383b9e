#include "core/now_playing.h"

#include <QStringList>

#include <gtest/gtest.h>
#include <limits>

using namespace nimbra;
using Source = NowPlayingTrack::Source;
using Change = NowPlayingTrack::Change;

namespace {

constexpr double inf = std::numeric_limits<double>::infinity();

QString reply(const QStringList& fields)
{
    return fields.join(NowPlayingReading::separator());
}

std::optional<NowPlayingTrack> parse(const QStringList& fields, Source source = Source::appleMusic)
{
    return NowPlayingReading::parse(reply(fields), source, 50);
}

NowPlayingTrack track(double rate, double anchor, double anchorTime, double duration = 0)
{
    NowPlayingTrack t;
    t.source = Source::spotify;
    t.title = "Song";
    t.artist = "Artist";
    t.album = "Album";
    t.rate = rate;
    t.anchor = anchor;
    t.anchorTime = anchorTime;
    t.duration = duration;
    return t;
}

} // namespace

TEST(NowPlayingSource, RawValueIsTheExactPlayerName)
{
    for (Source source : allCases<Source>())
        EXPECT_EQ(fromRawValue<Source>(rawValue(source)), source);
    EXPECT_EQ(fromRawValue<Source>(u"spotify"), std::nullopt);
    EXPECT_EQ(fromRawValue<Source>(u"iTunes"), std::nullopt);
}

TEST(NowPlayingTrack, PositionIsExtrapolatedFromTheAnchor)
{
    const NowPlayingTrack playing = track(1, 10, 100);
    EXPECT_DOUBLE_EQ(playing.position(105), 15);
    EXPECT_DOUBLE_EQ(playing.position(95), 10); // before the anchor: no time passed
    EXPECT_DOUBLE_EQ(playing.position(1e6), 10 + 1e6 - 100); // unknown length: unbounded
    EXPECT_DOUBLE_EQ(track(1, 10, 100, 12).position(105), 12);
    EXPECT_DOUBLE_EQ(track(0, 10, 100, 12).position(105), 10);
    EXPECT_DOUBLE_EQ(track(1, -30, 100, 12).position(105), 0);

    const NowPlayingTrack moved = playing.anchored(40, 200);
    EXPECT_DOUBLE_EQ(moved.position(201), 41);
    EXPECT_EQ(moved.rate, 1);
    EXPECT_EQ(moved.title, playing.title);
    EXPECT_DOUBLE_EQ(playing.drift(14, 105), 1);
}

TEST(NowPlayingTrack, NonFiniteInputsNeverReachThePosition)
{
    const double nan = std::nan("");
    for (double now : { nan, inf, -inf }) {
        EXPECT_TRUE(std::isfinite(track(1, 10, 100).position(now))) << now;
        EXPECT_TRUE(std::isfinite(track(1, 10, 100, 200).progress(now))) << now;
    }
    EXPECT_DOUBLE_EQ(track(1, 10, 100, 200).position(inf), 200);
    EXPECT_DOUBLE_EQ(track(nan, 10, 100, 200).position(105), 10);
    EXPECT_DOUBLE_EQ(track(1, nan, 100, 200).position(105), 5);
    EXPECT_DOUBLE_EQ(track(1, inf, 100, 200).position(105), 5);
    EXPECT_DOUBLE_EQ(track(1, 10, nan, 200).position(105), 10);
    EXPECT_TRUE(std::isfinite(track(1, 10, 100, nan).position(105)));
    EXPECT_DOUBLE_EQ(track(1, 10, 100, nan).progress(105), 0);
    EXPECT_EQ(track(1, 10, 100, inf).remainingText(105), "--:--");
}

TEST(NowPlayingTrack, ProgressAndTexts)
{
    const NowPlayingTrack t = track(1, 10, 100, 200);
    EXPECT_DOUBLE_EQ(t.progress(105), 15.0 / 200);
    EXPECT_DOUBLE_EQ(t.progress(1000), 1);
    EXPECT_DOUBLE_EQ(track(1, 10, 100).progress(105), 0);
    EXPECT_EQ(t.elapsedText(105), "0:15");
    EXPECT_EQ(t.remainingText(105), "-3:05");
    EXPECT_EQ(t.remainingText(1000), "-0:00");
    EXPECT_EQ(track(1, 10, 100).remainingText(105), "--:--");
}

TEST(NowPlayingTrack, Timestamp)
{
    EXPECT_EQ(NowPlayingTrack::timestamp(0), "0:00");
    EXPECT_EQ(NowPlayingTrack::timestamp(-0.0), "0:00");
    EXPECT_EQ(NowPlayingTrack::timestamp(59.9), "0:59");
    EXPECT_EQ(NowPlayingTrack::timestamp(605), "10:05");
    EXPECT_EQ(NowPlayingTrack::timestamp(3600), "1:00:00");
    EXPECT_EQ(NowPlayingTrack::timestamp(86399), "23:59:59");
    EXPECT_EQ(NowPlayingTrack::timestamp(86400), "--:--");
    EXPECT_EQ(NowPlayingTrack::timestamp(-0.5), "--:--");
    EXPECT_EQ(NowPlayingTrack::timestamp(std::nan("")), "--:--");
    EXPECT_EQ(NowPlayingTrack::timestamp(inf), "--:--");
}

TEST(NowPlayingTrack, TrackIdentity)
{
    NowPlayingTrack t = track(1, 0, 0);
    EXPECT_EQ(t.trackIdentity(), "Spotify|Song|Artist|Album");
    t.artist.clear();
    EXPECT_EQ(t.trackIdentity(), "Spotify|Song||Album");
    t.identity = QString();
    EXPECT_EQ(t.trackIdentity(), "Spotify|Song||Album");
    t.identity = "spotify:track:42";
    EXPECT_EQ(t.trackIdentity(), "Spotify|spotify:track:42");
}

TEST(NowPlayingTrack, ChangeClassification)
{
    const NowPlayingTrack playing = track(1, 10, 100);
    const NowPlayingTrack paused = track(0, 10, 100);
    NowPlayingTrack other = playing;
    other.title = "Other";
    NowPlayingTrack otherPaused = other;
    otherPaused.rate = 0;

    EXPECT_EQ(NowPlayingTrack::change(std::nullopt, std::nullopt, 100), std::nullopt);
    EXPECT_EQ(NowPlayingTrack::change(std::nullopt, playing, 100), Change::startedPlaying);
    EXPECT_EQ(NowPlayingTrack::change(std::nullopt, paused, 100), std::nullopt);
    EXPECT_EQ(NowPlayingTrack::change(playing, std::nullopt, 100), Change::stopped);
    EXPECT_EQ(NowPlayingTrack::change(playing, other, 100), Change::changedTrack);
    EXPECT_EQ(NowPlayingTrack::change(paused, otherPaused, 100), std::nullopt);
    EXPECT_EQ(NowPlayingTrack::change(playing, paused, 100), Change::paused);
    EXPECT_EQ(NowPlayingTrack::change(paused, playing, 100), Change::startedPlaying);
    EXPECT_EQ(NowPlayingTrack::change(playing, playing.anchored(12.5, 100), 100), std::nullopt);
    EXPECT_EQ(NowPlayingTrack::change(playing, playing.anchored(12.6, 100), 100), Change::seeked);
    EXPECT_EQ(NowPlayingTrack::change(paused, paused.anchored(40, 120), 130), Change::seeked);
    EXPECT_EQ(NowPlayingTrack::change(playing, playing.anchored(15, 105), 110), std::nullopt);
}

TEST(NowPlayingReading, IdleAndMalformedRepliesAreNil)
{
    for (const QString& idle : { QString("  none \n"), QString(), QString(" \t\n"), QString("None"), QString("playing"),
             reply({ "playing", "Song", "Artist", "Album", "1" }),
             reply({ "playing", "", "Artist", "Album", "1", "2" }) })
        EXPECT_EQ(NowPlayingReading::parse(idle, Source::appleMusic, 0), std::nullopt) << idle.toStdString();
}

TEST(NowPlayingReading, ParsesAnAppleMusicReply)
{
    const auto t = NowPlayingReading::parse(
        "\n playing" + reply({ "", "Song", "", "", "12.5", "215.4", "ABCDEF0123" }) + "\r\n", Source::appleMusic, 77);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->source, Source::appleMusic);
    EXPECT_EQ(t->title, "Song");
    EXPECT_EQ(t->artist, "");
    EXPECT_EQ(t->album, "");
    EXPECT_EQ(t->rate, 1.0);
    EXPECT_DOUBLE_EQ(t->anchor, 12.5);
    EXPECT_DOUBLE_EQ(t->anchorTime, 77);
    EXPECT_DOUBLE_EQ(t->duration, 215.4);
    EXPECT_EQ(t->identity, "ABCDEF0123");
    EXPECT_EQ(t->trackIdentity(), "Music|ABCDEF0123");
}

TEST(NowPlayingReading, ParsesASpotifyReplyInMilliseconds)
{
    const auto t = parse({ "paused", " Song ", "Artist", "Album", "3", "215000" }, Source::spotify);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->title, " Song "); // inner fields are taken as they stand
    EXPECT_EQ(t->rate, 0.0);
    EXPECT_DOUBLE_EQ(t->duration, 215.0);
    EXPECT_EQ(t->identity, std::nullopt);
    EXPECT_EQ(t->trackIdentity(), "Spotify| Song |Artist|Album");

    EXPECT_DOUBLE_EQ(parse({ "playing", "S", "", "", "0", "86400000" }, Source::spotify)->duration, 0);
    EXPECT_DOUBLE_EQ(parse({ "playing", "S", "", "", "0", "86399000" }, Source::spotify)->duration, 86399);
    EXPECT_DOUBLE_EQ(parse({ "playing", "S", "", "", "0", "86400" })->duration, 0);
}

TEST(NowPlayingReading, StateWords)
{
    EXPECT_EQ(parse({ "PLAYING", "S", "", "", "0", "0" })->rate, 1.0);
    EXPECT_EQ(parse({ "playing fast", "S", "", "", "0", "0" })->rate, 1.0);
    EXPECT_EQ(parse({ "kPSP", "S", "", "", "0", "0" })->rate, 0.0);
    EXPECT_EQ(parse({ "stopped", "S", "", "", "0", "0" })->rate, 0.0);
    EXPECT_EQ(parse({ "is playing", "S", "", "", "0", "0" })->rate, 0.0);
}

TEST(NowPlayingReading, NumbersFallBackToZero)
{
    const auto position = [](const QString& field) { return parse({ "playing", "S", "", "", field, "0" })->anchor; };
    EXPECT_DOUBLE_EQ(position("12,5"), 12.5);
    EXPECT_DOUBLE_EQ(position(" \t12.5  "), 12.5);
    EXPECT_DOUBLE_EQ(position("1e2"), 100);
    EXPECT_DOUBLE_EQ(position("+7"), 7);
    EXPECT_DOUBLE_EQ(position("twelve"), 0);
    EXPECT_DOUBLE_EQ(position("-3"), 0);
    EXPECT_DOUBLE_EQ(position("inf"), 0);
    EXPECT_DOUBLE_EQ(position("nan"), 0);
    EXPECT_DOUBLE_EQ(position("1e999"), 0);
    EXPECT_DOUBLE_EQ(position("12\n5"), 0);
    EXPECT_DOUBLE_EQ(position("1,234,5"), 0);
    EXPECT_DOUBLE_EQ(position(""), 0);
    EXPECT_DOUBLE_EQ(position("++1"), 0);
    EXPECT_DOUBLE_EQ(position("100000"), 100000); // no upper bound on the position

    const auto duration = [](const QString& field) { return parse({ "playing", "S", "", "", "0", field })->duration; };
    EXPECT_DOUBLE_EQ(duration("215,4"), 215.4);
    EXPECT_DOUBLE_EQ(duration("-1"), 0);
    EXPECT_DOUBLE_EQ(duration("-inf"), 0);
    EXPECT_DOUBLE_EQ(duration("n/a"), 0);
}

TEST(NowPlayingReading, IdentityField)
{
    EXPECT_EQ(parse({ "playing", "S", "", "", "0", "0" })->identity, std::nullopt);
    // An empty seventh field survives the outer trim and still means no identity.
    EXPECT_EQ(parse({ "playing", "S", "", "", "0", "0", "" })->identity, std::nullopt);
    EXPECT_EQ(parse({ "playing", "S", "", "", "0", "0", " id ", "extra", "more" })->identity, " id ");
    EXPECT_EQ(parse({ "playing", "S", "", "", "0", "0", "id\n" })->identity, "id");
}
