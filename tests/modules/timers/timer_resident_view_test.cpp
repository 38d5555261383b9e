#include "modules/timers/timer_resident_view.h"

#include "core/uptime.h"
#include "modules/surface_stage.h"

#include <QPainter>
#include <gtest/gtest.h>

using namespace nimbra;
using namespace nimbra::test;

namespace {

// The resident and announcement surfaces: a band below a 32 pt notch.
const SurfaceMetrics readout(QSizeF(300, 80), 32, 185);
const QRectF below(0, 32, 300, 48);

QImage residentAt(
    TimerMode mode, const QString& label, bool running, TimerUrgency urgency, const NotchTheme& theme, double now)
{
    QImage image(QSize(600, 160), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2);
    image.fill(theme.surface());
    QPainter p(&image);
    TimerResidentView::paint(p, QRectF(0, 0, 300, 80), mode, label, running, urgency, readout, theme, now);
    return image;
}

QImage finishedAt(const TimerFinish& finish, const NotchTheme& theme, double landing, bool lit, double tilt)
{
    QImage image(QSize(600, 160), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2);
    image.fill(theme.surface());
    QPainter p(&image);
    TimerFinishedView::paint(p, QRectF(0, 0, 300, 80), finish, readout, theme, landing, lit, tilt);
    return image;
}

const NotchTheme dark = NotchTheme::dark();
const NotchTheme light { false, ClockFont::lockScreen };

} // namespace

TEST(TimerResidentView, TitlesSayWhetherTheTimerRuns)
{
    EXPECT_EQ(TimerResident::moduleID.rawValue, "timer");
    EXPECT_EQ(TimerResidentView::titleText(TimerMode::countdown, false), "Timer · paused");
    EXPECT_EQ(TimerResidentView::titleText(TimerMode::stopwatch, true), "Stopwatch");
    EXPECT_EQ(TimerResidentView::titleText(TimerMode::pomodoro, true), "Focus");
}

TEST(TimerResidentView, RunningIsInTheAccentPausedInGreyUrgentInRed)
{
    for (const NotchTheme& theme : { dark, light }) {
        const QString suffix = theme.isDark ? "dark" : "light";
        const QImage running = residentAt(TimerMode::stopwatch, "01:07.4", true, TimerUrgency::calm, theme, 10.2);
        saveArtefact(running, "timer-resident-running-" + suffix);
        EXPECT_GT(countNear(running, below, theme.accent(), 30), 20);
        EXPECT_GT(countNear(running, below, theme.primaryText(), 30), 20) << "the time";
        EXPECT_EQ(countNear(running, below, theme.bad(), 20), 0);
        EXPECT_EQ(countNear(running, QRectF(0, 0, 300, 32), theme.primaryText(), 30), 0) << "nothing behind the notch";

        const QImage paused = residentAt(TimerMode::countdown, "04:10", false, TimerUrgency::calm, theme, 10.2);
        saveArtefact(paused, "timer-resident-paused-" + suffix);
        EXPECT_EQ(countNear(paused, below, theme.accent(), 30), 0);
        EXPECT_GT(countNear(paused, below, over(theme.secondaryText(0.55), theme.surface()), 24), 10);

        // Three seconds left: everything red, and dimmed for the later part of each second.
        const QImage lit = residentAt(TimerMode::countdown, "00:03", true, TimerUrgency::imminent, theme, 10.2);
        const QImage dim = residentAt(TimerMode::countdown, "00:03", true, TimerUrgency::imminent, theme, 10.7);
        saveArtefact(lit, "timer-resident-imminent-" + suffix);
        EXPECT_GT(countNear(lit, below, theme.bad(), 30), 40);
        EXPECT_EQ(countNear(lit, below, theme.accent(), 20), 0);
        EXPECT_LT(countNear(dim, below, theme.bad(), 30), countNear(lit, below, theme.bad(), 30) / 4);
    }
}

TEST(TimerResidentView, BlinksOnlyWhileUrgentAndShown)
{
    Stage stage(dark, QSizeF(300, 80));
    auto* calm
        = stage.make<TimerResidentView>(TimerMode::stopwatch, QString("00:01.0"), true, TimerUrgency::calm, readout);
    EXPECT_FALSE(calm->isBlinking());
    TimerResidentView urgent(TimerMode::countdown, "00:04", true, TimerUrgency::imminent, readout);
    ASSERT_TRUE(calm->adopt(urgent));
    EXPECT_EQ(calm->label(), "00:04");
    EXPECT_TRUE(calm->isBlinking());
    calm->hide();
    EXPECT_FALSE(calm->isBlinking());
    calm->show();
    TimerResidentView over(TimerMode::countdown, "05:00", false, TimerUrgency::calm, readout);
    calm->adopt(over);
    EXPECT_FALSE(calm->isBlinking());
    EXPECT_FALSE(calm->adopt(TimerResidentView(
        TimerMode::countdown, "05:00", false, TimerUrgency::calm, SurfaceMetrics(QSizeF(400, 90), 32, 185))));
}

TEST(TimerFinishedView, TheBellSwingsEveryQuarterAndPulsesEveryHalfSecond)
{
    EXPECT_TRUE(TimerFinishedView::isLit(1000.1));
    EXPECT_EQ(TimerFinishedView::tilt(1000.1), -13);
    EXPECT_TRUE(TimerFinishedView::isLit(1000.3));
    EXPECT_EQ(TimerFinishedView::tilt(1000.3), 13);
    EXPECT_FALSE(TimerFinishedView::isLit(1000.6));
    EXPECT_EQ(TimerFinishedView::tilt(1000.6), -13);
}

TEST(TimerFinishedView, LandsIntoViewAndDimsBetweenPulses)
{
    const TimerFinish finish { "Timer finished", "05:00 elapsed" };
    for (const NotchTheme& theme : { dark, light }) {
        const QString suffix = theme.isDark ? "dark" : "light";
        const QImage before = finishedAt(finish, theme, 0, true, -13);
        EXPECT_EQ(countNear(before, below, theme.accent(), 30), 0) << "invisible before landing";
        EXPECT_EQ(countNear(before, below, theme.primaryText(), 30), 0);

        const QImage lit = finishedAt(finish, theme, 1, true, -13);
        saveArtefact(lit, "timer-finished-" + suffix);
        EXPECT_GT(countNear(lit, below, theme.accent(), 30), 20) << "the bell";
        EXPECT_GT(countNear(lit, below, theme.primaryText(), 30), 20) << "the title";
        const QImage dim = finishedAt(finish, theme, 1, false, 13);
        EXPECT_EQ(countNear(dim, below, theme.primaryText(), 20), 0) << "dimmed to 0.4";
    }
    // A long title stays on one line, cut short.
    const QImage longTitle = finishedAt({ QString(60, QChar('W')), "Time for a long break" }, dark, 1, true, 0);
    saveArtefact(longTitle, "timer-finished-long-title");
    EXPECT_EQ(countNear(longTitle, QRectF(296, 32, 4, 48), dark.primaryText(), 30), 0);
}

TEST(TimerFinishedView, SwingsOnlyWhileShownAndStaysForTheSameAnnouncement)
{
    Stage stage(dark, QSizeF(300, 80));
    auto* view = stage.make<TimerFinishedView>(TimerFinish { "Break over", "Back to focus" }, readout, 7u);
    EXPECT_TRUE(view->isLanded());
    EXPECT_TRUE(view->isSwinging());
    view->hide();
    EXPECT_FALSE(view->isSwinging());

    // The resident readout of the same finish keeps the landed view; a new activity lands anew.
    EXPECT_TRUE(view->adopt(TimerFinishedView(TimerFinish { "Break over", "Back to focus" }, readout, 0)));
    EXPECT_TRUE(view->adopt(TimerFinishedView(TimerFinish { "Break over", "Back to focus" }, readout, 7)));
    EXPECT_FALSE(view->adopt(TimerFinishedView(TimerFinish { "Break over", "Back to focus" }, readout, 8)));
    EXPECT_FALSE(view->adopt(TimerFinishedView(TimerFinish { "Timer finished", "01:00 elapsed" }, readout, 0)));
}
