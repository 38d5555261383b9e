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

#include <QCoreApplication>
#include <gtest/gtest.h>
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
