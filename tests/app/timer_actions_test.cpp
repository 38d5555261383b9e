#include "app/app_delegate.h"

#include "app/display_coordinator.h"
#include "core/nimbra_settings.h"
#include "modules/shell/expanded_shell.h"
#include "modules/shell/glance.h"
#include "modules/timers/timer_resident_view.h"
#include "modules/timers/timer_surface_view.h"
#include "ui/surface/notch_surface_view.h"
#include "ui/surface/surface_metrics.h"

#include <QCoreApplication>
#include <QTest>
#include <gtest/gtest.h>

using namespace nimbra;

namespace {
// A delegate whose timers read a clock the test moves, with its notch shown.
struct Timers : ::testing::Test {
    Timers()
    {
        settings.setShowOnAllDisplays(true);
        settings.setTimerChimeEnabled(false);
        delegate.timerTime = [this] { return now; };
        delegate.applicationDidFinishLaunching();
    }
    NotchDisplayController& controller() const { return *delegate.coordinator()->controllers().begin()->second; }
    std::optional<ModuleID> resident() const { return controller().presentation().resident(); }
    QWidget* residentView()
    {
        widget.reset(delegate.view(Presentation::Surface::resident(TimerResident::moduleID), context));
        return widget.get();
    }

    double now = 1000;
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
    delegate.timerTime = nullptr;
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
    delegate.selectTab(NotchSurfaceTab::timer);
    controller().open(Glance::moduleID, false);
    auto* shell = qobject_cast<ExpandedShell*>(controller().view()->contentWidget());
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
