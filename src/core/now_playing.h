#pragma once

#include <QString>
#include <QStringView>

#include <array>
#include <optional>
#include <span>

namespace nimbra {

template <typename E> std::optional<E> fromRawValue(QStringView raw);
template <typename E> std::span<const E> allCases();

// One observation of what a player is playing. The play head is stored as an anchor (a
// position and the uptime instant at which it held) plus a rate; readers extrapolate it to
// their own `now`, since the players are only asked now and then.
struct NowPlayingTrack {
    // The raw value is also the player's application name in every script.
    enum class Source { appleMusic, spotify };

    enum class Change { startedPlaying, changedTrack, paused, stopped, seeked };

    Source source = Source::appleMusic;
    QString title; // never empty in a parsed track
    QString artist;
    QString album;
    double rate = 0; // 1 while playing, 0 while paused
    double anchor = 0; // play-head position in seconds at `anchorTime`
    double anchorTime = 0; // uptime seconds
    double duration = 0; // seconds; 0 means unknown
    std::optional<QString> identity; // the player's own track id, when it gave one

    bool isPlaying() const { return rate > 0; }
    // Extrapolated play-head position; never negative, never past a known duration, never
    // non-finite.
    double position(double now) const;
    double progress(double now) const;
    double drift(double expected, double now) const;
    NowPlayingTrack anchored(double position, double time) const;
    // Whether two observations show the same track.
    QString trackIdentity() const;

    // Clock text of a position: "m:ss" below an hour, "h:mm:ss" below a day, else "--:--".
    static QString timestamp(double seconds);
    QString elapsedText(double now) const;
    QString remainingText(double now) const;

    static std::optional<Change> change(
        const std::optional<NowPlayingTrack>& from, const std::optional<NowPlayingTrack>& to, double now);

    bool operator==(const NowPlayingTrack&) const = default;
};

QString rawValue(NowPlayingTrack::Source source);
QString bundleID(NowPlayingTrack::Source source);
// Exactly "Music" or "Spotify".
template <> std::optional<NowPlayingTrack::Source> fromRawValue<NowPlayingTrack::Source>(QStringView raw);

inline constexpr std::array<NowPlayingTrack::Source, 2> kNowPlayingSources
    = { NowPlayingTrack::Source::appleMusic, NowPlayingTrack::Source::spotify };

template <> inline std::span<const NowPlayingTrack::Source> allCases<NowPlayingTrack::Source>()
{
    return kNowPlayingSources;
}

// Parser of the player status script's one-line reply: "none" when idle, otherwise at least
// six fields joined by U+001F: state, title, artist, album, position, duration, and an
// optional track identity.
struct NowPlayingReading {
    NowPlayingReading() = delete;

    struct Dialect {
        double durationScale = 1.0; // turns the player's duration into seconds
        std::optional<QString> identityProperty; // the scripting property naming a track's id
        bool operator==(const Dialect&) const = default;
    };

    static QString separator();
    static Dialect dialect(NowPlayingTrack::Source source);
    // Nil for an idle or malformed reply; unreadable numbers read as 0.
    static std::optional<NowPlayingTrack> parse(const QString& reply, NowPlayingTrack::Source source, double now);
};

} // namespace nimbra
