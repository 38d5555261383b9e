#include "modules/power/charge_activity_view.h"

#include "modules/surface_stage.h"

#include <QPainter>
#include <gtest/gtest.h>

using namespace nimbra;
using namespace nimbra::test;

namespace {

using Kind = ChargeActivityView::Kind;

const QColor red = QColor::fromRgbF(1.0f, 0.36f, 0.31f);
const QColor green = QColor::fromRgbF(0.3f, 0.85f, 0.39f);

PowerSnapshot snapshot(int percent, PowerSnapshot::Source source = PowerSnapshot::Source::battery)
{
    return { percent, source, source == PowerSnapshot::Source::wallPower, false, std::nullopt, std::nullopt, false,
        std::nullopt };
}

// The readout as it stands once landed (or at another landing progress).
QImage paintAt(
    const Kind& kind, const PowerSnapshot& s, const SurfaceMetrics& m, const NotchTheme& theme, double progress = 1)
{
    const QSizeF size(m.size().width(), std::max(m.size().height(), m.notchHeight() + 10));
    QImage image((size * 2).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2);
    image.fill(theme.surface());
    QPainter p(&image);
    ChargeActivityView::paint(p, QRectF(QPointF(0, 0), size), kind, s, m, theme, progress);
    return image;
}

const SurfaceMetrics reference(QSizeF(300, 40), 32, 185);

} // namespace

TEST(ChargeActivityView, LowKindsCompareByTheirLevel)
{
    EXPECT_EQ(Kind::low(10), Kind::low(10));
    EXPECT_FALSE(Kind::low(10) == Kind::low(20));
    EXPECT_FALSE(Kind::connected() == Kind::holding());
    EXPECT_EQ(Kind::charged(), Kind::charged());
}

TEST(ChargeActivityView, LevelBarNeverDropsBelowAStub)
{
    EXPECT_EQ((LevelBar { 0, red }.fillWidth(200)), 3);
    EXPECT_EQ((LevelBar { 0.5, red }.fillWidth(200)), 100);
    EXPECT_EQ((LevelBar { 2, red }.fillWidth(200)), 200);
    QImage image(100, 3, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::black);
    QPainter p(&image);
    LevelBar { 0, Qt::red }.paint(p, QRectF(0, 0, 100, 3));
    p.end();
    EXPECT_GT(image.pixelColor(1, 1).red(), 100); // the stub
    EXPECT_LT(image.pixelColor(10, 1).red(), 100); // only the grey track beyond it
}

TEST(ChargeActivityView, LowBatteryIsRedWithoutGlowAndChargingIsGreen)
{
    const QImage low = paintAt(Kind::low(10), snapshot(9), reference, NotchTheme::dark());
    saveArtefact(low, "charge-low");
    EXPECT_GT(countNear(low, QRectF(0, 0, 300, 40), red, 24), 30);
    EXPECT_EQ(countNear(low, QRectF(0, 0, 300, 40), green, 40), 0);

    const QImage connected
        = paintAt(Kind::connected(), snapshot(64, PowerSnapshot::Source::wallPower), reference, NotchTheme::dark());
    saveArtefact(connected, "charge-connected");
    EXPECT_GT(countNear(connected, QRectF(0, 0, 300, 40), green, 24), 30);
    EXPECT_EQ(countNear(connected, QRectF(0, 0, 300, 40), red, 24), 0);

    const QImage unplugged = paintAt(Kind::disconnected(), snapshot(64), reference, NotchTheme::dark());
    saveArtefact(unplugged, "charge-disconnected");
    EXPECT_EQ(countNear(unplugged, QRectF(0, 0, 300, 40), green, 40), 0);
    EXPECT_GT(countNear(unplugged, QRectF(0, 0, 300, 40), QColor::fromRgbF(0.92f, 0.92f, 0.92f), 8), 30);

    // Halfway through landing the glow ring is still there around the icon.
    const QImage landing
        = paintAt(Kind::charged(), snapshot(100, PowerSnapshot::Source::wallPower), reference, NotchTheme::dark(), 0.5);
    saveArtefact(landing, "charge-charged-landing");
    int glow = 0;
    for (int y = 0; y < landing.height(); ++y)
        for (int x = 0; x < landing.width() / 2; ++x) {
            const QColor c = landing.pixelColor(x, y);
            glow += (c.green() > 20 && c.green() < 120 && c.green() > c.red() + 10) ? 1 : 0;
        }
    EXPECT_GT(glow, 20);
    // Before landing nothing shows.
    const QImage before = paintAt(Kind::charged(), snapshot(100), reference, NotchTheme::dark(), 0);
    EXPECT_EQ(countNear(before, QRectF(0, 0, 300, 40), Qt::black, 0), 300 * 40 * 4);
}

TEST(ChargeActivityView, LightThemeTextsAreNearBlackAtEveryScale)
{
    const NotchTheme light { false, ClockFont::lockScreen };
    struct Case {
        const char* name;
        SurfaceMetrics m;
        NotchTheme theme;
    };
    for (const Case& c : { Case { "reference-light", reference, light },
             Case { "smallest", SurfaceMetrics(QSizeF(220, 40), 32, 185), NotchTheme::dark() },
             Case { "largest", SurfaceMetrics(QSizeF(800, 170), 32, 185), NotchTheme::dark() } }) {
        const QImage image = paintAt(Kind::connected(), snapshot(42, PowerSnapshot::Source::wallPower), c.m, c.theme);
        saveArtefact(image, QString("charge-%1").arg(c.name));
        EXPECT_GT(countNear(image, QRectF(QPointF(0, 0), c.m.size()), c.theme.primaryText(), 30), 20) << c.name;
    }
}

TEST(ChargeActivityView, LandsOnceWhenShown)
{
    Stage stage(NotchTheme::dark(), { 300, 40 });
    auto* view
        = stage.make<ChargeActivityView>(Kind::connected(), snapshot(80, PowerSnapshot::Source::wallPower), reference);
    EXPECT_TRUE(view->isLanded());
    EXPECT_TRUE(view->isAnimating());
    ASSERT_TRUE(waitUntil([&] { return !view->isAnimating(); }, 3000));
    const QImage landed = stage.render();
    EXPECT_GT(countNear(landed, QRectF(0, 0, 300, 40), green, 24), 30);
    view->hide();
    view->show();
    EXPECT_FALSE(view->isAnimating());
}
