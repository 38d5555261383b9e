// Files that never answer, on the whole application: a player announcing a FIFO as each
// track's cover and a FIFO kept on the shelf. Nimbra reads outside files on pools of its own
// with time limits, so the clipboard goes on capturing, every frame paints, and quitting
// neither waits for them nor leaves the next start handing over to a process on its way out.
#include "support/file_drag.h"
#include "support/music_players.h"
#include "support/nimbra_process.h"
#include "support/test_support.h"
#include "support/x_pointer.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>

using namespace nimbra::test;

namespace {

struct HostileFiles : ::testing::Test {
    ButtonLetGo letGo;
};

} // namespace

// The pointer drags a file onto the notch and the keyboard presses a media key: a harness of its
// own.
NIMBRA_OWN_HARNESS(HostileFiles);

TEST_F(HostileFiles, FifoCoversAndShelfItemsLeaveCapturePaintingAndQuittingAlone)
{
    QTemporaryDir dir;
    const QString shelved = dir.filePath("shelved.fifo");
    ASSERT_TRUE(makeFifo(shelved));
    ToneLibrary tones(ToneLibrary::standard(), false);
    ASSERT_TRUE(tones.isReady());
    ASSERT_TRUE(makeFifo(tones.path("cover.png")));

    QJsonObject profile { { "display.showOnAll", true }, { "module.hud.replacement", true },
        { "shelf.paths", QJsonArray { shelved } } };
    NimbraProcess nimbra(QJsonDocument(profile).toJson());
    ASSERT_TRUE(nimbra.start());
    ASSERT_TRUE(nimbra.waitForLog("level   observing volume on device ", 20000)) << nimbra.log().toStdString();

    // A player offers the FIFO beside its tones as every track's cover, track after track.
    const QString session = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    MpvPlayer mpv(session, { tones.path("a.flac"), tones.path("b.flac"), tones.path("a.flac"), tones.path("b.flac") },
        false, { "--cover-art-auto=no" });
    ASSERT_TRUE(mpv.isRunning());
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QRegularExpression trackChange("media   (startedPlaying|changedTrack) ");
    const auto changes = [&] { return nimbra.log().count(trackChange); };
    ASSERT_TRUE(waitUntil([&] { return changes() >= 1; }, 15000)) << nimbra.log().toStdString();
    for (int next = 0; next < 3; ++next) {
        const qsizetype before = changes();
        bus.call(QDBusMessage::createMethodCall(
            mpv.busName(), "/org/mpris/MediaPlayer2", "org.mpris.MediaPlayer2.Player", "Next"));
        ASSERT_TRUE(waitUntil([&] { return changes() > before; }, 15000)) << next << nimbra.log().toStdString();
    }

    // A file dropped on the notch opens the shelf, whose FIFO is asked for its thumbnail.
    const QString note = dir.filePath("note.txt");
    {
        QFile file(note);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("a note");
    }
    const auto source = dragFrom(note);
    ASSERT_TRUE(source);
    const int centre = 756;
    movePointer(QPoint(centre - 40, 0));
    movePointer(QPoint(centre, 0));
    ASSERT_TRUE(letGoOver(*source, QPoint(centre, 60)));
    ASSERT_TRUE(nimbra.waitForLog("shelf   dropped 1, 1 can land")) << nimbra.log().toStdString();
    // The pointer leaves, and the open shelf closes.
    movePointer(QPoint(100, 700));
    const qsizetype dropped = nimbra.log().indexOf("shelf   dropped 1");
    ASSERT_TRUE(waitUntil([&] { return nimbra.log().indexOf(QRegularExpression(" -> dormant\n"), dropped) > 0; }))
        << nimbra.log().toStdString();

    // The clipboard captures a copied picture.
    const QString picture = dir.filePath("copied.png");
    ASSERT_TRUE(QImage(48, 32, QImage::Format_RGB32).save(picture));
    QProcess copier;
    copier.start("xclip", { "-quiet", "-selection", "clipboard", "-t", "image/png", "-i", picture });
    ASSERT_TRUE(copier.waitForStarted());
    EXPECT_TRUE(nimbra.waitForLog("clipboa captured ")) << nimbra.log().toStdString();
    copier.kill();
    copier.waitForFinished();

    // A volume key's readout paints its first frame.
    const qsizetype framesBefore = nimbra.log().count("surface first frame of activity(systemLevel");
    QProcess key;
    key.start("xdotool", { "key", "XF86AudioRaiseVolume" });
    ASSERT_TRUE(key.waitForFinished());
    EXPECT_TRUE(waitUntil([&] {
        return nimbra.log().count("surface first frame of activity(systemLevel") > framesBefore;
    })) << nimbra.log().toStdString();

    // SIGTERM ends it by itself rather than by its deadline.
    ASSERT_EQ(::kill(pid_t(nimbra.process().processId()), SIGTERM), 0);
    // Its end is the event waited for; the limit only keeps a hung process from hanging the test.
    // The checks below prove it ended by itself rather than by its own one-second deadline.
    EXPECT_TRUE(nimbra.process().waitForFinished(20000)) << "still running after SIGTERM";
    EXPECT_EQ(nimbra.process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(nimbra.process().exitCode(), 0);
    EXPECT_FALSE(nimbra.log().contains("quitting took longer")) << nimbra.log().toStdString();

    // A start right after runs, rather than handing over to the one that went.
    const qsizetype launches = nimbra.log().count("level   accessibility trusted = ");
    ASSERT_TRUE(nimbra.start());
    EXPECT_TRUE(waitUntil([&] { return nimbra.log().count("level   accessibility trusted = ") > launches; }, 20000))
        << nimbra.log().toStdString();
    EXPECT_FALSE(nimbra.process().readAllStandardOutput().contains("already running"));
    EXPECT_TRUE(nimbra.terminate()) << nimbra.log().toStdString();
}
