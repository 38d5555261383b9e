#include "app/app_delegate.h"
#include "app/display_coordinator.h"
#include "core/nimbra_settings.h"
#include "modules/now_playing/now_playing_monitor.h"
#include "modules/now_playing/now_playing_parts.h"
#include "modules/now_playing/now_playing_views.h"
#include "modules/shell/expanded_shell.h"
#include "modules/shell/glance.h"
#include "support/music_players.h"
#include "support/private_servers.h"
#include "support/test_support.h"
#include "ui/surface/notch_surface_view.h"

#include "platform/mpris/artwork_loader.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QThreadPool>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <memory>

using namespace nimbra;
using nimbra::test::MpvPlayer;
using nimbra::test::PrivateBus;
using nimbra::test::ToneLibrary;
using nimbra::test::waitUntil;
using Transport = NowPlayingActivityView::Transport;

namespace {

// The whole shell with its players on a bus of the test's own. The displays stay disabled (no
// built-in panel here), so no window of this test shows on the shared X server; their surfaces
// and content are built all the same.
struct NowPlayingShell : ::testing::Test {
    NowPlayingShell()
    {
        delegate.nowPlaying().scripting().setConnection(bus.connection());
        delegate.applicationDidFinishLaunching();
    }

    NotchDisplayController& controller() const { return *delegate.coordinator()->controllers().begin()->second; }
    QWidget* content() const { return controller().view()->contentWidget(); }
    NowPlayingActivityView* readout() const { return qobject_cast<NowPlayingActivityView*>(content()); }
    bool showsReadout(const QString& title, std::optional<Transport> transport) const
    {
        const NowPlayingActivityView* view = readout();
        return view && view->track().title == title && view->transport() == transport;
    }
    QString playerState(const MpvPlayer& mpv) const
    {
        return nimbra::test::playerProperty(bus.connection(), mpv.busName(), "PlaybackStatus")
            .value_or(QVariant())
            .toString();
    }
    // The music tab as the open surface would show it.
    std::unique_ptr<ExpandedShell> openShell()
    {
        const SurfaceContext context { QSizeF(360, 124), 32, 185 };
        return std::unique_ptr<ExpandedShell>(
            qobject_cast<ExpandedShell*>(delegate.view(Presentation::Surface::expanded(Glance::moduleID), context)));
    }

    PrivateBus bus;
    ToneLibrary tones { ToneLibrary::standard() };
    NimbraSettings settings { std::make_shared<MemorySettingsStorage>() };
    AppDelegate delegate { &settings };
};

} // namespace

TEST_F(NowPlayingShell, ATrackReachesTheNotchAndTheMusicTabDrivesThePlayer)
{
    ASSERT_TRUE(bus.isRunning() && tones.isReady());
    MpvPlayer mpv(bus.address(), { tones.path("a.flac"), tones.path("b.flac") });
    ASSERT_TRUE(mpv.isRunning());

    // The start is announced with the title and artist, and the cover beside the tones follows.
    ASSERT_TRUE(waitUntil(
        [&] { return readout() && readout()->track().title == "Tone A" && readout()->track().artist == "Nimbra Test"; },
        10000));
    ASSERT_TRUE(waitUntil([&] { return !delegate.artwork().isNull(); }, 10000));
    EXPECT_EQ(delegate.artwork().pixelColor(10, 10), QColor(220, 30, 30));
    EXPECT_EQ(delegate.tab(), NotchSurfaceTab::music);
    EXPECT_TRUE(delegate.liveTabs().contains(NotchSurfaceTab::music));
    EXPECT_EQ(controller().presentation().focus(), NowPlayingMonitor::moduleID);

    // The music tab: seekable, and its buttons reach the player.
    auto shell = openShell();
    ASSERT_TRUE(shell);
    auto* tab = qobject_cast<NowPlayingExpandedView*>(shell->content());
    ASSERT_NE(tab, nullptr);
    EXPECT_TRUE(tab->isSeekable());
    EXPECT_FALSE(tab->artwork().isNull());
    tab->playPauseButton()->click();
    EXPECT_TRUE(showsReadout("Tone A", Transport::pause)) << "the pause shows before the player answers";
    ASSERT_TRUE(waitUntil([&] { return playerState(mpv) == "Paused"; }, 5000));
    tab->playPauseButton()->click();
    ASSERT_TRUE(waitUntil([&] { return playerState(mpv) == "Playing"; }, 5000));
    EXPECT_TRUE(showsReadout("Tone A", Transport::play));

    // Scrubbing to the middle seeks the player there.
    tab->onScrub(0.5);
    ASSERT_TRUE(waitUntil(
        [&] {
            const double at
                = nimbra::test::playerProperty(bus.connection(), mpv.busName(), "Position").value_or(0).toLongLong()
                / 1e6;
            return std::abs(at - 15) < 0.5;
        },
        5000));

    // The next track is a "track changed" readout, without a glyph.
    tab->nextButton()->click();
    ASSERT_TRUE(waitUntil([&] { return showsReadout("Tone B", std::nullopt); }, 10000));
    EXPECT_EQ(controller().presentation().surface().shownActivity()->duration, 2.4);
}

TEST_F(NowPlayingShell, TheResidentReadoutStaysWhileMusicPlaysAndGoesWhenNowPlayingIsSwitchedOff)
{
    ASSERT_TRUE(bus.isRunning() && tones.isReady());
    settings.setNowPlayingResident(true);
    MpvPlayer mpv(bus.address(), { tones.path("a.flac") });
    ASSERT_TRUE(mpv.isRunning());
    ASSERT_TRUE(
        waitUntil([&] { return controller().presentation().resident() == NowPlayingMonitor::moduleID; }, 10000));
    // Once the announcement is over the collapsed notch keeps the track, without a glyph.
    ASSERT_TRUE(waitUntil(
        [&] { return controller().presentation().surface().is(Presentation::Surface::Kind::resident); }, 10000));
    ASSERT_TRUE(waitUntil([&] { return readout() && readout()->identity() == 0; }, 5000));
    EXPECT_EQ(readout()->transport(), std::nullopt);
    EXPECT_EQ(readout()->track().title, "Tone A");

    // Switched off: no resident, no focus, no music tab, and the monitor does no more work.
    settings.setNowPlayingEnabled(false);
    ASSERT_TRUE(waitUntil([&] { return !delegate.nowPlaying().isStarted(); }, 5000));
    EXPECT_EQ(controller().presentation().resident(), std::nullopt);
    EXPECT_EQ(controller().presentation().focus(), Glance::moduleID);
    EXPECT_FALSE(delegate.liveTabs().contains(NotchSurfaceTab::music));
    EXPECT_FALSE(delegate.nowPlaying().scripting().isWatching());

    // On again: the playing track comes back.
    settings.setNowPlayingEnabled(true);
    ASSERT_TRUE(
        waitUntil([&] { return controller().presentation().resident() == NowPlayingMonitor::moduleID; }, 10000));
}

namespace {

QString coverFile(const QTemporaryDir& dir, const QString& name, QColor colour)
{
    QImage cover(48, 48, QImage::Format_RGB32);
    cover.fill(colour);
    const QString path = dir.filePath(name);
    return cover.save(path) ? QUrl::fromLocalFile(path).toString() : QString();
}

QVariantMap shown(const QString& title, const QString& id, const QString& artUrl)
{
    QVariantMap metadata { { "xesam:title", title }, { "mpris:trackid", id },
        { "mpris:length", qlonglong(100'000'000) } };
    if (!artUrl.isEmpty())
        metadata["mpris:artUrl"] = artUrl;
    return { { "status", "Playing" }, { "metadata", metadata } };
}

} // namespace

TEST_F(NowPlayingShell, TheCoverFollowsTheTrackAndACoverNamedAfterTheTitleIsShown)
{
    ASSERT_TRUE(bus.isRunning());
    QTemporaryDir dir;
    const QString red = coverFile(dir, "red.png", QColor(220, 30, 30));
    const QString blue = coverFile(dir, "blue.png", QColor(30, 30, 220));
    const QString green = coverFile(dir, "green.png", QColor(30, 200, 30));
    nimbra::test::ScriptedPlayer player(bus.address(), "org.mpris.MediaPlayer2.covers");
    ASSERT_TRUE(player.isRunning());
    auto coverIs = [&](QColor colour) {
        return !delegate.artwork().isNull() && delegate.artwork().pixelColor(4, 4) == colour;
    };

    ASSERT_TRUE(player.show(shown("One", "/t/1", red)));
    ASSERT_TRUE(waitUntil([&] { return coverIs(QColor(220, 30, 30)); }, 10000));
    // A new track fetches its own cover, also from the same address (players that keep the
    // current cover in one file).
    ASSERT_TRUE(player.show(shown("Two", "/t/2", blue)));
    ASSERT_TRUE(waitUntil([&] { return coverIs(QColor(30, 30, 220)); }, 10000));
    ASSERT_EQ(coverFile(dir, "blue.png", QColor(200, 200, 30)), blue);
    ASSERT_TRUE(player.show(shown("Two again", "/t/4", blue)));
    ASSERT_TRUE(waitUntil([&] { return coverIs(QColor(200, 200, 30)); }, 10000));
    // A track named without a cover shows none; the cover it names a moment later is shown.
    ASSERT_TRUE(player.show(shown("Three", "/t/3", QString())));
    ASSERT_TRUE(waitUntil([&] { return readout() && readout()->track().title == "Three"; }, 10000));
    EXPECT_TRUE(delegate.artwork().isNull());
    ASSERT_TRUE(player.show(shown("Three", "/t/3", green)));
    ASSERT_TRUE(waitUntil([&] { return coverIs(QColor(30, 200, 30)); }, 10000));
}

TEST_F(NowPlayingShell, AFifoNamedAsTheCoverByMpvLeavesTheNotchPainting)
{
    ToneLibrary fifoTones(ToneLibrary::standard(), false);
    ASSERT_TRUE(bus.isRunning() && fifoTones.isReady());
    ASSERT_TRUE(test::makeFifo(fifoTones.path("cover.png")));
    // (mpv itself would wait on the FIFO too, were it to load it as cover art of its own.)
    MpvPlayer mpv(bus.address(), { fifoTones.path("a.flac"), fifoTones.path("b.flac") }, false,
        { "--cover-art-auto=no" });
    ASSERT_TRUE(mpv.isRunning());

    // mpv offers the FIFO beside the tones as each track's cover.
    ASSERT_TRUE(waitUntil([&] { return delegate.nowPlaying().artworkAddress().endsWith("/cover.png"); }, 10000));
    auto shows = [&](const QString& title) {
        return delegate.nowPlaying().track() && delegate.nowPlaying().track()->title == title;
    };
    ASSERT_TRUE(waitUntil([&] { return shows("Tone A"); }, 10000));
    delegate.nowPlaying().next();
    ASSERT_TRUE(waitUntil([&] { return shows("Tone B"); }, 10000));
    ASSERT_TRUE(waitUntil([] { return ArtworkLoader::readers().activeThreadCount() == 0; }, 10000));
    // Painting spreads its fills over Qt's pool now and then, so the pool is seen to come to
    // rest rather than caught idle: a reader waiting on the FIFO there never would.
    EXPECT_TRUE(QThreadPool::globalInstance()->waitForDone(20'000)) << "something from outside waits on Qt's pool";
    EXPECT_TRUE(delegate.artwork().isNull());

    // The music tab shows the placeholder in place of the cover.
    auto shell = openShell();
    ASSERT_TRUE(shell);
    auto* tab = qobject_cast<NowPlayingExpandedView*>(shell->content());
    ASSERT_NE(tab, nullptr);
    EXPECT_TRUE(tab->artwork().isNull());
}
