#include "app/app_delegate.h"

#include "app/display_coordinator.h"
#include "core/nimbra_settings.h"
#include "modules/now_playing/now_playing_monitor.h"
#include "modules/shell/expanded_shell.h"
#include "modules/shell/glance.h"
#include "modules/timers/timer_resident_view.h"
#include "modules/timers/timer_surface_view.h"
#include "platform/canberra/chime.h"
#include "support/test_support.h"
#include "ui/surface/notch_surface_view.h"
#include "ui/surface/surface_metrics.h"

#include <QCoreApplication>
#include <QTest>
#include <gtest/gtest.h>

using namespace nimbra;
using namespace nimbra::test;

namespace {
// A delegate whose timers read a clock the test moves, with its notch shown.
struct Timers : ::testing::Test {
    Timers()
    {
        settings.setShowOnAllDisplays(true);
        settings.setTimerChimeEnabled(false);
        delegate.clocks.withSleep = [this] { return now; };
        delegate.applicationDidFinishLaunching();
    }
    NotchDisplayController& controller() const { return *delegate.coordinator()->controllers().begin()->second; }
    std::optional<ModuleID> resident() const { return controller().presentation().resident(); }
    QWidget* residentView()
    {
        widget.reset(delegate.view(Presentation::Surface::resident(TimerResident::moduleID), context));
        return widget.get();
    }

    // A clock step in which each chime is counted at once: with the desktop's event sounds off,
    // the chime says so as it is asked to play.
    void tickCountingChimes()
    {
        delegate.chime().setEventSoundsEnabled(false);
        delegate.chime().onOutcome = [this](const Chime::Outcome&) { ++chimes; };
        delegate.tickTimers();
    }
    ExpandedShell* openTimersTab()
    {
        delegate.selectTab(NotchSurfaceTab::timer);
        controller().open(Glance::moduleID, false);
        return qobject_cast<ExpandedShell*>(controller().view()->contentWidget());
    }

    double now = 1000;
    int chimes = 0;
    const SurfaceContext context { QSizeF(300, 80), 32, 185 };
    std::unique_ptr<QWidget> widget;
    NimbraSettings settings { std::make_shared<MemorySettingsStorage>() };
    AppDelegate delegate { &settings };
};
} // namespace

TEST_F(Timers, TheClockRunsOnlyWhileATimerRunsAndTheResidentStaysWhileOneIsActive)
{
    EXPECT_FALSE(delegate.isTimerClockRunning());
    EXPECT_EQ(resident(), std::nullopt);

    delegate.toggleTimer(); // the stopwatch
    EXPECT_TRUE(delegate.isTimerClockRunning());
    EXPECT_EQ(resident(), TimerResident::moduleID);

    now += 3;
    delegate.toggleTimer();
    EXPECT_FALSE(delegate.isTimerClockRunning()) << "paused: nothing moves";
    EXPECT_EQ(resident(), TimerResident::moduleID) << "a paused stopwatch stays on the notch";
    auto* paused = qobject_cast<TimerResidentView*>(residentView());
    ASSERT_NE(paused, nullptr);
    EXPECT_FALSE(paused->isRunning());
    EXPECT_EQ(paused->label(), "00:03.0");

    delegate.resetTimer();
    EXPECT_EQ(resident(), std::nullopt);
    EXPECT_FALSE(delegate.isTimerClockRunning());
}

TEST_F(Timers, TheRunningClockTicksByItself)
{
    delegate.clocks = Clocks {};
    delegate.selectTimerMode(TimerMode::countdown);
    delegate.adjustCountdown(-240); // one minute
    delegate.toggleTimer();
    const int builds = controller().view()->contentBuilds();
    // Each tick rebuilds the resident readout (which then adopts the newer reading).
    EXPECT_TRUE(QTest::qWaitFor([&] { return controller().view()->contentBuilds() > builds + 1; }, 5000));
    delegate.toggleTimer();
    EXPECT_FALSE(delegate.isTimerClockRunning());
}

TEST_F(Timers, ACountdownEndingWhileTheSurfaceIsClosedAnnouncesItselfUntilSeen)
{
    delegate.selectTimerMode(TimerMode::countdown);
    delegate.toggleTimer();
    now += 299.9;
    delegate.tickTimers();
    EXPECT_FALSE(controller().presentation().surface().is(Presentation::Surface::Kind::activity));

    now += 0.2;
    delegate.tickTimers();
    const auto& shown = controller().presentation().surface();
    ASSERT_TRUE(shown.is(Presentation::Surface::Kind::activity));
    const Activity activity = *shown.shownActivity();
    EXPECT_EQ(activity.module, TimerResident::moduleID);
    EXPECT_EQ(activity.priority, settings.priority(ActivityCategory::battery) + 2);
    EXPECT_EQ(activity.duration, 3.2);
    EXPECT_EQ(activity.category, std::nullopt);
    EXPECT_EQ(delegate.timers().finish, (TimerFinish { "Timer finished", "05:00 elapsed" }));
    EXPECT_FALSE(delegate.isTimerClockRunning());

    std::unique_ptr<QWidget> announcement(delegate.view(shown, context));
    auto* finished = qobject_cast<TimerFinishedView*>(announcement.get());
    ASSERT_NE(finished, nullptr);
    EXPECT_EQ(finished->identity(), activity.token);
    // Under the announcement, the resident keeps announcing until the surface is seen.
    EXPECT_EQ(resident(), TimerResident::moduleID);
    EXPECT_NE(qobject_cast<TimerFinishedView*>(residentView()), nullptr);

    controller().open(Glance::moduleID, false);
    controller().collapse();
    QCoreApplication::processEvents();
    EXPECT_EQ(delegate.timers().countdown.state, Countdown::State::idle);
    EXPECT_EQ(delegate.timers().countdown.duration, 300);
    EXPECT_FALSE(delegate.timers().finish);
    EXPECT_EQ(resident(), std::nullopt);
}

TEST_F(Timers, TheResidentDescribesTheRunningStopwatchNotThePausedSelectedCountdown)
{
    delegate.selectTimerMode(TimerMode::countdown);
    delegate.toggleTimer();
    now += 10;
    delegate.toggleTimer(); // paused at 04:50
    delegate.selectTimerMode(TimerMode::stopwatch);
    delegate.toggleTimer();
    delegate.selectTimerMode(TimerMode::countdown);
    now += 7.25;
    auto* view = qobject_cast<TimerResidentView*>(residentView());
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->mode(), TimerMode::stopwatch);
    EXPECT_EQ(view->label(), "00:07.2");
    EXPECT_TRUE(view->isRunning());
    EXPECT_EQ(view->urgency(), TimerUrgency::calm);
}

TEST_F(Timers, FocusPhasesAnnounceTheirEndAndTakeTheLengthsFromTheSettings)
{
    settings.setPomodoroWorkMinutes(1);
    settings.setPomodoroBreakMinutes(2);
    QCoreApplication::processEvents(); // the settings are applied on the next turn
    EXPECT_EQ(delegate.timers().pomodoro.timer.duration, 60);
    delegate.selectTimerMode(TimerMode::pomodoro);
    delegate.toggleTimer();
    now += 60.1;
    delegate.tickTimers();
    EXPECT_EQ(delegate.timers().finish, (TimerFinish { "Focus block done", "Time for a break" }));
    EXPECT_EQ(delegate.timers().pomodoro.timer.duration, 120);
    EXPECT_TRUE(delegate.isTimerClockRunning()) << "the break runs by itself";
    // Skipping ends a phase without an announcement.
    const std::uint64_t tokens = delegate.router().lastToken();
    delegate.timerSecondary();
    EXPECT_EQ(delegate.router().lastToken(), tokens);
    EXPECT_FALSE(delegate.isTimerClockRunning());
}

TEST_F(Timers, TheTimersTabDrivesTheTimersAndStaysPutWhileTheyRun)
{
    ExpandedShell* shell = openTimersTab();
    ASSERT_NE(shell, nullptr);
    auto* tab = qobject_cast<TimerSurfaceView*>(shell->content());
    ASSERT_NE(tab, nullptr);

    QTest::mouseClick(tab->modeTabs()[1], Qt::LeftButton);
    EXPECT_EQ(delegate.timers().mode, TimerMode::countdown);
    QTest::mouseClick(tab->presetChips()[1], Qt::LeftButton); // +5m
    EXPECT_EQ(delegate.timers().countdown.duration, 600);
    QTest::mouseClick(tab->primaryControl(), Qt::LeftButton);
    EXPECT_EQ(delegate.timers().countdown.state, Countdown::State::running);
    QTest::mouseClick(tab->secondaryControl(), Qt::LeftButton);
    EXPECT_EQ(delegate.timers().countdown.duration, 600) << "no minute off a running countdown";

    // Clock ticks update the open tab in place.
    now += 1;
    delegate.tickTimers();
    EXPECT_EQ(controller().view()->contentWidget(), shell);
    EXPECT_EQ(shell->content(), tab);
    EXPECT_EQ(tab->timers().countdown.state, Countdown::State::running);

    QTest::mouseClick(tab->resetControl(), Qt::LeftButton);
    EXPECT_EQ(delegate.timers().countdown.state, Countdown::State::idle);
    EXPECT_FALSE(delegate.isTimerClockRunning());
}

// A suspend moves the boot clock while the monotonic one stands still: the timers count the hour
// asleep, and a countdown whose end passed meanwhile rings once at the first tick after resume.
TEST_F(Timers, TimeAsleepCountsAndACountdownThatEndedAsleepRingsOnceAtResume)
{
    double awake = 500;
    delegate.clocks.awake = [&] { return awake; };
    settings.setTimerChimeEnabled(true);
    delegate.toggleTimer(); // the stopwatch
    delegate.selectTimerMode(TimerMode::countdown);
    delegate.toggleTimer(); // five minutes
    now += 60;
    awake += 60;
    tickCountingChimes();
    ASSERT_EQ(delegate.timers().countdown.state, Countdown::State::running);

    now += 3600; // asleep
    tickCountingChimes();
    EXPECT_EQ(delegate.timers().countdown.state, Countdown::State::finished);
    const auto& shown = controller().presentation().surface();
    ASSERT_TRUE(shown.is(Presentation::Surface::Kind::activity));
    std::unique_ptr<QWidget> announcement(delegate.view(shown, context));
    auto* finished = qobject_cast<TimerFinishedView*>(announcement.get());
    ASSERT_NE(finished, nullptr);
    EXPECT_EQ(finished->finish(), (TimerFinish { "Timer finished", "05:00 elapsed" }));
    EXPECT_EQ(chimes, 1);
    const std::uint64_t tokens = delegate.router().lastToken();
    now += 0.2;
    tickCountingChimes();
    EXPECT_EQ(delegate.router().lastToken(), tokens) << "announced once";
    EXPECT_EQ(chimes, 1);

    auto* stopwatch = qobject_cast<TimerResidentView*>(residentView());
    ASSERT_NE(stopwatch, nullptr);
    EXPECT_EQ(stopwatch->label(), "1:01:00") << "the stopwatch counts the hour asleep";
}

TEST_F(Timers, TheChimeSoundsOnlyWhenSwitchedOn)
{
    delegate.selectTimerMode(TimerMode::countdown);
    delegate.toggleTimer();
    now += 300;
    tickCountingChimes();
    ASSERT_TRUE(delegate.timers().finish);
    EXPECT_EQ(chimes, 0);

    settings.setTimerChimeEnabled(true);
    delegate.toggleTimer();
    now += 300;
    tickCountingChimes();
    EXPECT_EQ(chimes, 1);
}

// Both end in one tick: one readout in which each says its own words in turn, and the
// countdown, once the focus timer is paused, keeps saying its own.
TEST_F(Timers, ACountdownAndAFocusPhaseEndingInOneTickEachAnnounceThemselves)
{
    double awake = 500;
    delegate.clocks.awake = [&] { return awake; };
    settings.setPomodoroWorkMinutes(1);
    QCoreApplication::processEvents(); // the settings are applied on the next turn
    delegate.selectTimerMode(TimerMode::countdown);
    delegate.adjustCountdown(-240);
    delegate.toggleTimer();
    delegate.selectTimerMode(TimerMode::pomodoro);
    delegate.toggleTimer();
    now += 60.1;
    delegate.tickTimers();

    const auto& shown = controller().presentation().surface();
    ASSERT_TRUE(shown.is(Presentation::Surface::Kind::activity));
    EXPECT_EQ(shown.shownActivity()->duration, 2 * TimerFinishedView::eachFor);
    std::unique_ptr<QWidget> readout(delegate.view(shown, context));
    auto* announcement = qobject_cast<TimerFinishedView*>(readout.get());
    ASSERT_NE(announcement, nullptr);
    announcement->resize(300, 80);
    announcement->show();
    EXPECT_EQ(announcement->finish(), (TimerFinish { "Timer finished", "01:00 elapsed" }));
    awake += TimerFinishedView::eachFor + 0.1;
    EXPECT_EQ(announcement->finish(), (TimerFinish { "Focus block done", "Time for a break" }));

    delegate.toggleTimer(); // the break, paused
    delegate.selectTimerMode(TimerMode::countdown);
    auto* resident = qobject_cast<TimerFinishedView*>(residentView());
    ASSERT_NE(resident, nullptr);
    EXPECT_EQ(resident->finish(), (TimerFinish { "Timer finished", "01:00 elapsed" }));
}

TEST_F(Timers, OnlyAFinishedCountdownTurnsTheResidentIntoAnAnnouncement)
{
    settings.setPomodoroWorkMinutes(1);
    QCoreApplication::processEvents();
    delegate.selectTimerMode(TimerMode::pomodoro);
    delegate.toggleTimer();
    now += 60.1;
    delegate.tickTimers();
    ASSERT_TRUE(delegate.timers().finish) << "the focus block ended";
    auto* running = qobject_cast<TimerResidentView*>(residentView());
    ASSERT_NE(running, nullptr) << "the break runs: its readout, not an announcement";
    EXPECT_EQ(running->mode(), TimerMode::pomodoro);
    EXPECT_TRUE(running->isRunning());
}

TEST_F(Timers, PlayingMusicKeepsTheNotchWhileATimerRuns)
{
    settings.setNowPlayingResident(true);
    QCoreApplication::processEvents();
    const NowPlayingTrack track { NowPlayingTrack::Source::spotify, "Song", "Band", "Record", 1, 3, uptime(), 180,
        QString("id") };
    delegate.handleNowPlaying(track, NowPlayingTrack::Change::startedPlaying);
    ASSERT_EQ(resident(), NowPlayingMonitor::moduleID);
    delegate.toggleTimer();
    now += 1;
    delegate.tickTimers();
    EXPECT_EQ(resident(), NowPlayingMonitor::moduleID);
    delegate.handleNowPlaying(std::nullopt, NowPlayingTrack::Change::stopped);
    EXPECT_EQ(resident(), TimerResident::moduleID) << "the timer takes the notch once the music stops";
}

// Clicks land where the controls were drawn: starting the stopwatch or the countdown brings
// Reset, and a second click aimed at the lap flag or the minus control still lands on it.
TEST_F(Timers, ASecondClickWhereAControlWasDrawnLandsOnThatControl)
{
    ExpandedShell* shell = openTimersTab();
    ASSERT_NE(shell, nullptr);
    auto* tab = qobject_cast<TimerSurfaceView*>(shell->content());
    ASSERT_NE(tab, nullptr);
    QWindow* window = tab->window()->windowHandle();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(waitUntil([&] { return !controller().view()->isAnimating(); }));
    const auto placeOf = [&](QWidget* control) { return control->mapTo(tab->window(), control->rect().center()); };
    const auto clickAt = [&](QPoint point) { QTest::mouseClick(window, Qt::LeftButton, {}, point); };

    const QPoint start = placeOf(tab->primaryControl());
    const QPoint flag = placeOf(tab->secondaryControl());
    clickAt(start);
    ASSERT_EQ(delegate.timers().stopwatch.state, Stopwatch::State::running);
    now += 2;
    clickAt(flag);
    EXPECT_EQ(delegate.timers().stopwatch.state, Stopwatch::State::running);
    EXPECT_EQ(delegate.timers().stopwatch.laps, (QList<double> { 2 }));

    clickAt(placeOf(tab->modeTabs()[1]));
    ASSERT_EQ(delegate.timers().mode, TimerMode::countdown);
    const QPoint minus = placeOf(tab->secondaryControl());
    clickAt(placeOf(tab->primaryControl()));
    ASSERT_EQ(delegate.timers().countdown.state, Countdown::State::running);
    clickAt(minus);
    EXPECT_EQ(delegate.timers().countdown.state, Countdown::State::running);
}
