#include "app/app_delegate.h"

#include "app/display_coordinator.h"
#include "core/nimbra_settings.h"
#include "core/uptime.h"
#include "modules/level/system_level_monitor.h"
#include "modules/level/system_level_view.h"
#include "modules/now_playing/now_playing_monitor.h"
#include "modules/power/charge_activity_view.h"
#include "modules/power/power_monitor.h"
#include "modules/shell/expanded_shell.h"
#include "modules/shell/glance.h"
#include "modules/shell/settings_surface.h"
#include "modules/shell/status_surface.h"
#include "ui/surface/level_readout.h"
#include "ui/surface/notch_surface_view.h"
#include "ui/surface/surface_metrics.h"

#include "support/private_servers.h"
#include "support/test_support.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QPointer>
#include <QTest>
#include <gtest/gtest.h>

using namespace nimbra;
namespace test = nimbra::test;

namespace {
struct Delegate : ::testing::Test {
    Delegate() { delegate.applicationDidFinishLaunching(); }
    void settle() { QCoreApplication::processEvents(); }
    NotchDisplayController& controller() const { return *delegate.coordinator()->controllers().begin()->second; }

    NimbraSettings settings { std::make_shared<MemorySettingsStorage>() };
    AppDelegate delegate { &settings };
};
} // namespace

TEST_F(Delegate, LaunchAppliesTheSettingsOnceToEveryDisplay)
{
    ASSERT_NE(delegate.coordinator(), nullptr);
    ASSERT_EQ(delegate.coordinator()->controllers().size(), 1u);
    EXPECT_EQ(delegate.settingsApplications(), 1);
    // Built-in only by default, and Qt's offscreen screen is no built-in panel.
    EXPECT_FALSE(controller().isEnabled());
    EXPECT_EQ(controller().presentation().focus(), Glance::moduleID);
    EXPECT_EQ(delegate.coordinator()->autoCloseAfter(), 10);
}

TEST_F(Delegate, ChangesApplyLiveWithOneReapplicationPerTurn)
{
    settings.setShowOnAllDisplays(true);
    settings.setAppearance(Appearance::light);
    settings.setClockFont(ClockFont::serif);
    EXPECT_FALSE(controller().isEnabled()) << "applied before the next turn";
    settle();
    EXPECT_EQ(delegate.settingsApplications(), 2);
    EXPECT_TRUE(controller().isEnabled());
    EXPECT_EQ(controller().model()->theme(), (NotchTheme { false, ClockFont::serif }));

    settings.setGlanceEnabled(false);
    settle();
    EXPECT_EQ(delegate.settingsApplications(), 3);
    EXPECT_EQ(controller().presentation().focus(), std::nullopt);

    LayoutMetrics layout = settings.layout();
    layout.expandedWidth = 480;
    settings.setLayout(layout);
    settle();
    EXPECT_EQ(controller().layout().expandedWidth, 480);
}

TEST_F(Delegate, SettingsReadWhereTheyAreUsedApplyNothing)
{
    settings.setPowerActivityEnabled(false);
    settings.setLaunchAtLogin(true);
    settle();
    EXPECT_EQ(delegate.settingsApplications(), 1);
}

TEST_F(Delegate, TheExpandedShellShowsTheLiveTabsAndAnUnavailableSelectionAsStatus)
{
    const SurfaceContext context { QSizeF(360, 124), 32, 180 };
    // Music is the first selection, but without a player it is not live.
    EXPECT_EQ(delegate.tab(), NotchSurfaceTab::music);
    std::unique_ptr<QWidget> view(delegate.view(Presentation::Surface::expanded(Glance::moduleID), context));
    auto* shell = qobject_cast<ExpandedShell*>(view.get());
    ASSERT_NE(shell, nullptr);
    EXPECT_EQ(shell->tabs(),
        (QList<NotchSurfaceTab> { NotchSurfaceTab::clipboard, NotchSurfaceTab::shelf, NotchSurfaceTab::timer,
            NotchSurfaceTab::status, NotchSurfaceTab::settings }));
    EXPECT_EQ(shell->selection(), NotchSurfaceTab::status);
    EXPECT_NE(qobject_cast<StatusSurface*>(shell->content()), nullptr);

    // Choosing a tab through the shell selects it and rebuilds the surfaces.
    shell->onSelect(NotchSurfaceTab::settings);
    EXPECT_EQ(delegate.tab(), NotchSurfaceTab::settings);
    view.reset(delegate.view(Presentation::Surface::expanded(Glance::moduleID), context));
    shell = qobject_cast<ExpandedShell*>(view.get());
    ASSERT_NE(shell, nullptr);
    EXPECT_EQ(shell->selection(), NotchSurfaceTab::settings);
    EXPECT_NE(qobject_cast<SettingsSurface*>(shell->content()), nullptr);

    // Nothing but an empty view for the dormant surface.
    view.reset(delegate.view(Presentation::Surface::dormant(), context));
    EXPECT_TRUE(view->children().isEmpty());
}

TEST_F(Delegate, ClickingATabInTheOpenSurfaceRebuildsItAroundThatTab)
{
    settings.setShowOnAllDisplays(true);
    settle();
    controller().open(Glance::moduleID, false);
    auto* shell = qobject_cast<ExpandedShell*>(controller().view()->contentWidget());
    ASSERT_NE(shell, nullptr);
    const QList<NotchSurfaceTab> trailing = shell->trailingRow()->tabs();
    ASSERT_EQ(shell->trailingRow()->form(), NotchNavRow::Form::full);
    const qsizetype place = trailing.indexOf(NotchSurfaceTab::settings);
    ASSERT_GE(place, 0);

    // The click's own button goes with the surface it rebuilds.
    QTest::mouseClick(shell->trailingRow()->buttons()[place], Qt::LeftButton);
    settle();
    EXPECT_EQ(delegate.tab(), NotchSurfaceTab::settings);
    auto* rebuilt = qobject_cast<ExpandedShell*>(controller().view()->contentWidget());
    ASSERT_NE(rebuilt, nullptr);
    EXPECT_EQ(rebuilt->selection(), NotchSurfaceTab::settings);
    EXPECT_NE(qobject_cast<SettingsSurface*>(rebuilt->content()), nullptr);
}

TEST_F(Delegate, TheOpenStatusClockIsRebuiltWhenTheMinuteTurns)
{
    EXPECT_EQ(AppDelegate::msecsToNextMinute(QTime(9, 41, 0)), 60'020);
    EXPECT_EQ(AppDelegate::msecsToNextMinute(QTime(9, 41, 59, 990)), 30);

    settings.setShowOnAllDisplays(true);
    settle();
    EXPECT_FALSE(delegate.isClockTickArmed());
    controller().open(Glance::moduleID, false);
    ASSERT_TRUE(qobject_cast<ExpandedShell*>(controller().view()->contentWidget()));
    EXPECT_TRUE(delegate.isClockTickArmed());

    // The minute turns while the status tab is open: the surface is built again, with a new time.
    const int builds = controller().view()->contentBuilds();
    delegate.clockTicked();
    EXPECT_GT(controller().view()->contentBuilds(), builds);

    // On another tab, or once the surface has closed, a late tick rebuilds nothing.
    delegate.selectTab(NotchSurfaceTab::settings);
    settle();
    const int onSettings = controller().view()->contentBuilds();
    delegate.clockTicked();
    EXPECT_EQ(controller().view()->contentBuilds(), onSettings);
}

// While the sound server is gone, an open status tab shows no volume rather than the last one,
// and shows it again once the server is back.
TEST(DelegateVolume, TheOpenStatusTabFollowsTheSoundServerGoingAndComing)
{
    test::PrivatePulse pulse;
    ASSERT_TRUE(pulse.isRunning());
    const QByteArray harnessServer = qgetenv("PULSE_SERVER");
    qputenv("PULSE_SERVER", pulse.address().toUtf8());
    NimbraSettings settings { std::make_shared<MemorySettingsStorage>() };
    settings.setShowOnAllDisplays(true);
    AppDelegate delegate(&settings);
    qputenv("PULSE_SERVER", harnessServer);
    delegate.applicationDidFinishLaunching();
    ASSERT_TRUE(test::waitUntil([&] { return delegate.levels().read(SystemLevel::Kind::volume).has_value(); }));
    NotchDisplayController& controller = *delegate.coordinator()->controllers().begin()->second;
    controller.open(Glance::moduleID, false);
    auto status = [&]() -> StatusSurface* {
        auto* shell = qobject_cast<ExpandedShell*>(controller.view()->contentWidget());
        return shell ? qobject_cast<StatusSurface*>(shell->content()) : nullptr;
    };
    auto shownVolume = [&]() -> std::optional<SystemLevel> { return status() ? status()->volume() : std::nullopt; };
    ASSERT_TRUE(shownVolume() && shownVolume()->isAvailable);

    pulse.stopServer();
    EXPECT_TRUE(test::waitUntil([&] { return status() && !shownVolume().value_or(SystemLevel()).isAvailable; }));
    EXPECT_TRUE(StatusSurface::readouts(std::nullopt, shownVolume(), NotchTheme::dark()).isEmpty());
    ASSERT_TRUE(pulse.startServer());
    EXPECT_TRUE(test::waitUntil([&] { return shownVolume() && shownVolume()->isAvailable; }, 10000));
}

TEST_F(Delegate, TerminationTearsTheDisplaysDownOnce)
{
    delegate.applicationWillTerminate();
    EXPECT_TRUE(delegate.coordinator()->controllers().empty());
    delegate.applicationWillTerminate();
    // Settings changes after the stop restart nothing.
    settings.setShowOnAllDisplays(true);
    settle();
    EXPECT_TRUE(delegate.coordinator()->controllers().empty());
}

TEST_F(Delegate, ALevelActivityShowsTheReadingItWasMadeForElseTheLatest)
{
    settings.setHudReplacement(true);
    const SurfaceContext context { QSizeF(228, 78), 24, 180 };
    const auto reading
        = [](double value) { return SystemLevel(SystemLevel::Kind::volume, value, false, true, std::nullopt); };
    delegate.handleLevel(reading(0.25), true);
    const Activity first { SystemLevelMonitor::moduleID, 1, 40, 1.3, ActivityCategory::volume };
    // The notch shows it: the coordinator handed the activity to the display.
    ASSERT_TRUE(controller().presentation().surface().shownActivity().has_value());
    EXPECT_EQ(*controller().presentation().surface().shownActivity(), first);

    // Twelve more readings push token 1 out of the cache: its readout falls back to the latest.
    for (int i = 0; i < 12; ++i)
        delegate.handleLevel(reading(0.5 + i * 0.01), true);
    ASSERT_EQ(delegate.router().payload(1), nullptr);
    std::unique_ptr<QWidget> view(delegate.view(Presentation::Surface::activity(first), context));
    auto* levelView = qobject_cast<SystemLevelView*>(view.get());
    ASSERT_NE(levelView, nullptr);
    EXPECT_DOUBLE_EQ(levelView->level().value, 0.61);

    const Activity kept { SystemLevelMonitor::moduleID, 13, 40, 1.3, ActivityCategory::volume };
    view.reset(delegate.view(Presentation::Surface::activity(kept), context));
    levelView = qobject_cast<SystemLevelView*>(view.get());
    ASSERT_NE(levelView, nullptr);
    EXPECT_DOUBLE_EQ(levelView->level().value, 0.61);
    const Activity older { SystemLevelMonitor::moduleID, 8, 40, 1.3, ActivityCategory::volume };
    view.reset(delegate.view(Presentation::Surface::activity(older), context));
    EXPECT_DOUBLE_EQ(qobject_cast<SystemLevelView*>(view.get())->level().value, 0.56);
}

TEST_F(Delegate, RepeatedLevelKeysKeepTheShownReadoutAndMoveItsBar)
{
    settings.setHudReplacement(true);
    const auto reading
        = [](SystemLevel::Kind kind, double value) { return SystemLevel(kind, value, false, true, std::nullopt); };
    NotchSurfaceView* view = controller().view();
    view->window()->show();
    delegate.handleLevel(reading(SystemLevel::Kind::brightness, 0.25), true);
    auto* first = qobject_cast<SystemLevelView*>(view->contentWidget());
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->isLanded());
    const int builds = view->contentBuilds();

    // The same kind again: the builder is asked, but the shown readout takes the new reading.
    delegate.handleLevel(reading(SystemLevel::Kind::brightness, 0.3125), true);
    EXPECT_GT(view->contentBuilds(), builds);
    EXPECT_EQ(view->contentWidget(), first);
    EXPECT_DOUBLE_EQ(first->level().value, 0.3125);
    EXPECT_DOUBLE_EQ(first->readout()->level().value, 0.3125);
    EXPECT_TRUE(first->isLanded());
    const QPointer<QWidget> kept(first);

    // Volume (ranked above brightness, so it replaces it) is another readout, and lands afresh.
    delegate.handleLevel(reading(SystemLevel::Kind::volume, 0.5), true);
    auto* volumeView = qobject_cast<SystemLevelView*>(view->contentWidget());
    ASSERT_NE(volumeView, nullptr);
    EXPECT_EQ(volumeView->level().kind, SystemLevel::Kind::volume);
    EXPECT_TRUE(kept.isNull());

    // Another surface kind never adopts a readout, and a readout never adopts another view.
    const QPointer<QWidget> levelShown(volumeView);
    controller().open(Glance::moduleID, false);
    EXPECT_EQ(qobject_cast<SystemLevelView*>(view->contentWidget()), nullptr);
    EXPECT_TRUE(levelShown.isNull());
    const SurfaceMetrics metrics = SurfaceContext { QSizeF(228, 78), 24, 180 }.metrics();
    SystemLevelView volume(reading(SystemLevel::Kind::volume, 0.1), metrics);
    SystemLevelView wider(
        reading(SystemLevel::Kind::volume, 0.9), SurfaceContext { QSizeF(400, 78), 24, 180 }.metrics());
    QWidget plain;
    EXPECT_FALSE(AppDelegate::adoptContent(&plain, &volume));
    EXPECT_FALSE(AppDelegate::adoptContent(&volume, &plain));
    EXPECT_FALSE(AppDelegate::adoptContent(&volume, &wider));
    EXPECT_DOUBLE_EQ(volume.level().value, 0.1);
}

TEST_F(Delegate, APowerEventShowsItsChargeReadoutAndTwoOfThemAreTwoViews)
{
    const SurfaceContext context { QSizeF(228, 78), 24, 180 };
    PowerSnapshot plugged;
    plugged.percentage = 42;
    plugged.source = PowerSnapshot::Source::wallPower;
    plugged.isCharging = true;
    delegate.handlePower(plugged, PowerSnapshot::Event::pluggedIn());
    ASSERT_TRUE(controller().presentation().surface().shownActivity().has_value());
    const Activity shown = *controller().presentation().surface().shownActivity();
    EXPECT_EQ(shown.module, PowerMonitor::moduleID);

    std::unique_ptr<QWidget> view(delegate.view(Presentation::Surface::activity(shown), context));
    auto* charge = qobject_cast<ChargeActivityView*>(view.get());
    ASSERT_NE(charge, nullptr);
    EXPECT_EQ(charge->kind(), ChargeActivityView::Kind::connected());
    EXPECT_EQ(charge->kind().title(), "Charging");
    EXPECT_EQ(charge->snapshot().percentage, 42);
    const std::unique_ptr<QWidget> again(delegate.view(Presentation::Surface::activity(shown), context));
    EXPECT_FALSE(AppDelegate::adoptContent(view.get(), again.get()))
        << "every power readout lands as a view of its own";

    // A readout whose payload is gone, with no reading from the power monitor, is empty.
    const Activity trimmed { PowerMonitor::moduleID, 999, 30, 2.2, ActivityCategory::battery };
    view.reset(delegate.view(Presentation::Surface::activity(trimmed), context));
    EXPECT_EQ(qobject_cast<ChargeActivityView*>(view.get()), nullptr);

    // A reading without an event shows nothing.
    const std::uint64_t token = delegate.router().lastToken();
    delegate.handlePower(plugged, std::nullopt);
    EXPECT_EQ(delegate.router().lastToken(), token);
}

TEST_F(Delegate, TheLowBatteryLevelsReachThePowerMonitor)
{
    EXPECT_EQ(delegate.power().lowLevels, settings.lowBatteryLevels());
    settings.setLowBatteryLevels({ 30, 15 });
    settle();
    EXPECT_EQ(delegate.power().lowLevels, (std::set<int> { 30, 15 }));
}

namespace {
NowPlayingTrack playingTrack(double rate = 1)
{
    return { NowPlayingTrack::Source::spotify, "Song", "Band", "Record", rate, 3, uptime(), 180, QString("id") };
}
} // namespace

TEST_F(Delegate, APlayingTrackHoldsTheNotchSelectsTheMusicTabAndAPausedOneLetsGo)
{
    using Change = NowPlayingTrack::Change;
    settings.setNowPlayingResident(true);
    settle();
    delegate.selectTab(NotchSurfaceTab::status);
    const std::uint64_t tokens = delegate.router().lastToken();

    delegate.handleNowPlaying(playingTrack(), Change::startedPlaying);
    EXPECT_EQ(controller().presentation().resident(), NowPlayingMonitor::moduleID);
    EXPECT_EQ(controller().presentation().focus(), NowPlayingMonitor::moduleID);
    EXPECT_EQ(delegate.tab(), NotchSurfaceTab::music);
    EXPECT_EQ(delegate.router().lastToken(), tokens + 1);
    ASSERT_TRUE(controller().presentation().surface().shownActivity());
    EXPECT_EQ(controller().presentation().surface().shownActivity()->module, NowPlayingMonitor::moduleID);

    // Paused right after playing: still held for a moment, and announced with the pause glyph.
    delegate.handleNowPlaying(playingTrack(0), Change::paused);
    EXPECT_EQ(controller().presentation().resident(), NowPlayingMonitor::moduleID);
    EXPECT_EQ(delegate.router().transportFlash(), NowPlayingActivityView::Transport::pause);
    delegate.selectTab(NotchSurfaceTab::status);

    // Seeks and stops show nothing; no track lets go of the notch and the focus.
    delegate.handleNowPlaying(playingTrack(), Change::seeked);
    EXPECT_EQ(delegate.router().lastToken(), tokens + 2);
    EXPECT_EQ(delegate.tab(), NotchSurfaceTab::status) << "only a start or a new track selects the music tab";
    delegate.handleNowPlaying(std::nullopt, Change::stopped);
    EXPECT_EQ(controller().presentation().resident(), std::nullopt);
    EXPECT_EQ(controller().presentation().focus(), Glance::moduleID);
    EXPECT_EQ(delegate.router().lastToken(), tokens + 2);
}

TEST_F(Delegate, WithNowPlayingSwitchedOffAPlayerChangeHoldsNothingAndShowsNothing)
{
    using Change = NowPlayingTrack::Change;
    settings.setNowPlayingResident(true);
    settle();
    delegate.handleNowPlaying(playingTrack(), Change::startedPlaying);
    ASSERT_EQ(controller().presentation().resident(), NowPlayingMonitor::moduleID);

    // Switching it off lets go of the music resident and focus at once.
    settings.setNowPlayingEnabled(false);
    settle();
    EXPECT_EQ(controller().presentation().resident(), std::nullopt);
    EXPECT_EQ(controller().presentation().focus(), Glance::moduleID);
    EXPECT_FALSE(delegate.nowPlaying().isStarted());

    const std::uint64_t tokens = delegate.router().lastToken();
    delegate.handleNowPlaying(playingTrack(), Change::changedTrack);
    EXPECT_EQ(controller().presentation().resident(), std::nullopt);
    EXPECT_EQ(delegate.router().lastToken(), tokens);
    EXPECT_FALSE(delegate.liveTabs().contains(NotchSurfaceTab::music));
}
