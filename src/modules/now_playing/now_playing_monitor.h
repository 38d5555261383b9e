#pragma once

#include "core/activity.h"
#include "core/now_playing.h"
#include "platform/mpris/music_scripting.h"

#include <QImage>
#include <QObject>
#include <QTimer>
#include <functional>
#include <optional>

namespace nimbra {

// Keeps the one current track of the players and tells the shell what changed. Each player
// change becomes a quick provisional track at once, refined by a status query; while the
// play-head position is on screen and a track plays, the position is checked against the
// player now and then so that the shown time does not drift; transport commands update the
// shown track at once, before the player confirms. Main thread only.
class NowPlayingMonitor final : public QObject {
    Q_OBJECT
public:
    using Source = NowPlayingTrack::Source;
    using Authorization = MusicScripting::Authorization;
    using Change = NowPlayingTrack::Change;

    static inline const ModuleID moduleID { QStringLiteral("nowPlaying") };
    // Drift correction: first 0.45 s after the position shows, then every 15 s.
    static constexpr int firstDriftCheckMs = 450;
    static constexpr int driftCheckIntervalMs = 15000;
    static constexpr double tolerableDrift = 1.0;
    // How long the play or pause the user asked for outweighs what the player still reports.
    static constexpr double intentWindow = 1.5;
    static constexpr int requeryAfterCommandMs = 250;
    // Past this point "previous" goes back to the start of the track instead.
    static constexpr double restartThreshold = 3.0;

    explicit NowPlayingMonitor(QObject* parent = nullptr);
    ~NowPlayingMonitor() override;

    const std::optional<NowPlayingTrack>& track() const { return m_track; }
    std::optional<Authorization> authorization() const { return m_authorization; }
    bool isStarted() const { return m_started; }

    // Called after every published change.
    std::function<void(const std::optional<NowPlayingTrack>&, std::optional<Change>)> onChange;
    std::function<void(Authorization)> onAuthorizationChange;

    // Follows the players and asks them once. Stopping ends all of it (and the position checks);
    // the track stays as it was.
    void start();
    void stop();
    // Asks every running player and shows the best answer: a playing one (Music before
    // Spotify), else the source already shown, else any. A shown track whose player did not
    // answer stays, unless another player plays.
    void refresh();

    bool isPositionVisible() const { return m_isPositionVisible; }
    void setPositionVisible(bool visible);
    bool isDriftCorrectionRunning() const { return m_positionTimer.isActive(); }

    void playPause();
    void next();
    void previous();
    void seek(double seconds);
    void seekToFraction(double fraction);
    // Whether the current track's player can be moved to a position.
    bool canSeek() const;

    // The current track's artwork, handed over with the identity of the track it was asked
    // for. Nothing without a track. A load for a track no longer shown is dropped: its `then`
    // never runs.
    void artwork(std::function<void(const QString& trackIdentity, const QImage& image)> then);
    // Where the current track's cover comes from, as its player last said; a cover named after
    // the track's texts is worth asking for again.
    QString artworkAddress() const;
    void requestAuthorization(Source source, bool prompt);

    // The player access underneath (tests point it at a bus of their own before start()).
    MusicScripting& scripting() { return m_scripting; }
    int queryGeneration() const { return m_queryGeneration; }
    // The uptime clock every step reads (tests step it by hand).
    void setClock(std::function<double()> clock) { m_clock = std::move(clock); }

private:
    using Continuation = std::function<void(const std::optional<NowPlayingTrack>&)>;
    // With whether the player answered at all: no answer (a time-out, an error) is no news.
    using AnswerContinuation = std::function<void(const std::optional<NowPlayingTrack>&, bool answered)>;

    void handle(const std::optional<MusicScripting::Payload>& payload, Source source);
    // One status query; its answer is dropped when a newer query started meanwhile.
    void query(Source source, Continuation then);
    void ask(Source source, int generation, AnswerContinuation then);
    void update(std::optional<NowPlayingTrack> next, bool announceSeek);
    void publish(std::optional<Change> change);
    void refreshDriftCorrection();
    void correctDrift();
    std::optional<Source> controlTarget() const;
    void send(Source target, MusicScripting::Command command, double seconds = 0);
    void setAuthorization(Authorization value);
    void note(const MusicScripting::ScriptError& error);

    struct Intent {
        double rate = 0;
        double until = 0;
    };

    MusicScripting m_scripting;
    std::optional<NowPlayingTrack> m_track;
    std::optional<Authorization> m_authorization;
    bool m_started = false;
    QTimer m_positionTimer;
    int m_queryGeneration = 0;
    std::optional<Intent> m_intent;
    std::optional<QString> m_refining;
    bool m_isPositionVisible = false;
    // The track whose cover is on its way, if any.
    std::optional<QString> m_artworkFor;
    std::function<double()> m_clock;
};

} // namespace nimbra
