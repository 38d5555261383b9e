#include "ui/onboarding/onboarding_stage.h"

#include "support/test_support.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QThreadPool>
#include <gtest/gtest.h>

using namespace nimbra;
using Scene = OnboardingStage::Scene;

namespace {

constexpr QSizeF kStage(508, OnboardingStage::height);

// A moment whose phase in `scene`'s cycle is `p`, some cycles after the reference date.
double at(Scene scene, double p)
{
    const double period = OnboardingStage::period(scene);
    return 1000 * period + p * period;
}

QImage frame(Scene scene, double t, bool dark = true)
{
    QImage image((kStage * 2).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2);
    image.fill(dark ? QColor(38, 38, 40) : QColor(236, 236, 236));
    QPainter p(&image);
    OnboardingStage::paint(p, kStage, scene, t, 132, 26, dark ? Qt::white : Qt::black);
    return image;
}

QColor pixel(const QImage& image, double x, double y)
{
    return image.pixelColor(int(x * 2), int(y * 2));
}

bool isBlack(const QColor& c)
{
    return c.red() < 16 && c.green() < 16 && c.blue() < 16;
}

// The width of the black notch along a row, in points: from its first black pixel to its last.
double notchWidthAt(const QImage& image, double y)
{
    int first = -1, last = -1;
    for (int x = 0; x < image.width(); ++x) {
        if (isBlack(image.pixelColor(x, int(y * 2)))) {
            first = first < 0 ? x : first;
            last = x;
        }
    }
    return first < 0 ? 0 : (last - first + 1) / 2.0;
}

int count(const QImage& image, const QRectF& area, const std::function<bool(const QColor&)>& test)
{
    int n = 0;
    for (int y = int(area.top() * 2); y < int(area.bottom() * 2); ++y) {
        for (int x = int(area.left() * 2); x < int(area.right() * 2); ++x)
            n += test(image.pixelColor(x, y)) ? 1 : 0;
    }
    return n;
}

} // namespace

TEST(OnboardingStage, TheNotchOpensAndClosesOnTheEnvelopeClosedAtItsBounds)
{
    EXPECT_EQ(OnboardingStage::envelope(0.28, 0.28, 0.86), 0);
    EXPECT_EQ(OnboardingStage::envelope(0.86, 0.28, 0.86), 0);
    EXPECT_EQ(OnboardingStage::envelope(0.1, 0.28, 0.86), 0);
    EXPECT_EQ(OnboardingStage::envelope(0.57, 0.28, 0.86), 1);
    // Ramps over the first and last 18 % of the window.
    EXPECT_NEAR(OnboardingStage::envelope(0.28 + 0.58 * 0.09, 0.28, 0.86), 0.5, 1e-9);
    EXPECT_NEAR(OnboardingStage::envelope(0.86 - 0.58 * 0.09, 0.28, 0.86), 0.5, 1e-9);
    // The hover cycle: opening from 1.4 s, open from about 1.92 s, closed again at 4.3 s.
    EXPECT_EQ(OnboardingStage::openness(Scene::hover, at(Scene::hover, 1.39 / 5)), 0);
    EXPECT_GT(OnboardingStage::openness(Scene::hover, at(Scene::hover, 1.6 / 5)), 0);
    EXPECT_EQ(OnboardingStage::openness(Scene::hover, at(Scene::hover, 1.93 / 5)), 1);
    EXPECT_EQ(OnboardingStage::openness(Scene::hover, at(Scene::hover, 4.31 / 5)), 0);
    // The eyes have no notch to open.
    EXPECT_EQ(OnboardingStage::openness(Scene::eyes, 12.3), 0);
    // Phases follow the clock: one period later is the same frame.
    EXPECT_EQ(OnboardingStage::openness(Scene::music, 777.7), OnboardingStage::openness(Scene::music, 777.7 + 5.5));
}

TEST(OnboardingStage, TheClipboardQueryNarrowsTheEntriesToTheReport)
{
    EXPECT_EQ(OnboardingStage::clipboardQuery(0), "");
    EXPECT_EQ(OnboardingStage::clipboardQuery(0.6 / 5.5), "");
    EXPECT_EQ(OnboardingStage::clipboardQuery(0.62 / 5.5), "r");
    EXPECT_EQ(OnboardingStage::clipboardQuery(1.23 / 5.5), "re");
    EXPECT_EQ(OnboardingStage::clipboardQuery(1.84 / 5.5), "rep");
    EXPECT_EQ(OnboardingStage::clipboardQuery(0.999), "rep");
    EXPECT_EQ(OnboardingStage::clipboardMatches("").size(), 3);
    for (const QString query : { "r", "re", "rep", "REP" })
        EXPECT_EQ(OnboardingStage::clipboardMatches(query), QStringList { "Quarterly report" }) << query.toStdString();
}

TEST(OnboardingStage, TheDraggedFileVanishesJustBeforeItLandsAndThePointerStaysBelowTheBar)
{
    EXPECT_EQ(OnboardingStage::shelfDrag(0.12), 0);
    EXPECT_LE(OnboardingStage::shelfDrag(2.12 / 5), 0.9);
    EXPECT_GT(OnboardingStage::shelfDrag(2.14 / 5), 0.9);
    EXPECT_EQ(OnboardingStage::shelfDrag(0.46), 1);
    EXPECT_FALSE(OnboardingStage::shelfLanded(0.5));
    EXPECT_TRUE(OnboardingStage::shelfLanded(0.5001));
    for (double p = 0; p < 1; p += 0.01)
        EXPECT_GE(OnboardingStage::hoverPointerY(p), 28);
    EXPECT_EQ(OnboardingStage::hoverPointerY(0), 130);
    // The eyes' pointer stays below the top panel, inside the stage.
    for (double t = 0; t < 22.5; t += 0.1) {
        const QPointF p = OnboardingStage::eyesPointer(t);
        EXPECT_GE(p.x(), 0.16 - 1e-9);
        EXPECT_LE(p.x(), 0.84 + 1e-9);
        EXPECT_GE(p.y(), 0.32 - 1e-9);
        EXPECT_LE(p.y(), 0.92 + 1e-9);
    }
}

TEST(OnboardingStage, EveryScenePaintsItsNotchClosedOpeningAndOpen)
{
    const Scene scenes[] = { Scene::hover, Scene::music, Scene::clipboard, Scene::shelf, Scene::timers };
    const double openWidths[] = { 210, 240, 250, 230, 210 };
    for (int i = 0; i < 5; ++i) {
        const Scene scene = scenes[i];
        const double open = scene == Scene::hover ? 0.57 : 0.5;
        const QImage closed = frame(scene, at(scene, 0.02));
        const QImage full = frame(scene, at(scene, open));
        // The outline is framed to the size; its flares take 7 points of it on each side.
        EXPECT_NEAR(notchWidthAt(closed, 10), 132 - 14, 2) << i;
        EXPECT_NEAR(notchWidthAt(full, 10), openWidths[i] - 14, 2) << i;
        // Below the closed notch there is only the backdrop.
        EXPECT_EQ(notchWidthAt(closed, 40), 0) << i;
        // The open notch shows its content: light pixels inside the black.
        const QRectF inside(254 - openWidths[i] / 2 + 12, 28, openWidths[i] - 24, 50);
        EXPECT_GT(count(full, inside, [](const QColor& c) { return c.lightness() > 150; }), 20) << i;
        EXPECT_EQ(count(closed, QRectF(254 - 60, 4, 120, 20), [](const QColor& c) { return c.lightness() > 150; }), 0)
            << "nothing shows in a closed notch " << i;
    }
}

TEST(OnboardingStage, TheHoverReadoutIsGreenAndTheClipboardSelectionOrange)
{
    const QImage hover = frame(Scene::hover, at(Scene::hover, 0.57));
    EXPECT_GT(
        count(hover, QRectF(254, 28, 100, 50), [](const QColor& c) { return c.green() > 150 && c.red() < 110; }), 10);
    // With "rep" typed, one highlighted row is left.
    const QImage clipboard = frame(Scene::clipboard, at(Scene::clipboard, 0.5));
    const auto orange = [](const QColor& c) { return c.red() > 60 && c.red() > c.blue() + 40 && c.green() < c.red(); };
    EXPECT_GT(count(clipboard, QRectF(140, 50, 228, 30), orange), 50);
    EXPECT_EQ(count(clipboard, QRectF(140, 80, 228, 25), orange), 0);
}

TEST(OnboardingStage, TheEyesLookAtThePointerAndTheBorderFollowsTheTheme)
{
    // A pointer at the lower left: both pupils sit towards it in their eyes.
    const QImage eyes = frame(Scene::eyes, 2.25 + 4.5 * 100);
    const QPointF pointer = OnboardingStage::eyesPointer(2.25 + 4.5 * 100);
    EXPECT_LT(pointer.x(), 0.5);
    // The top panel is darker than the backdrop below it.
    EXPECT_LT(pixel(eyes, 60, 25).lightness(), pixel(eyes, 60, 40).lightness());
    const QImage light = frame(Scene::music, 100, false);
    const QImage dark = frame(Scene::music, 100, true);
    EXPECT_LT(pixel(light, 254, 187.5).lightness(), pixel(dark, 254, 187.5).lightness());
}

TEST(OnboardingStage, BetweenMovementsTheClockSleepsAndNothingItSkipsWouldHaveLookedDifferent)
{
    const Scene scenes[] = { Scene::hover, Scene::music, Scene::clipboard, Scene::shelf, Scene::timers };
    for (const Scene scene : scenes) {
        const double period = OnboardingStage::period(scene);
        double slept = 0;
        for (double p = 0.005; p < 1; p += 0.01) {
            const double t = at(scene, p);
            const double wait = OnboardingStage::nextChange(scene, t);
            ASSERT_GE(wait, 0);
            if (wait < 0.05)
                continue;
            slept += 0.01 * period;
            EXPECT_EQ(frame(scene, t), frame(scene, t + wait * 0.95))
                << "scene " << int(scene) << " at phase " << p << " sleeps " << wait << " s";
        }
        // Every scene rests somewhere in its cycle.
        EXPECT_GT(slept, 0.2 * period) << int(scene);
    }
    // A notch resting open with static content sleeps until it starts to close.
    EXPECT_NEAR(
        OnboardingStage::nextChange(Scene::music, at(Scene::music, 0.5)), (0.94 - 0.82 * 0.18 - 0.5) * 5.5, 1e-6);
    // The stopwatch changes with every tenth; the eyes always move.
    EXPECT_LE(OnboardingStage::nextChange(Scene::timers, at(Scene::timers, 0.5)), 0.1);
    EXPECT_EQ(OnboardingStage::nextChange(Scene::eyes, 123.4), 0);
    // While the notch opens, it moves.
    EXPECT_EQ(OnboardingStage::nextChange(Scene::music, at(Scene::music, 0.15)), 0);
}

// Sheets of five moments of each scene are left as artefacts to look at. In every moment the
// scene stays inside the stage's rounded frame: its corners keep the window's colour.
TEST(OnboardingStage, EveryMomentOfEverySceneStaysInsideTheRoundedStage)
{
    const struct {
        Scene scene;
        const char* name;
    } scenes[] = { { Scene::hover, "hover" }, { Scene::music, "music" }, { Scene::clipboard, "clipboard" },
        { Scene::shelf, "shelf" }, { Scene::timers, "timers" }, { Scene::eyes, "eyes" } };
    const double phases[] = { 0.02, 0.2, 0.35, 0.5, 0.9 };
    const QPointF corners[] = { { 1, 1 }, { kStage.width() - 1.5, 1 }, { 1, kStage.height() - 1.5 },
        { kStage.width() - 1.5, kStage.height() - 1.5 } };
    for (const bool dark : { false, true }) {
        const QColor window = dark ? QColor(38, 38, 40) : QColor(236, 236, 236);
        for (const auto& s : scenes) {
            for (double p = 0; p < 1; p += 0.05) {
                const QImage image = frame(s.scene, at(s.scene, p), dark);
                for (const QPointF& corner : corners)
                    EXPECT_EQ(pixel(image, corner.x(), corner.y()), window)
                        << s.name << " at phase " << p << ", corner " << corner.x() << "," << corner.y();
            }
            QImage sheet(
                int(kStage.width() * 2), int((kStage.height() + 8) * 2 * 5), QImage::Format_ARGB32_Premultiplied);
            sheet.setDevicePixelRatio(2);
            sheet.fill(window);
            QPainter painter(&sheet);
            for (int i = 0; i < 5; ++i)
                painter.drawImage(QPointF(0, i * (kStage.height() + 8)), frame(s.scene, at(s.scene, phases[i]), dark));
            painter.end();
            test::saveArtefact(sheet, QStringLiteral("onboarding-scene-%1-%2").arg(s.name, dark ? "dark" : "light"));
        }
    }
}

// Qt's raster engine hands translucent and gradient fills of more than a few dozen spans to every
// thread of its pool and waits for them: a frame of the stage is put together so that, once its
// pictures are drawn, it wakes none of them, cross-fades included, at either pixel density.
TEST(OnboardingStage, AFrameWakesNoThreadButThePaintingOne)
{
    // An idle pool thread that ends after the pool's expiry timeout wakes for that too, which a
    // slow run could reach: only what painting does is counted.
    QThreadPool* const pool = QThreadPool::globalInstance();
    const int expiry = pool->expiryTimeout();
    pool->setExpiryTimeout(-1);
    OnboardingStage stage(Scene::hover);
    stage.resize(kStage.toSize());
    double t = 1000;
    stage.time = [&] { return t; };
    const Scene scenes[] = { Scene::hover, Scene::music, Scene::clipboard, Scene::shelf, Scene::timers, Scene::eyes };
    for (const double dpr : { 1.0, 2.0 }) {
        QImage image((kStage * dpr).toSize(), QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(dpr);
        // Each scene through a whole cycle, arriving with a cross-fade: once to draw its
        // pictures, then again counting the pool's wake-ups.
        const auto play = [&] {
            for (const Scene scene : scenes) {
                stage.setScene(scene);
                const double period = OnboardingStage::period(scene);
                for (int frame = 0; frame < 60; ++frame) {
                    t += period / 60;
                    image.fill(Qt::transparent);
                    stage.render(&image);
                }
            }
        };
        play();
        const long before = test::pooledThreadSwitches();
        play();
        EXPECT_LE(test::pooledThreadSwitches() - before, 0) << "at a pixel density of " << dpr;
    }
    pool->setExpiryTimeout(expiry);
}
