#include "support/music_players.h"

#include "support/private_servers.h"
#include "support/test_support.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcessEnvironment>

namespace nimbra::test {

namespace {

bool run(const QString& program, const QStringList& arguments, const QProcessEnvironment& env = {})
{
    QProcess process;
    if (!env.isEmpty())
        process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(program, arguments);
    return process.waitForFinished(20000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

QProcessEnvironment onBus(const QString& busAddress)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DBUS_SESSION_BUS_ADDRESS", busAddress);
    return env;
}

// Waits until `busName` is on the bus at `address`, or the process ended.
bool waitForName(const QString& address, const QString& busName, const QProcess& process)
{
    const QString connectionName = "players-" + busName + "-" + QString::number(quintptr(&process));
    bool up = false;
    {
        QDBusConnection bus = QDBusConnection::connectToBus(address, connectionName);
        up = waitUntil([&] { return isOnBus(bus, busName) || process.state() == QProcess::NotRunning; }, 20000)
            && process.state() == QProcess::Running;
    }
    QDBusConnection::disconnectFromBus(connectionName);
    return up;
}

} // namespace

ToneLibrary::ToneLibrary(const QList<Tone>& tones, bool withCover)
{
    if (!m_dir.isValid())
        return;
    for (const Tone& tone : tones) {
        const QStringList arguments { "-n", "-r", "8000", "-c", "1", "--comment", "TITLE=" + tone.title,
            "--add-comment", "ARTIST=" + tone.artist, "--add-comment", "ALBUM=" + tone.album, path(tone.file), "synth",
            QString::number(tone.seconds), "sine", QString::number(tone.hertz), "vol", "0.1" };
        if (!run("sox", arguments))
            return;
    }
    if (withCover) {
        QImage cover(64, 64, QImage::Format_RGB32);
        cover.fill(QColor(220, 30, 30));
        if (!cover.save(path("cover.png")))
            return;
    }
    m_ready = true;
}

QList<ToneLibrary::Tone> ToneLibrary::standard()
{
    return { { "a.flac", "Tone A", "Nimbra Test", "Tones", 30, 440 },
        { "b.flac", "Tone B", "Nimbra Test", "Tones", 30, 660 } };
}

MpvPlayer::MpvPlayer(const QString& busAddress, const QStringList& files, bool paused, const QStringList& options)
{
    m_process.setProcessEnvironment(onBus(busAddress));
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setStandardOutputFile(QProcess::nullDevice());
    QStringList arguments { "--no-config", "--script=/usr/lib/mpv-mpris/mpris.so", "--no-video", "--ao=pulse",
        "--no-terminal", "--idle=no" };
    if (paused)
        arguments << "--pause";
    arguments << options;
    m_process.start("mpv", arguments + files);
    m_running = m_process.waitForStarted(5000) && waitForName(busAddress, busName(), m_process);
}

MpvPlayer::~MpvPlayer()
{
    stopProcess(m_process);
}

void MpvPlayer::quit()
{
    stopProcess(m_process);
    m_running = false;
}

MpdPlayer::MpdPlayer(
    const QString& busAddress, const QString& busName, const QString& libraryFolder, const QStringList& files)
    : m_busName(busName)
{
    if (!m_dir.isValid())
        return;
    const QString socket = m_dir.filePath("socket");
    QFile config(m_dir.filePath("mpd.conf"));
    if (!config.open(QIODevice::WriteOnly))
        return;
    config.write(QStringLiteral("music_directory \"%1\"\n"
                                "db_file \"%2\"\n"
                                "bind_to_address \"%3\"\n"
                                "audio_output {\n    type \"pulse\"\n    name \"harness\"\n}\n")
                     .arg(libraryFolder, m_dir.filePath("db"), socket)
                     .toUtf8());
    config.close();

    QProcessEnvironment env = onBus(busAddress);
    env.insert("MPD_HOST", socket);
    env.insert("XDG_CONFIG_HOME", m_dir.filePath("config"));
    m_mpd.setProcessEnvironment(env);
    m_mpd.setProcessChannelMode(QProcess::MergedChannels);
    m_mpd.setStandardOutputFile(m_dir.filePath("mpd.log"));
    m_mpd.start("mpd", { "--no-daemon", "--stderr", config.fileName() });
    // The socket file appears when mpd binds it, a moment before it listens: a client then is
    // refused. Ready is when mpd answers.
    if (!m_mpd.waitForStarted(5000)
        || !waitUntil([&] { return m_mpd.state() == QProcess::NotRunning || mpc({ "status" }); }, 20000)
        || m_mpd.state() != QProcess::Running)
        return;
    if (!mpc({ "update", "--wait" }))
        return;
    for (const QString& file : files) {
        if (!mpc({ "add", file }))
            return;
    }
    if (!mpc({ "play" }))
        return;

    m_bridge.setProcessEnvironment(env);
    m_bridge.setProcessChannelMode(QProcess::MergedChannels);
    m_bridge.setStandardOutputFile(m_dir.filePath("mpdris2.log"));
    m_bridge.start("mpDris2", { "--bus-name=" + busName, "--music-dir=" + libraryFolder });
    m_running = m_bridge.waitForStarted(5000) && waitForName(busAddress, busName, m_bridge);
}

MpdPlayer::~MpdPlayer()
{
    stopProcess(m_bridge);
    stopProcess(m_mpd);
}

bool MpdPlayer::mpc(const QStringList& arguments) const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("MPD_HOST", m_dir.filePath("socket"));
    return run("mpc", arguments, env);
}

ScriptedPlayer::ScriptedPlayer(const QString& busAddress, const QString& busName)
    : m_busName(busName)
{
    m_process.setProcessEnvironment(onBus(busAddress));
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(qEnvironmentVariable("NIMBRA_PYTHON", "/usr/bin/python3"),
        { sourcePath("tests/support/mpris_player.py"), busName });
    m_running = m_process.waitForStarted(5000) && readAnswer(20000) == QLatin1String("ready");
}

ScriptedPlayer::~ScriptedPlayer()
{
    stopProcess(m_process);
}

QString ScriptedPlayer::readAnswer(int timeoutMs)
{
    QString answer;
    waitUntil(
        [&] {
            while (m_process.canReadLine() || m_process.waitForReadyRead(20)) {
                if (!m_process.canReadLine())
                    continue;
                const QString line = QString::fromUtf8(m_process.readLine()).trimmed();
                // It also reports each transport call it received; nothing here asks for those.
                if (!line.startsWith(QLatin1String("call "))) {
                    answer = line;
                    return true;
                }
            }
            return m_process.state() == QProcess::NotRunning;
        },
        timeoutMs);
    return answer;
}

bool ScriptedPlayer::show(const QVariantMap& change)
{
    if (!m_running)
        return false;
    m_process.write(QJsonDocument(QJsonObject::fromVariantMap(change)).toJson(QJsonDocument::Compact) + '\n');
    return readAnswer(20000) == QLatin1String("ok");
}

int ScriptedPlayer::heldAnswers()
{
    if (!m_running)
        return -1;
    m_process.write("{\"count\": true}\n");
    const QString answer = readAnswer(20000);
    bool ok = false;
    const int held = answer.startsWith(QLatin1String("held ")) ? answer.mid(5).toInt(&ok) : -1;
    return ok ? held : -1;
}

bool isOnBus(const QDBusConnection& bus, const QString& busName)
{
    return bus.interface() && bus.interface()->isServiceRegistered(busName).value();
}

std::optional<QVariant> playerProperty(const QDBusConnection& bus, const QString& busName, const QString& property)
{
    QDBusMessage get
        = QDBusMessage::createMethodCall(busName, "/org/mpris/MediaPlayer2", "org.freedesktop.DBus.Properties", "Get");
    get << QStringLiteral("org.mpris.MediaPlayer2.Player") << property;
    const QDBusMessage reply = bus.call(get, QDBus::Block, 3000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return std::nullopt;
    return reply.arguments().constFirst().value<QDBusVariant>().variant();
}

} // namespace nimbra::test
