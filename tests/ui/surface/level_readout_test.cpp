#include "ui/surface/level_readout.h"

#include "modules/surface_stage.h"

#include <QPainter>
#include <QTest>
#include <gtest/gtest.h>

using namespace nimbra;
using namespace nimbra::test;

namespace {

const NotchTheme dark = NotchTheme::dark();
const NotchTheme light { false, ClockFont::lockScreen };

SystemLevel volume(double value, bool muted = false, bool available = true)
{
    return SystemLevel(SystemLevel::Kind::volume, value, muted, available, std::nullopt);
}

SurfaceMetrics atScale(double scale)
{
    // A surface with the reference proportions, grown so that pow(r, 0.85) gives `scale`.
    const double r = std::pow(scale, 1 / 0.85);
    return SurfaceMetrics(QSizeF(360 * r, 32 + 92 * r), 32, 185);
}

// A readout drawn settled in a strip `width` wide.
struct Drawn {
    QImage image;
    QRectF bar; // where the track lies
};

Drawn draw(
    const SystemLevel& level, const std::optional<SurfaceMetrics>& m, const NotchTheme& theme, double width = 300)
{
    const double height = std::ceil(LevelReadout::contentHeight(level, m));
    Drawn d;
    d.image = QImage(QSize(int(width), int(height)) * 2, QImage::Format_ARGB32_Premultiplied);
    d.image.setDevicePixelRatio(2);
    d.image.fill(theme.surface());
    QPainter p(&d.image);
    LevelReadout::paint(
        p, QRectF(0, 0, width, height), level, m, theme, level.isMuted ? 0 : level.value, level.isMuted ? 1 : 0);
    const double track = LevelReadout::trackHeight(m);
    d.bar = QRectF(0, height - track, width, track);
    return d;
}

} // namespace

TEST(LevelReadout, TitlesAndPercentages)
{
    EXPECT_EQ(LevelReadout::title(volume(0.5, true)), "Muted");
    EXPECT_EQ(LevelReadout::title(volume(0.5)), "Volume");
    EXPECT_EQ(
        LevelReadout::title(SystemLevel(SystemLevel::Kind::brightness, 0.5, false, true, std::nullopt)), "Brightness");
    EXPECT_EQ(LevelReadout::title(SystemLevel(SystemLevel::Kind::keyboardBacklight, 0, false, false, std::nullopt)),
        "Keyboard");
    // The stored value shows even while muted.
    EXPECT_EQ(LevelReadout::percentText(volume(0.62, true)), "62%");
    EXPECT_EQ(LevelReadout::percentText(volume(0.004)), "0%");
}

TEST(LevelReadout, SizesFollowTheMetricsOrStayNominal)
{
    EXPECT_EQ(LevelReadout::trackHeight(std::nullopt), 5);
    EXPECT_EQ(LevelReadout::trackHeight(atScale(2.2)), 10); // s(5) = 11, clamped
    EXPECT_EQ(LevelReadout::trackHeight(atScale(0.8)), 4);
    EXPECT_EQ(LevelReadout::scaled(atScale(0.8), 11.5), 9);
    EXPECT_EQ(LevelReadout::scaled(atScale(0.8), 22), 18);
    // Without metrics the readout is the reference one.
    EXPECT_DOUBLE_EQ(LevelReadout::contentHeight(volume(0.5), std::nullopt),
        LevelReadout::contentHeight(volume(0.5), SurfaceMetrics(SurfaceMetrics::reference, 32, 185)));
    EXPECT_GT(LevelReadout::contentHeight(volume(0.5), atScale(2.2)),
        2 * LevelReadout::contentHeight(volume(0.5), std::nullopt));
    // No bar without control.
    EXPECT_LT(LevelReadout::contentHeight(volume(0.5, false, false), std::nullopt),
        LevelReadout::contentHeight(volume(0.5), std::nullopt));
}

TEST(LevelTrack, AnyLevelShowsAtLeastAFivePointPill)
{
    const LevelTrack tiny { 0.004, Qt::white, false };
    EXPECT_EQ(tiny.fillWidth(200), 5);
    EXPECT_EQ((LevelTrack { 0, Qt::white, false }.fillWidth(200)), 0);
    EXPECT_EQ((LevelTrack { 0.5, Qt::white, false }.fillWidth(200)), 100);
    EXPECT_EQ((LevelTrack { 1.7, Qt::white, false }.fillWidth(200)), 200);
    EXPECT_EQ((LevelTrack { std::nan(""), Qt::white, false }.fillWidth(200)), 0);

    const QColor empty = over(QColor::fromRgbF(1, 1, 1, 0.14f), dark.surface());
    const Drawn low = draw(volume(0.004), std::nullopt, dark);
    const Drawn none = draw(volume(0), std::nullopt, dark);
    saveArtefact(low.image, "level-readout-0.004");
    // Inside the first 5 pt of the bar the pill shows; at zero the track is empty there.
    const QRectF start(low.bar.left() + 1.5, low.bar.top() + 1, 2.5, low.bar.height() - 2);
    EXPECT_EQ(countNear(low.image, start, empty, 6), 0);
    EXPECT_GT(countNear(none.image, start, empty, 6), 0);
    EXPECT_GT(countNear(none.image, QRectF(low.bar.center().x(), low.bar.top() + 1, 20, 2), empty, 6), 0);
}

TEST(LevelReadout, MutedAndUncontrolledReadings)
{
    const QColor emptyTrack = over(QColor::fromRgbF(1, 1, 1, 0.14f), dark.surface());
    const QColor mutedTint = over(dark.secondaryText(0.5), dark.surface());

    // Muted: the symbol in the muted tint, and an empty bar with no pill at all.
    const Drawn muted = draw(volume(0.62, true), std::nullopt, dark);
    saveArtefact(muted.image, "level-readout-muted");
    EXPECT_GT(countNear(muted.image, QRectF(0, 0, 22, muted.bar.top() - 7), mutedTint, 10), 10);
    EXPECT_EQ(countNear(muted.image, QRectF(0, 0, 22, muted.bar.top() - 7), Qt::white, 10), 0);
    EXPECT_GT(countNear(muted.image, muted.bar.adjusted(3, 1, -3, -1), emptyTrack, 6), 100);
    EXPECT_EQ(countNear(muted.image, muted.bar, mutedTint, 20), 0);

    // Not available: "No control" and no bar.
    const SystemLevel keyboard(SystemLevel::Kind::keyboardBacklight, 0.3, false, false, std::nullopt);
    const Drawn uncontrolled = draw(keyboard, std::nullopt, dark);
    saveArtefact(uncontrolled.image, "level-readout-no-control");
    // Between the title and the note there is nothing, where a bar would cross.
    EXPECT_EQ(countNear(uncontrolled.image, QRectF(110, 0, 100, uncontrolled.image.height() / 2.0), emptyTrack, 3), 0);
    const QColor noControl = over(dark.secondaryText(0.45), dark.surface());
    EXPECT_GT(countNear(uncontrolled.image, QRectF(220, 0, 80, 30), noControl, 12), 10);
}

TEST(LevelReadout, RendersAtEveryScaleWithTheBarInTheTint)
{
    struct Case {
        const char* name;
        std::optional<SurfaceMetrics> m;
        NotchTheme theme;
        double width;
    };
    const SystemLevel headphones(
        SystemLevel::Kind::volume, 0.55, false, true, AudioOutput("Studio Headphones", AudioOutput::Kind::headphones));
    for (const Case& c : { Case { "nominal", std::nullopt, dark, 320 }, Case { "smallest", atScale(0.8), dark, 260 },
             Case { "largest", atScale(2.2), dark, 700 },
             Case { "light", SurfaceMetrics(SurfaceMetrics::reference, 32, 185), light, 320 } }) {
        const Drawn d = draw(headphones, c.m, c.theme, c.width);
        saveArtefact(d.image, QString("level-readout-%1").arg(c.name));
        // Past the middle of the filled pill the gradient reaches the full tint.
        const double fill = c.width * 0.55;
        EXPECT_GT(
            countNear(d.image, QRectF(fill * 0.8, d.bar.top(), fill * 0.18, d.bar.height()), c.theme.primaryText(), 40),
            4)
            << c.name;
        // Beyond the pill only the empty track remains.
        EXPECT_EQ(countNear(d.image, QRectF(fill + 6, d.bar.top(), c.width - fill - 12, d.bar.height()),
                      c.theme.primaryText(), 40),
            0)
            << c.name;
    }
}

TEST(LevelReadout, NewReadingsSpringAndThenStopTheClock)
{
    Stage stage(dark, { 300, 60 });
    auto* readout = stage.make<LevelReadout>(volume(0.2), std::nullopt);
    EXPECT_FALSE(readout->isTicking());
    readout->setLevel(volume(0.8));
    EXPECT_TRUE(readout->isAnimating());
    EXPECT_TRUE(readout->isTicking());
    ASSERT_TRUE(waitUntil([&] { return !readout->isTicking(); }, 3000));
    readout->setLevel(volume(0.8, true)); // the tint eases, the bar empties
    EXPECT_TRUE(readout->isTicking());
    ASSERT_TRUE(waitUntil([&] { return !readout->isTicking(); }, 3000));
    // The same reading again moves nothing.
    readout->setLevel(volume(0.8, true));
    EXPECT_FALSE(readout->isTicking());
    const QImage settled = stage.render();
    EXPECT_EQ(countNear(settled, QRectF(0, 0, 22, 20), Qt::white, 10), 0);
}

TEST(Equaliser, BarsStandInEvenSlots)
{
    EXPECT_EQ(Equaliser::barFraction(3, std::nullopt), 0.5875);
    for (double t : { 0.0, 1.3, 812345678.25 }) {
        for (int i = 0; i < 5; ++i) {
            EXPECT_GE(Equaliser::barFraction(i, t), 0.25);
            EXPECT_LE(Equaliser::barFraction(i, t), 1.0);
        }
    }

    auto render = [](int bars, std::optional<double> t) {
        QImage image(100, 40, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::black);
        QPainter p(&image);
        Equaliser::paint(p, QRectF(0, 0, 100, 40), bars, Qt::red, t);
        return image;
    };
    // Three bars: each bar and each gap a fifth of the width, standing at 0.5875 of the height.
    const QImage three = render(3, std::nullopt);
    saveArtefact(three, "equaliser-paused");
    for (int x : { 10, 50, 90 }) {
        EXPECT_EQ(three.pixelColor(x, 38), QColor(Qt::red)) << x;
        EXPECT_EQ(three.pixelColor(x, 18), QColor(Qt::red)) << x;
        EXPECT_EQ(three.pixelColor(x, 15), QColor(Qt::black)) << x;
    }
    for (int x : { 30, 70 })
        EXPECT_EQ(three.pixelColor(x, 38), QColor(Qt::black)) << x;
    // One bar fills the width.
    const QImage one = render(1, std::nullopt);
    EXPECT_EQ(one.pixelColor(1, 29), QColor(Qt::red));
    EXPECT_EQ(one.pixelColor(98, 29), QColor(Qt::red));
    // None draws nothing.
    EXPECT_EQ(render(0, 1.0), render(0, std::nullopt));
    EXPECT_EQ(render(0, 1.0).pixelColor(50, 39), QColor(Qt::black));
    saveArtefact(render(5, 812345678.25), "equaliser-moving");
}

TEST(Equaliser, RunsATimerOnlyWhileVisibleAndAnimating)
{
    Stage stage(dark, { 40, 20 });
    auto* paused = stage.make<Equaliser>(false, Qt::white, 4);
    EXPECT_FALSE(paused->isTicking());
    paused->setIsAnimating(true);
    EXPECT_TRUE(paused->isTicking());
    paused->hide();
    EXPECT_FALSE(paused->isTicking());
    paused->show();
    EXPECT_TRUE(paused->isTicking());
    paused->setIsAnimating(false);
    EXPECT_FALSE(paused->isTicking());

    Equaliser hidden(true, Qt::white, 4); // never shown
    EXPECT_FALSE(hidden.isTicking());
    hidden.setBarCount(-3);
    EXPECT_EQ(hidden.barCount(), 0);
}
