#pragma once

#include <QDBusConnection>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>
#include <optional>

namespace nimbra::test {

// Real music players for tests, each on the D-Bus (session) bus a test gives it and playing to
// the harness's sound server. Every process is stopped by its own PID when the object goes.

// A folder of sine tones made with sox, tagged with title, artist and album, with a red 64×64
// cover.png beside them (which players offer as file:// artwork).
class ToneLibrary {
public:
    struct Tone {
        QString file; // e.g. "a.flac"
        QString title;
        QString artist;
        QString album;
        int seconds = 30;
        int hertz = 440;
    };

    explicit ToneLibrary(const QList<Tone>& tones, bool withCover = true);
    bool isReady() const { return m_ready; }
    QString folder() const { return m_dir.path(); }
    QString path(const QString& file) const { return m_dir.filePath(file); }
    // Two tones of 30 s: "Tone A" and "Tone B" by "Nimbra Test" on "Tones".
    static QList<Tone> standard();

private:
    QTemporaryDir m_dir;
    bool m_ready = false;
};

// mpv with the mpv-mpris plugin: org.mpris.MediaPlayer2.mpv on the bus, playing `files` in order.
class MpvPlayer {
public:
    MpvPlayer(const QString& busAddress, const QStringList& files, bool paused = false,
        const QStringList& options = {});
    ~MpvPlayer();
    // True once its bus name is on the bus.
    bool isRunning() const { return m_running; }
    QString busName() const { return QStringLiteral("org.mpris.MediaPlayer2.mpv"); }
    // Ends the player, as a person closing it would, and waits until it is gone.
    void quit();

private:
    QProcess m_process;
    bool m_running = false;
};

// mpd playing `files` from a library folder, with mpDris2 giving it the MPRIS name `busName`.
class MpdPlayer {
public:
    MpdPlayer(
        const QString& busAddress, const QString& busName, const QString& libraryFolder, const QStringList& files);
    ~MpdPlayer();
    bool isRunning() const { return m_running; }
    QString busName() const { return m_busName; }
    // Runs mpc against this mpd; true when it succeeded.
    bool mpc(const QStringList& arguments) const;

private:
    QTemporaryDir m_dir;
    QString m_busName;
    QProcess m_mpd;
    QProcess m_bridge;
    bool m_running = false;
};

// A small scripted MPRIS player (tests/support/mpris_player.py) under `busName`: it shows
// exactly the state, track texts and cover address a test gives it, and answers transport calls
// without acting on them.
class ScriptedPlayer {
public:
    ScriptedPlayer(const QString& busAddress, const QString& busName);
    ~ScriptedPlayer();
    bool isRunning() const { return m_running; }
    QString busName() const { return m_busName; }
    // Changes what the player shows (any of "status", "metadata", "position") and returns once
    // its change signal is out; false when the player refused or did not answer.
    bool show(const QVariantMap& change);
    // The property answers it holds back right now ({"hold": true}); -1 when it did not say.
    int heldAnswers();

private:
    QString readAnswer(int timeoutMs);

    QString m_busName;
    QProcess m_process;
    bool m_running = false;
};

// Whether `busName` is on `bus`, asked of the bus daemon.
bool isOnBus(const QDBusConnection& bus, const QString& busName);
// A property of a player's org.mpris.MediaPlayer2.Player interface, or none when it did not answer.
std::optional<QVariant> playerProperty(const QDBusConnection& bus, const QString& busName, const QString& property);

} // namespace nimbra::test
