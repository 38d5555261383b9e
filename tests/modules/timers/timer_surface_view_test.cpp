#include "modules/timers/timer_surface_view.h"

#include "core/uptime.h"
#include "modules/surface_stage.h"

#include <QMap>
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

// A moment inside the lit part of a blinking second, on both clocks.
constexpr double kNow = 1000.2;
Clocks stoppedAt(double t)
{
    return { [t] { return t; }, [t] { return t; } };
}

// Timers in a named state at kNow.
struct State {
    const char* name;
    TimerSet timers;
};

QList<State> gallery()
{
    const double now = kNow;
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
    states.append({ "focus-idle", t });
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
        TimerSurfaceView::Callbacks callbacks = {}, Clocks clocks = {})
        : stage(theme, surface.content())
        , view(stage.make<TimerSurfaceView>(timers, surface.metrics(), std::move(callbacks), std::move(clocks)))
    {
    }
};

// Painted without the buttons, at a chosen moment, on `background`.
QImage paintAt(const TimerSet& timers, const Surface& surface, const NotchTheme& theme, double now,
    const QColor& background = QColor())
{
    QImage image((surface.content() * 2).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2);
    image.fill(background.isValid() ? background : theme.surface());
    QPainter p(&image);
    const std::optional<double> progress = TimerSurfaceView::countdownProgress(timers, now);
    TimerSurfaceView::paint(
        p, QRectF(QPointF(), surface.content()), timers, surface.metrics(), theme, now, progress.value_or(0));
    return image;
}

// The shown buttons, in the view's coordinates.
QList<QRectF> shownButtons(const TimerSurfaceView& view)
{
    QList<QRectF> rects;
    for (const QAbstractButton* button : view.findChildren<QAbstractButton*>())
        if (button->isVisible())
            rects.append(QRectF(button->geometry()));
    return rects;
}

} // namespace

// What a person sees of every mode and state, at three sizes in both themes: the whole time and
// support line, clear of the buttons and of the surface's edges, every button whole and apart,
// and the controls of a mode always in the same places (a control that appears moves no other).
TEST(TimerSurfaceView, EveryStateShowsTheWholeTimeClearOfButtonsThatStayInPlace)
{
    for (const NotchTheme& theme : { NotchTheme::dark(), NotchTheme { false, ClockFont::lockScreen } }) {
        for (const Surface& surface : { small, reference, large }) {
            QMap<TimerMode, QList<QRect>> controlPlaces;
            QList<QRect> tabPlaces;
            for (const State& state : gallery()) {
                SCOPED_TRACE(std::string(state.name) + " " + surface.name + (theme.isDark ? " dark" : " light"));
                Shown shown(state.timers, surface, theme, {}, stoppedAt(kNow));
                saveArtefact(shown.stage.render(),
                    QStringLiteral("timers-%1-%2-%3").arg(state.name, surface.name, theme.isDark ? "dark" : "light"));

                // The readout's ink: all of it inside the surface, none under a button.
                const QImage ink = paintAt(state.timers, surface, theme, kNow, Qt::transparent);
                const QList<QRectF> buttons = shownButtons(*shown.view);
                QRect inked;
                int underButtons = 0, digits = 0;
                const QColor digitColour = TimerSurfaceView::urgency(state.timers, kNow) == TimerUrgency::calm
                    ? theme.primaryText()
                    : theme.bad();
                for (int y = 0; y < ink.height(); ++y) {
                    for (int x = 0; x < ink.width(); ++x) {
                        const QColor c = ink.pixelColor(x, y);
                        if (c.alpha() < 40)
                            continue;
                        inked |= QRect(x, y, 1, 1);
                        const QPointF at(x / 2.0, y / 2.0);
                        underButtons += std::any_of(buttons.begin(), buttons.end(),
                            [&](const QRectF& b) { return b.adjusted(1, 1, -1, -1).contains(at); });
                        digits += c.alpha() > 200 && near(c, digitColour, 40);
                    }
                }
                EXPECT_TRUE(ink.rect().adjusted(1, 1, -1, -1).contains(inked)) << "the readout is cut at an edge";
                EXPECT_EQ(underButtons, 0) << "the readout runs under a button";
                EXPECT_GT(digits, 200) << "no time to read";

                const QRectF bounds(QPointF(), surface.content());
                for (int i = 0; i < buttons.size(); ++i) {
                    EXPECT_TRUE(bounds.contains(buttons[i])) << "a button is cut at an edge";
                    for (int j = i + 1; j < buttons.size(); ++j)
                        EXPECT_FALSE(buttons[i].intersects(buttons[j])) << "two buttons overlap";
                }

                const QList<QRect> controls { shown.view->primaryControl()->geometry(),
                    shown.view->secondaryControl()->geometry(), shown.view->resetControl()->geometry() };
                QList<QRect>& places = controlPlaces[state.timers.mode];
                if (places.isEmpty())
                    places = controls;
                EXPECT_EQ(controls, places) << "a control moved";
                QList<QRect> tabs;
                for (const QAbstractButton* tab : shown.view->modeTabs())
                    tabs.append(tab->geometry());
                if (tabPlaces.isEmpty())
                    tabPlaces = tabs;
                EXPECT_EQ(tabs, tabPlaces) << "a mode tab moved";
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
    const double now = kNow;
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

// The focus cycle as a person counts it: a dot per block of the cycle, those of the cycle done
// so far filled, then the phase's name.
TEST(TimerSurfaceView, TheFocusCycleShowsADotPerBlockWithTheDoneOnesFilled)
{
    const NotchTheme theme = NotchTheme::dark();
    // Filled and empty dots along the middle of the support line, left of the name (drawn in the
    // break's colour).
    const auto dots = [&](int cycles, int completed) {
        TimerSet timers;
        timers.mode = TimerMode::pomodoro;
        Pomodoro::Configuration configuration = quickFocus();
        configuration.cyclesBeforeLongBreak = cycles;
        timers.pomodoro.setConfiguration(configuration);
        timers.pomodoro.completedWorkBlocks = completed;
        timers.pomodoro.phase = Pomodoro::Phase::shortBreak;
        const QImage image = paintAt(timers, reference, theme, kNow);
        saveArtefact(image, QStringLiteral("timers-focus-dots-%1-of-%2").arg(completed).arg(cycles));
        const QRectF line = *TimerSurfaceView::layout(reference.content(), reference.metrics(), timers).support;
        const QColor empty = over(theme.well(0.22), theme.surface());
        const int y = int(line.center().y() * 2);
        std::pair<int, int> runs { 0, 0 };
        QColor previous = theme.surface();
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (near(c, theme.good(), 40))
                break;
            runs.first += near(c, theme.accent(), 30) && !near(previous, theme.accent(), 30);
            runs.second += near(c, empty, 12) && !near(previous, empty, 12);
            previous = c;
        }
        return runs;
    };
    EXPECT_EQ(dots(4, 0), std::pair(0, 4));
    EXPECT_EQ(dots(4, 5), std::pair(1, 3)) << "the second cycle's first block";
    EXPECT_EQ(dots(4, 7), std::pair(3, 1));
    EXPECT_EQ(dots(0, 3), std::pair(0, 1)) << "a cycle of one block";
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
