// The README's two run-time commands as a new user meets them: scripts/run.sh on a machine
// without a display, and the screenshot command it prints.
#include "support/nimbra_process.h"
#include "support/private_servers.h"
#include "support/test_support.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>

using nimbra::test::NimbraProcess;
using nimbra::test::PrivatePulse;
using nimbra::test::PrivateX;
using nimbra::test::processState;
using nimbra::test::waitUntil;
using nimbra::test::XClient;

namespace {

// The processes whose parent is `parent`, by /proc.
QList<qint64> childrenOf(qint64 parent)
{
    QList<qint64> children;
    for (const QString& entry : QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        QFile stat("/proc/" + entry + "/stat");
        if (!number || !stat.open(QIODevice::ReadOnly))
            continue;
        // "pid (name) state ppid ...": the name may hold spaces, the last ')' ends it.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields[1].toLongLong() == parent)
            children << pid;
    }
    return children;
}

// Still there, and not merely waiting to be reaped.
bool isRunning(qint64 pid)
{
    const char state = processState(pid);
    return state != '\0' && state != 'Z';
}

QString commandOf(qint64 pid)
{
    QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
    return cmdline.open(QIODevice::ReadOnly) ? QString::fromUtf8(cmdline.readAll()).replace('\0', ' ') : QString();
}

} // namespace

// Started as a terminal starts it (a process group of its own), stopped by Ctrl+C (SIGINT to
// the whole group) and by SIGTERM to the script alone: either way nothing it started is left.
TEST(RunScript, StopsEverythingItStartedWhicheverSignalEndsIt)
{
    for (const bool ctrlC : { true, false }) {
        QProcess run;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : { "DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "PULSE_SERVER" })
            env.remove(name);
        env.insert("NIMBRA_BUILD_DIR", NIMBRA_BINARY_DIR);
        run.setProcessEnvironment(env);
        run.setProcessChannelMode(QProcess::SeparateChannels);
        run.start("setsid", { QStringLiteral(NIMBRA_SOURCE_DIR "/scripts/run.sh") });
        ASSERT_TRUE(run.waitForStarted(5000));
        QByteArray said;
        ASSERT_TRUE(waitUntil(
            [&] {
                said += run.readAllStandardOutput();
                return said.contains("Stop with Ctrl+C.");
            },
            120000))
            << said.toStdString() << run.readAllStandardError().toStdString();
        // The servers, the session bus, the sound server and Nimbra itself.
        QList<qint64> started;
        ASSERT_TRUE(waitUntil([&] {
            started = childrenOf(run.processId());
            return std::any_of(
                started.begin(), started.end(), [](qint64 pid) { return commandOf(pid).contains("/src/app/nimbra"); });
        }));
        QStringList commands;
        for (qint64 pid : started)
            commands << commandOf(pid);
        EXPECT_TRUE(commands.join('\n').contains("dbus-daemon")) << commands.join('\n').toStdString();
        EXPECT_GE(started.size(), 6) << commands.join('\n').toStdString();

        if (ctrlC)
            ::kill(-pid_t(run.processId()), SIGINT);
        else
            ::kill(pid_t(run.processId()), SIGTERM);
        EXPECT_TRUE(run.waitForFinished(30000));
        for (qint64 pid : started) {
            EXPECT_TRUE(waitUntil([&] { return !isRunning(pid); }, 10000))
                << (ctrlC ? "Ctrl+C" : "SIGTERM") << " left " << commandOf(pid).toStdString();
            if (isRunning(pid))
                ::kill(pid_t(pid), SIGKILL);
        }
    }
}

// On a first start onboarding keeps moving in the middle of the screen; the screenshot waits for
// the notch alone, so the printed commands show the volume readout.
TEST(ScreenshotScript, OnAFirstStartItCapturesTheReadoutWhileOnboardingMoves)
{
    PrivateX x({ "-screen", "0", "1512x982x24" });
    ASSERT_TRUE(x.isRunning());
    XClient compositor(x, "xcompmgr");
    PrivatePulse pulse;
    ASSERT_TRUE(pulse.isRunning());
    ASSERT_TRUE(pulse.pactl({ "set-sink-volume", "nimbra_null", "50%" }));
    NimbraProcess nimbra(R"({ "module.hud.replacement": true, "display.showOnAll": true, "onboarding.seen": false })");
    ASSERT_TRUE(nimbra.start({ "DISPLAY=" + x.display(), "PULSE_SERVER=" + pulse.address() }));
    ASSERT_TRUE(nimbra.waitForLog("display onboarding shown\n", 15000)) << nimbra.log().toStdString();
    ASSERT_TRUE(nimbra.waitForLog("level   observing volume on device ", 15000)) << nimbra.log().toStdString();
    // On to the eyes, whose pointer never rests, so the screen as a whole never stands still.
    QString window;
    ASSERT_TRUE(waitUntil([&] {
        for (const QString& candidate :
            x.output("xdotool", { "search", "--onlyvisible", "--pid", QString::number(nimbra.process().processId()) })
                .split('\n', Qt::SkipEmptyParts)) {
            if (x.output("xdotool", { "getwindowgeometry", candidate }).contains("Geometry: 580x")) {
                window = candidate;
                return true;
            }
        }
        return false;
    }));
    ASSERT_TRUE(x.run("xdotool", { "windowfocus", "--sync", window }));
    for (int step = 0; step < 5; ++step)
        ASSERT_TRUE(x.tap({ 0xff0d })); // Return: Continue
    const auto grab = [&] { return x.output("sh", { "-c", "xwd -root -silent | md5sum" }); };
    const QString first = grab();
    EXPECT_TRUE(waitUntil([&] { return grab() != first; })) << "onboarding's eyes do not move";

    ASSERT_TRUE(x.tap({ 0x1008FF13 })); // XF86AudioRaiseVolume
    QTemporaryDir dir;
    const QString shot = dir.path() + "/nimbra.png";
    QProcess screenshot;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", x.display());
    screenshot.setProcessEnvironment(env);
    screenshot.start(QStringLiteral(NIMBRA_SOURCE_DIR "/scripts/screenshot.sh"), { shot });
    ASSERT_TRUE(screenshot.waitForFinished(60000));
    EXPECT_EQ(screenshot.exitCode(), 0) << screenshot.readAllStandardError().toStdString();

    // Below where the closed notch ends, the readout hangs from the top centre: on that row its
    // pixels differ from the desktop's beside it.
    const QImage image(shot);
    ASSERT_FALSE(image.isNull());
    nimbra::test::saveArtefact(image, "screenshot-first-start");
    const QColor desktop = image.pixelColor(20, 50);
    int readout = 0;
    for (int x = image.width() / 2 - 150; x < image.width() / 2 + 150; ++x) {
        const QColor c = image.pixelColor(x, 50);
        const int difference = std::abs(c.red() - desktop.red()) + std::abs(c.green() - desktop.green())
            + std::abs(c.blue() - desktop.blue());
        readout += difference > 40 ? 1 : 0;
    }
    EXPECT_GT(readout, 100) << "no readout in the screenshot";
    EXPECT_TRUE(nimbra.terminate()) << nimbra.log().toStdString();
}
