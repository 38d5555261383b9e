#include "modules/timers/timer_surface_view.h"

#include "core/uptime.h"
#include "modules/surface_stage.h"

#include <QPainter>
#include <QTest>
#include <gtest/gtest.h>

using namespace nimbra;
using namespace nimbra::test;

namespace {

// The tab's content sits below the notch band of the expanded surface.
struct Surface {
    QSizeF size;
    double notch;
    const char* name;
    SurfaceMetrics metrics() const { return SurfaceMetrics(size, notch, 180); }
    QSizeF content() const { return QSizeF(size.width(), size.height() - notch); }
};
const Surface small { { 300, 100 }, 32, "small" };
const Surface reference { { 360, 124 }, 32, "reference" };
const Surface large { { 560, 230 }, 38, "large" };

Pomodoro::Configuration quickFocus()
{
    Pomodoro::Configuration configuration;
    configuration.work = 1500;
    configuration.shortBreak = 300;
    configuration.longBreak = 900;
    configuration.cyclesBeforeLongBreak = 4;
    return configuration;
}

// Timers in a named state, relative to the uptime of the moment.
struct State {
    const char* name;
    TimerSet timers;
};

QList<State> gallery()
{
    const double now = uptime();
    QList<State> states;
    TimerSet t;
    states.append({ "stopwatch-idle", t });
    t.stopwatch.start(now - 67.4);
    t.stopwatch.laps = { 20, 61.2 };
    states.append({ "stopwatch-running", t });
    t.stopwatch.pause(now);
    states.append({ "stopwatch-paused", t });

    t = TimerSet();
    t.mode = TimerMode::countdown;
    states.append({ "countdown-idle", t });
    t.countdown.start(now - 100);
    states.append({ "countdown-running", t });
    t.countdown.startedAt = now - 297;
    states.append({ "countdown-imminent", t });
    t.countdown.pause(now - 150);
    states.append({ "countdown-paused", t });
    t.countdown.start(now - 400);
    t.countdown.settle(now);
    states.append({ "countdown-finished", t });

    t = TimerSet();
    t.mode = TimerMode::pomodoro;
    t.pomodoro.setConfiguration(quickFocus());
    t.pomodoro.toggle(now - 600);
    states.append({ "focus-work", t });
    // Settled a moment after the work block's end: at the end itself, now - 600 + 1500 less the
    // start can round to just under 1500 and leave the block running.
    t.pomodoro.settle(now + 901);
    t.pomodoro.timer.startedAt = now - 60;
    states.append({ "focus-short-break", t });
    t.pomodoro.completedWorkBlocks = 3;
    t.pomodoro.skip(now);
    t.pomodoro.skip(now);
    t.pomodoro.toggle(now - 10);
    states.append({ "focus-long-break", t });
    return states;
}

struct Shown {
    Stage stage;
    TimerSurfaceView* view;
    Shown(const TimerSet& timers, const Surface& surface, const NotchTheme& theme,
        TimerSurfaceView::Callbacks callbacks = {})
        : stage(theme, surface.content())
        , view(stage.make<TimerSurfaceView>(timers, surface.metrics(), std::move(callbacks)))
    {
    }
};

// Painted without the buttons, at a chosen moment.
QImage paintAt(const TimerSet& timers, const Surface& surface, const NotchTheme& theme, double now)
{
    QImage image((surface.content() * 2).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2);
    image.fill(theme.surface());
    QPainter p(&image);
    const std::optional<double> progress = TimerSurfaceView::countdownProgress(timers, now);
    TimerSurfaceView::paint(
        p, QRectF(QPointF(), surface.content()), timers, surface.metrics(), theme, now, progress.value_or(0));
    return image;
}

} // namespace

TEST(TimerSurfaceView, EveryModeAndStateAtThreeScalesInBothThemes)
{
    for (const NotchTheme& theme : { NotchTheme::dark(), NotchTheme { false, ClockFont::lockScreen } }) {
        for (const Surface& surface : { small, reference, large }) {
            for (const State& state : gallery()) {
                Shown shown(state.timers, surface, theme);
                const QImage image = shown.stage.render();
                saveArtefact(image,
                    QStringLiteral("timers-%1-%2-%3").arg(state.name, surface.name, theme.isDark ? "dark" : "light"));
                const TimerSurfaceView::Layout places
                    = TimerSurfaceView::layout(surface.content(), surface.metrics(), state.timers);
                SCOPED_TRACE(std::string(state.name) + " " + surface.name);
                // Everything lies inside the surface, with the controls below or beside the readout.
                const QRectF bounds(QPointF(), surface.content());
                for (const QRectF& r : places.tabs + places.controls)
                    EXPECT_TRUE(bounds.contains(r)) << r.x() << "," << r.y() << " " << r.width() << "x" << r.height();
                EXPECT_GE(places.hero.top(), places.tabs[0].bottom());
                // The time is drawn (blinking readouts are caught at their lit moment elsewhere).
                const QString name = state.name;
                if (!name.endsWith("imminent") && !name.endsWith("finished")) {
                    EXPECT_GT(countNear(image, places.hero, theme.primaryText(), 40), 20);
                }
            }
        }
    }
}

TEST(TimerSurfaceView, TheRingTakesTheModesTintAndTurnsRedInTheLastSeconds)
{
    const QList<State> states = gallery();
    const auto find = [&](const char* name) {
        return std::find_if(states.begin(), states.end(), [&](const State& s) {
            return qstrcmp(s.name, name) == 0;
        })->timers;
    };
    const NotchTheme theme = NotchTheme::dark();
    const double now = uptime();
    const double lit = std::floor(now) + 0.2; // inside the lit part of a blinking second
    const QRectF hero
        = TimerSurfaceView::layout(reference.content(), reference.metrics(), find("countdown-running")).hero;

    const TimerSet running = find("countdown-running");
    const QImage calm = paintAt(running, reference, theme, now);
    EXPECT_GT(countNear(calm, hero, theme.accent(), 30), 20);
    EXPECT_EQ(countNear(calm, hero, theme.bad(), 20), 0);

    TimerSet imminent = find("countdown-imminent");
    imminent.countdown.startedAt = lit - 297;
    EXPECT_EQ(TimerSurfaceView::urgency(imminent, lit), TimerUrgency::imminent);
    const QImage warning = paintAt(imminent, reference, theme, lit);
    saveArtefact(warning, "timers-countdown-imminent-lit");
    EXPECT_GT(countNear(warning, hero, theme.bad(), 30), 40) << "ring and digits in red";
    EXPECT_EQ(countNear(warning, hero, theme.accent(), 20), 0);
    // The dim part of the same second draws it at a quarter.
    const QImage dim = paintAt(imminent, reference, theme, lit + 0.5);
    EXPECT_LT(countNear(dim, hero, theme.bad(), 30), countNear(warning, hero, theme.bad(), 30) / 4);

    ASSERT_EQ(find("focus-short-break").pomodoro.phase, Pomodoro::Phase::shortBreak);
    const QImage shortBreak = paintAt(find("focus-short-break"), reference, theme, now);
    EXPECT_GT(countNear(shortBreak, hero, theme.good(), 30), 20);
    const QImage work = paintAt(find("focus-work"), reference, theme, now);
    EXPECT_GT(countNear(work, hero, theme.accent(), 30), 20);
    EXPECT_EQ(countNear(work, hero, theme.good(), 30), 0);
}

TEST(TimerSurfaceView, AnIdleCountdownOffersPresetsThatAddToItsLength)
{
    TimerSet timers;
    timers.mode = TimerMode::countdown;
    QList<double> added;
    TimerSurfaceView::Callbacks callbacks;
    callbacks.onAdjust = [&](double seconds) { added.append(seconds); };
    Shown shown(timers, reference, NotchTheme::dark(), callbacks);
    QStringList labels;
    for (QAbstractButton* chip : shown.view->presetChips()) {
        EXPECT_TRUE(chip->isVisible());
        labels << chip->text();
    }
    EXPECT_EQ(labels, (QStringList { "+1m", "+5m", "+10m", "+25m" }));
    QTest::mouseClick(shown.view->presetChips()[1], Qt::LeftButton);
    EXPECT_EQ(added, (QList<double> { 300 }));
    EXPECT_FALSE(shown.view->resetControl()->isVisible());
    EXPECT_EQ(shown.view->secondaryControl()->toolTip(), "Take a minute off");

    // Once it runs, the chips give way to the time it ends at.
    const QDateTime wall(QDate(2024, 5, 1), QTime(10, 0));
    timers.countdown.start(uptime());
    const std::optional<QString> caption = TimerSurfaceView::caption(timers, uptime(), wall);
    ASSERT_TRUE(caption);
    EXPECT_TRUE(caption->startsWith("Ends at ")) << caption->toStdString();
    EXPECT_TRUE(caption->contains("10") && caption->contains("05")) << caption->toStdString();
    Shown running(timers, reference, NotchTheme::dark());
    for (QAbstractButton* chip : running.view->presetChips())
        EXPECT_FALSE(chip->isVisible());
    EXPECT_TRUE(running.view->resetControl()->isVisible());
    EXPECT_EQ(running.view->primaryControl()->toolTip(), "Pause");
}

TEST(TimerSurfaceView, StopwatchLinesAndControls)
{
    TimerSet timers;
    const QDateTime wall = QDateTime::currentDateTime();
    EXPECT_EQ(TimerSurfaceView::caption(timers, 0, wall), " ");
    timers.stopwatch.start(0);
    EXPECT_EQ(TimerSurfaceView::caption(timers, 1, wall), "Flag to record a lap");
    timers.stopwatch.lap(10);
    timers.stopwatch.lap(20);
    timers.stopwatch.lap(61.2);
    EXPECT_EQ(TimerSurfaceView::caption(timers, 62, wall), "Lap 3   00:41.2");
    EXPECT_EQ(TimerSurfaceView::refreshInterval(timers, 62), 0.05);
    timers.stopwatch.pause(70);
    EXPECT_EQ(TimerSurfaceView::refreshInterval(timers, 71), std::nullopt) << "nothing moves";

    Shown shown(timers, reference, NotchTheme::dark());
    EXPECT_EQ(shown.view->primaryControl()->toolTip(), "Start");
    EXPECT_EQ(shown.view->secondaryControl()->toolTip(), "Lap");
    EXPECT_TRUE(shown.view->resetControl()->isVisible());
    EXPECT_FALSE(shown.view->isRefreshing());
}

TEST(TimerSurfaceView, AFinishedCountdownKeepsBlinkingWhileShownInsteadOfFreezingDimmed)
{
    const double now = uptime();
    TimerSet timers;
    timers.mode = TimerMode::countdown;
    timers.countdown.start(now - 400);
    timers.countdown.settle(now);
    EXPECT_EQ(TimerSurfaceView::urgency(timers, now), TimerUrgency::finished);
    EXPECT_EQ(TimerSurfaceView::refreshInterval(timers, now), 0.08);

    Shown shown(timers, reference, NotchTheme::dark());
    EXPECT_TRUE(shown.view->isRefreshing());
    // Both phases of the blink come round while it is on screen.
    const QRectF hero = TimerSurfaceView::layout(reference.content(), reference.metrics(), timers).hero;
    const auto redPixels = [&] { return countNear(shown.stage.render(), hero, NotchTheme::dark().bad(), 30); };
    int brightest = 0, dimmest = std::numeric_limits<int>::max();
    EXPECT_TRUE(waitUntil(
        [&] {
            const int red = redPixels();
            brightest = std::max(brightest, red);
            dimmest = std::min(dimmest, red);
            return brightest > 2 * std::max(dimmest, 1);
        },
        5000));
    shown.view->hide();
    EXPECT_FALSE(shown.view->isRefreshing()) << "no blinking off screen";
}

TEST(TimerSurfaceView, ResetShowsForActiveTimersAndForCompletedFocusBlocks)
{
    TimerSet timers;
    timers.mode = TimerMode::pomodoro;
    EXPECT_FALSE(TimerSurfaceView::showsReset(timers));
    timers.pomodoro.completedWorkBlocks = 1;
    EXPECT_TRUE(TimerSurfaceView::showsReset(timers));
    timers.pomodoro.completedWorkBlocks = 0;
    timers.pomodoro.toggle(1);
    EXPECT_TRUE(TimerSurfaceView::showsReset(timers));

    Shown shown(timers, reference, NotchTheme::dark());
    EXPECT_EQ(shown.view->secondaryControl()->toolTip(), "Skip to the next phase");
}

TEST(TimerSurfaceView, AShortSurfaceLeavesTheSupportLineOut)
{
    const Surface tiny { { 300, 86 }, 32, "tiny" };
    ASSERT_EQ(tiny.metrics().detail(), SurfaceMetrics::Detail::minimal);
    TimerSet timers;
    timers.mode = TimerMode::countdown;
    EXPECT_FALSE(TimerSurfaceView::layout(tiny.content(), tiny.metrics(), timers).support);
    Shown shown(timers, tiny, NotchTheme::dark());
    saveArtefact(shown.stage.render(), "timers-countdown-idle-minimal");
    for (QAbstractButton* chip : shown.view->presetChips())
        EXPECT_FALSE(chip->isVisible());
    EXPECT_TRUE(TimerSurfaceView::layout(reference.content(), reference.metrics(), timers).support);
}

TEST(TimerSurfaceView, ModeTabsReportEveryPressAndAdoptingKeepsTheButtonsOfAPress)
{
    QList<TimerMode> pressed;
    int primaries = 0;
    TimerSurfaceView::Callbacks callbacks;
    callbacks.onMode = [&](TimerMode mode) { pressed.append(mode); };
    callbacks.onPrimary = [&] { ++primaries; };
    TimerSet timers;
    Shown shown(timers, reference, NotchTheme::dark(), callbacks);
    QTest::mouseClick(shown.view->modeTabs()[0], Qt::LeftButton); // the selected one
    QTest::mouseClick(shown.view->modeTabs()[2], Qt::LeftButton);
    EXPECT_EQ(pressed, (QList<TimerMode> { TimerMode::stopwatch, TimerMode::pomodoro }));

    // The shell's clock delivers a newer copy between press and release: the press still lands.
    QAbstractButton* primary = shown.view->primaryControl();
    QTest::mousePress(primary, Qt::LeftButton);
    timers.stopwatch.start(uptime());
    TimerSurfaceView fresh(timers, reference.metrics(), callbacks);
    ASSERT_TRUE(shown.view->adopt(fresh));
    EXPECT_EQ(shown.view->primaryControl(), primary);
    QTest::mouseRelease(primary, Qt::LeftButton);
    EXPECT_EQ(primaries, 1);
    EXPECT_EQ(primary->toolTip(), "Pause");
    EXPECT_TRUE(shown.view->isRefreshing());

    // Another size is another layout: no adoption.
    TimerSurfaceView other(timers, large.metrics(), callbacks);
    EXPECT_FALSE(shown.view->adopt(other));
}
