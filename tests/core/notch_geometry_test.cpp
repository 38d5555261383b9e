#include "core/notch_geometry.h"

#include "core/rect_math.h"

#include <QSet>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

using namespace nimbra;

namespace {

constexpr double inf = std::numeric_limits<double>::infinity();

// A screen of that size at the origin with a menu bar of `menuBar` points (y grows upward).
DisplayMetrics screen(double width, double height, double menuBar = 24, double x = 0, double y = 0)
{
    DisplayMetrics m;
    m.frame = QRectF(x, y, width, height);
    m.visibleFrame = QRectF(x, y, width, height - menuBar);
    return m;
}

// A 1512 x 982 laptop panel with a 200 x 32 camera housing in the middle of its top edge.
DisplayMetrics housing(double safeAreaTop = 32, double leftEnd = 656, double rightStart = 856)
{
    auto m = screen(1512, 982, 37);
    m.safeAreaTop = safeAreaTop;
    m.auxiliaryTopLeft = QRectF(0, 950, leftEnd, 32);
    m.auxiliaryTopRight = QRectF(rightStart, 950, 1512 - rightStart, 32);
    return m;
}

void expectRect(const QRectF& rect, double x, double y, double w, double h)
{
    EXPECT_DOUBLE_EQ(rect.x(), x);
    EXPECT_DOUBLE_EQ(rect.y(), y);
    EXPECT_DOUBLE_EQ(rect.width(), w);
    EXPECT_DOUBLE_EQ(rect.height(), h);
}

} // namespace

TEST(NotchGeometry, HardwareNotchIsTheGapBesideTheHousing)
{
    const NotchGeometry geometry(housing());
    EXPECT_EQ(geometry.kind(), NotchGeometry::Kind::hardware);
    EXPECT_TRUE(geometry.hasNotch());
    expectRect(geometry.anchorRect(), 656, 982 - 32, 200, 32);
    EXPECT_DOUBLE_EQ(geometry.menuBarHeight(), 37);
}

TEST(NotchGeometry, TouchingOrOverlappingAreasGiveASynthesizedNotch)
{
    for (double rightStart : { 656.0, 600.0 }) {
        const NotchGeometry geometry(housing(32, 656, rightStart));
        EXPECT_EQ(geometry.kind(), NotchGeometry::Kind::synthesized) << rightStart;
        EXPECT_FALSE(geometry.hasNotch());
    }
}

TEST(NotchGeometry, AreasWithoutSafeAreaGiveASynthesizedNotch)
{
    EXPECT_EQ(NotchGeometry(housing(0)).kind(), NotchGeometry::Kind::synthesized);
    EXPECT_EQ(NotchGeometry(housing(std::nan(""))).kind(), NotchGeometry::Kind::synthesized);
    EXPECT_EQ(NotchGeometry(housing(inf)).kind(), NotchGeometry::Kind::synthesized);

    auto oneSided = housing();
    oneSided.auxiliaryTopRight.reset();
    EXPECT_EQ(NotchGeometry(oneSided).kind(), NotchGeometry::Kind::synthesized);
}

TEST(NotchGeometry, SynthesizedNotchIsCentredUnderTheMenuBar)
{
    const NotchGeometry narrow(screen(1440, 900, 24));
    EXPECT_EQ(narrow.kind(), NotchGeometry::Kind::synthesized);
    expectRect(narrow.anchorRect(), 720 - 60, 900 - 24, 120, 24);

    // 3008 * 0.07 = 210.56 is held at 170.
    const NotchGeometry wide(screen(3008, 1692, 30));
    expectRect(wide.anchorRect(), 1504 - 85, 1692 - 30, 170, 30);

    // Inside the range the fraction holds: 2000 * 0.07 = 140.
    const NotchGeometry middle(screen(2000, 1200, 25, -2000, 300));
    expectRect(middle.anchorRect(), -1000 - 70, 1500 - 25, 140, 25);
    EXPECT_DOUBLE_EQ(maxY(middle.anchorRect()), maxY(middle.metrics().frame));
}

TEST(NotchGeometry, HiddenMenuBarGivesTheFallbackHeight)
{
    const NotchGeometry geometry(screen(1512, 982, 0));
    EXPECT_DOUBLE_EQ(geometry.menuBarHeight(), 0);
    expectRect(geometry.anchorRect(), 756 - 60, 982 - 24, 120, 24);

    auto odd = screen(1512, 982, 0);
    odd.visibleFrame.setHeight(std::nan(""));
    EXPECT_DOUBLE_EQ(NotchGeometry(odd).anchorRect().height(), 24);
}

TEST(NotchGeometry, NonFiniteScreenWidthTakesAWidthBound)
{
    auto m = screen(1512, 982);
    m.frame.setWidth(std::nan(""));
    EXPECT_DOUBLE_EQ(NotchGeometry(m).anchorRect().width(), 120);
    m.frame.setWidth(inf);
    EXPECT_DOUBLE_EQ(NotchGeometry(m).anchorRect().width(), 170);
}

TEST(NotchGeometry, TrackingRectGrowsSidewaysAndDownOnly)
{
    const NotchGeometry geometry(screen(1440, 900, 24));
    const QRectF tracking = geometry.trackingRect(10);
    expectRect(tracking, 650, 866, 140, 34);
    EXPECT_DOUBLE_EQ(maxY(tracking), maxY(geometry.anchorRect()));
    EXPECT_EQ(geometry.trackingRect(std::nan("")), geometry.anchorRect());
}

TEST(NotchGeometry, ExpandedFrameHangsFromTheTopCentred)
{
    const NotchGeometry geometry(screen(1440, 900, 24, 100, 50));
    expectRect(geometry.expandedFrame(360, 124), 100 + 720 - 180, 950 - 124, 360, 124);
    // The height is not limited by the screen.
    expectRect(geometry.expandedFrame(360, 2000), 640, 950 - 2000, 360, 2000);
}

TEST(NotchGeometry, ExpandedFrameWiderThanTheScreenSpansIt)
{
    const NotchGeometry geometry(screen(1440, 900, 24, -1440, 0));
    expectRect(geometry.expandedFrame(5000, 124), -1440, 900 - 124, 1440, 124);
}

TEST(NotchGeometry, ExpandedFrameAlwaysStaysOnTheScreen)
{
    const NotchGeometry geometry(screen(601, 400, 24, -301.5, 982));
    for (double width : { 0.0, 1.0, 299.5, 600.0, 601.0, 601.5, 10000.0 }) {
        const QRectF frame = geometry.expandedFrame(width, 100);
        EXPECT_GE(minX(frame), -301.5) << width;
        EXPECT_LE(maxX(frame), 299.5) << width;
        EXPECT_DOUBLE_EQ(frame.width(), std::min(width, 601.0));
    }

    // A zero-width screen leaves only its left edge.
    const NotchGeometry empty(screen(0, 400, 24, 30, 0));
    expectRect(empty.expandedFrame(100, 50), 30, 350, 0, 50);
}

TEST(NotchGeometry, ExpandedFrameRejectsNonFiniteSizes)
{
    const NotchGeometry geometry(screen(1440, 900, 24));
    expectRect(geometry.expandedFrame(std::nan(""), std::nan("")), 720, 900, 0, 0);
    expectRect(geometry.expandedFrame(inf, inf), 0, 0, 1440, 900);
    expectRect(geometry.expandedFrame(360, -inf), 540, 900, 360, 0);
}

TEST(LayoutMetrics, InitializerClampsEveryField)
{
    const LayoutMetrics high(1000, 1000, 1000, 1000, 1000, 1000, 1000, 1000);
    EXPECT_EQ(high, LayoutMetrics(620, 260, 180, 150, 40, 56, 40, 56));
    const LayoutMetrics low(-1, -1, -1, -1, -1, -1, -1, -1);
    EXPECT_DOUBLE_EQ(low.expandedWidth, 280);
    EXPECT_DOUBLE_EQ(low.expandedHeight, 84);
    EXPECT_DOUBLE_EQ(low.activityExtraWidth, 0);
    EXPECT_DOUBLE_EQ(low.activityHeight, 44);
    EXPECT_DOUBLE_EQ(low.collapsedTopRadius, 0);
    EXPECT_DOUBLE_EQ(low.expandedBottomRadius, 0);
}

TEST(LayoutMetrics, NonFiniteValuesTakeTheDefaultOrTheBound)
{
    const double nan = std::nan("");
    EXPECT_EQ(LayoutMetrics(nan, nan, nan, nan, nan, nan, nan, nan), LayoutMetrics::defaults());
    EXPECT_EQ(LayoutMetrics(inf, -inf, inf, -inf, inf, -inf, inf, -inf), LayoutMetrics(620, 84, 180, 44, 40, 0, 40, 0));
}

TEST(LayoutMetrics, ActivityWidthAndPanelSize)
{
    const auto& d = LayoutMetrics::defaults();
    EXPECT_DOUBLE_EQ(d.activityWidth(200), 248);
    // The expanded shape is the wider one: 360 + 2 * 18 + 40.
    EXPECT_EQ(d.panelSize(200), QSizeF(436, 164));
    // A wide notch makes the activity shape the wider one: 400 + 48 + 2 * 6 + 40.
    EXPECT_EQ(d.panelSize(400), QSizeF(500, 164));
}

TEST(DisplayKey, UniqueIdElseNumberedFallback)
{
    EXPECT_EQ(DisplayKey::make(69733382, QStringLiteral("37D8832A-2D66-02CA-B9F7-8F30A301B230")).rawValue,
        QLatin1String("37D8832A-2D66-02CA-B9F7-8F30A301B230"));
    EXPECT_EQ(DisplayKey::make(4242, std::nullopt).description(), QLatin1String("display-4242"));
    EXPECT_EQ(DisplayKey::make(4294967295u, QString()).rawValue, QLatin1String("display-4294967295"));

    QSet<DisplayKey> keys { DisplayKey(QStringLiteral("a")), DisplayKey(QStringLiteral("a")), DisplayKey::make(1, {}) };
    EXPECT_EQ(keys.size(), 2);
}
