#pragma once

#include "core/now_playing.h"

#include <QDBusConnection>
#include <QImage>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <variant>
#include <vector>

class QDBusMessage;

namespace nimbra {

class ArtworkLoader;

// The one place that talks to the music players: the MPRIS services on the session bus
// (org.mpris.MediaPlayer2.*), found by listing the bus's names and following their owners,
// never by activating a service. The bus name org.mpris.MediaPlayer2.spotify is the Spotify
// source; every other player counts as Music, and Music means the player that plays, else the
// paused one that changed most recently, else the one that changed most recently.
//
// Every call to a player is asynchronous with a time-out, and every answer comes back on the
// main thread, so a player that hangs never freezes the notch. Main thread only.
class MusicScripting : public QObject {
    Q_OBJECT
public:
    using Source = NowPlayingTrack::Source;

    // A player on the bus may be asked; without one there is nothing to ask. MPRIS has no
    // automation permission, so `denied` and `undetermined` do not arise here.
    enum class Authorization { authorized, denied, playerNotRunning, undetermined };

    struct ScriptError {
        enum class Kind { failed, notAuthorized, notRunning, noTrack };
        Kind kind = Kind::failed;
        QString detail; // the D-Bus error name of a failure
        bool operator==(const ScriptError&) const = default;
    };

    // A reply line in the format NowPlayingReading parses, or why there is none.
    using Reply = std::variant<QString, ScriptError>;

    enum class Command { playPause, next, previous, seek };

    // What one player change says (its PropertiesChanged signal), in the player's own words:
    // "Playing", "Paused" or "Stopped", and the texts and length of its track when the change
    // carried them.
    struct Payload {
        QString state;
        QString title;
        QString artist;
        QString album;
        double duration = 0; // seconds; 0 when not carried
        std::optional<double> position; // seconds
        std::optional<QString> identity; // as in the status reply, when the change named the track
        bool operator==(const Payload&) const = default;
    };

    static inline const QString busPrefix = QStringLiteral("org.mpris.MediaPlayer2.");
    static inline const QString spotifyBusName = QStringLiteral("org.mpris.MediaPlayer2.spotify");
    static inline const QString objectPath = QStringLiteral("/org/mpris/MediaPlayer2");
    static inline const QString playerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
    // How long a player may take to answer before it counts as failed.
    static constexpr int callTimeoutMs = 2000;

    explicit MusicScripting(QObject* parent = nullptr);
    // Players on another bus than the session's (tests).
    explicit MusicScripting(const QDBusConnection& bus, QObject* parent = nullptr);
    ~MusicScripting() override;

    // Takes effect at the next start().
    void setConnection(const QDBusConnection& bus);

    // Follows the players on the bus: lists them once, then follows names appearing and going
    // and their change signals. Stopping forgets them and drops every answer still on its way,
    // the cover's included.
    void start();
    void stop();
    bool isWatching() const { return m_watching; }

    bool isRunning(Source source) const;
    Authorization authorization(Source source) const;
    // The bus name the source stands for right now, if any player is there.
    std::optional<QString> player(Source source) const;
    QStringList players() const;
    // Whether the source's player can move to a position of its current track: it says it can
    // seek and it named the track by an object path (what SetPosition carries).
    bool canSeek(Source source) const;

    // Asks the source's players for their state, track and position and writes the one-line
    // reply from the answer of the player the source stands for: "none" when it is stopped or
    // has no track. `then` runs once, later, on the main thread. A player is asked one question
    // at a time: what is asked meanwhile waits for one more question after it, so that a player
    // flooding the bus with news is not flooded with questions.
    void query(Source source, std::function<void(const Reply&)> then);
    // Sends a transport command to the source's player. `seconds` is the seek target. A seek
    // that the player cannot take (see canSeek) is not sent and fails with noTrack.
    void send(Source source, Command command, double seconds, std::function<void(std::optional<ScriptError>)> then);
    // The current track's artwork of the source's player (its mpris:artUrl), or a null image.
    // `then` runs once, later, on the main thread, unless a newer request or dropArtwork()
    // came first: only one cover is ever wanted, the shown track's, and only one asked for at a
    // time (a newer request waits for the answer on its way).
    void artwork(Source source, std::function<void(const QImage&)> then);
    // Drops the cover on its way, if any: its `then` never runs.
    void dropArtwork();
    // The cover address the source's player last gave for its track (empty when none).
    QString artworkAddress(Source source) const;

    // A player change worth a look: with a payload when it comes from the player its source
    // stands for, without one when the source must be asked afresh. Also the Seeked signal.
    std::function<void(Source, const std::optional<Payload>&)> onNotification;
    // A player appeared on the bus or went away.
    std::function<void()> onPlayersChanged;

    // MARK: Pure helpers

    static std::optional<Source> source(const QString& busName);
    // The status reply for a player's org.mpris.MediaPlayer2.Player properties: state, title,
    // artist, album, position and duration in the source's unit, and the track id, joined by
    // U+001F; "none" when stopped or without a title.
    static QString statusReply(Source source, const QString& busName, const QVariantMap& properties);
    // The identity field of a track: the player, its track id and the track's address (else its
    // title), since a track id of MPRIS may only name a place in the player's list. Empty when
    // the player named no track.
    static QString identity(const QString& busName, const QVariantMap& metadata);
    // Player texts lose the field separator and line breaks, so no field can shift, and are cut
    // to `maximumTextLength` characters (never inside a surrogate pair): no readout shows more,
    // and a player's megabyte title must not cost a frame more than a short one.
    static QString cleaned(const QString& text);
    static constexpr qsizetype maximumTextLength = 300;
    // The text without the field separator and line breaks, whole.
    static QString withoutBreaks(QStringView text);
    // The title of a track without one: the last segment of its address, percent-decoded,
    // without its extension ("file:///m/Blue%20Train.flac" gives "Blue Train").
    static QString fileTitle(const QString& address);
    // The payload of one PropertiesChanged map; `lastState` stands in for a PlaybackStatus the
    // change did not carry. None when the change says nothing about playback or the track.
    static std::optional<Payload> payload(const QString& busName, const QVariantMap& changed, const QString& lastState);
    // D-Bus's nested values (a{sv} inside variants) as plain Qt values.
    static QVariantMap plainMap(const QVariant& value);
    static QString commandText(Command command, double seconds);
    static QString errorName(const ScriptError& error);

private Q_SLOTS:
    void nameOwnerChanged(const QString& name, const QString& oldOwner, const QString& newOwner);
    void propertiesChanged(const QDBusMessage& message);
    void seeked(const QDBusMessage& message);

private:
    struct Player {
        QString owner; // the unique name behind the bus name
        std::uint64_t changedAt = 0; // order of the last change
        QString state;
        QString trackId;
        QString artUrl;
        bool canSeek = false;
    };

    using Answer = std::function<void(const Reply&)>;
    // The status questions to one player: those the question on its way answers, and those
    // asked since, which one more question answers.
    struct Questions {
        std::vector<Answer> asked;
        std::vector<Answer> waiting;
    };
    struct CoverRequest {
        Source source;
        std::function<void(const QImage&)> then;
    };

    void askStatus(const QString& busName);
    void askArtwork(Source source, std::function<void(const QImage&)> then);
    void addPlayer(const QString& busName, const QString& owner);
    void removePlayer(const QString& busName);
    void remember(const QString& busName, const QVariantMap& properties);
    std::optional<QString> busNameOf(const QString& sender) const;
    std::optional<QString> resolve(Source source) const;
    ScriptError error(const QDBusMessage& reply) const;
    // Calls `then` on the next turn, unless this object is gone by then.
    void later(std::function<void()> then);

    QDBusConnection m_bus;
    bool m_watching = false;
    // Advances on start() and stop(): answers of an earlier watch are dropped.
    std::uint64_t m_watch = 0;
    std::uint64_t m_changes = 0;
    std::map<QString, Player> m_players;
    std::unique_ptr<ArtworkLoader> m_artwork;
    // Advances with each cover request: an older request's answer is dropped.
    std::uint64_t m_artworkRequest = 0;
    // By bus name: the players with a status question on its way.
    std::map<QString, Questions> m_questions;
    bool m_askingArtwork = false;
    // The newest cover request made while one was on its way.
    std::optional<CoverRequest> m_nextArtwork;
};

QString rawValue(MusicScripting::Authorization authorization);

} // namespace nimbra
