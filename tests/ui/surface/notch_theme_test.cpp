#include "ui/surface/notch_theme.h"

#include "support/test_support.h"

#include <QFontInfo>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QWidget>
#include <gtest/gtest.h>

using namespace nimbra;

namespace {
const NotchTheme darkTheme = NotchTheme::dark();
const NotchTheme lightTheme { false, ClockFont::lockScreen };

void expectColour(const QColor& c, double grey, double alpha)
{
    EXPECT_NEAR(c.redF(), grey, 0.002);
    EXPECT_NEAR(c.greenF(), grey, 0.002);
    EXPECT_NEAR(c.blueF(), grey, 0.002);
    EXPECT_NEAR(c.alphaF(), alpha, 0.002);
}
} // namespace

TEST(NotchTheme, DarkAndLightPalettes)
{
    expectColour(darkTheme.primaryText(), 1, 1);
    expectColour(lightTheme.primaryText(), 0.09, 1);
    expectColour(darkTheme.secondaryText(0.6), 1, 0.6);
    expectColour(lightTheme.secondaryText(0.6), 0.09, 0.65);
    expectColour(darkTheme.surface(), 0, 1);
    expectColour(lightTheme.surface(), 0.96, 1);
    expectColour(darkTheme.well(0.2), 1, 0.2);
    expectColour(lightTheme.well(0.2), 0, 0.17);
    expectColour(darkTheme.separator(), 1, 0.1);
    expectColour(lightTheme.separator(), 0, 0.1);
    EXPECT_NEAR(darkTheme.good().greenF(), 0.85, 0.002);
    EXPECT_NEAR(lightTheme.good().greenF(), 0.62, 0.002);
    EXPECT_NEAR(darkTheme.bad().redF(), 1.0, 0.002);
    EXPECT_NEAR(lightTheme.bad().redF(), 0.8, 0.002);
    EXPECT_NEAR(darkTheme.accent().blueF(), 0.22, 0.002);
    EXPECT_NEAR(lightTheme.accent().blueF(), 0.1, 0.002);
    // Strengths past full stay opaque rather than wrapping.
    EXPECT_NEAR(lightTheme.secondaryText(1.0).alphaF(), 1.0, 0.002);
}

TEST(NotchTheme, ClockTrackingAndFaces)
{
    for (ClockFont f : { ClockFont::system, ClockFont::rounded, ClockFont::serif, ClockFont::mono })
        EXPECT_EQ((NotchTheme { true, f }.clockTracking()), 0);
    EXPECT_EQ(darkTheme.clockTracking(), 1.5);

    EXPECT_EQ(darkTheme.clock(40).pixelSize(), 40);
    EXPECT_EQ(darkTheme.clock(40).weight(), QFont::Thin);
    // The lock-screen face is the lightest this machine has: never heavier than the system one.
    EXPECT_LE(
        QFontInfo(darkTheme.clock(40)).weight(), QFontInfo(NotchTheme { true, ClockFont::system }.clock(40)).weight());
    EXPECT_EQ((NotchTheme { true, ClockFont::serif }.clock(40).weight()), QFont::Normal);
    EXPECT_EQ((NotchTheme { true, ClockFont::mono }.clock(40).weight()), QFont::Light);

    // The monospaced clock really is fixed pitch on a machine that has such a face, and the
    // serif one resolves to an installed family.
    const QFontMetricsF mono(font(ClockFont::mono, 30));
    EXPECT_EQ(mono.horizontalAdvance("1111"), mono.horizontalAdvance("WWWW"));
    EXPECT_FALSE(QFontInfo(font(ClockFont::serif, 30)).family().isEmpty());
    // No rounded face here falls back to a usable family rather than an empty one.
    EXPECT_FALSE(QFontInfo(font(ClockFont::rounded, 30)).family().isEmpty());
}

TEST(NotchTheme, InheritedDownTheWidgetTree)
{
    QWidget host;
    auto* middle = new QWidget(&host);
    auto* leaf = new QWidget(middle);
    EXPECT_EQ(notchTheme(leaf), NotchTheme::dark());

    setNotchTheme(&host, lightTheme);
    EXPECT_EQ(notchTheme(leaf), lightTheme);
    // A nearer host wins.
    const NotchTheme mono { true, ClockFont::mono };
    setNotchTheme(middle, mono);
    EXPECT_EQ(notchTheme(leaf), mono);
    EXPECT_EQ(notchTheme(&host), lightTheme);

    setNotchTheme(nullptr, mono); // nothing to set, nothing breaks
    EXPECT_EQ(notchTheme(nullptr), NotchTheme::dark());
}

namespace {
class PaintCounter : public QWidget {
public:
    using QWidget::QWidget;
    int paints = 0;
    NotchTheme seen;

protected:
    void paintEvent(QPaintEvent*) override
    {
        ++paints;
        seen = notchTheme(this);
    }
};
} // namespace

TEST(NotchTheme, ANewThemeRepaintsTheViewsInsideTheHostAndAnEqualOneDoesNot)
{
    QWidget host;
    host.resize(100, 40);
    auto* view = new PaintCounter(&host);
    view->setGeometry(10, 10, 50, 20);
    // A neighbour repainted on purpose: a window paints everything that is due in one pass, so
    // once the neighbour has painted, any repaint the view had coming has happened too.
    auto* marker = new PaintCounter(&host);
    marker->setGeometry(70, 10, 20, 20);
    const auto settled = [&] {
        const int before = marker->paints;
        marker->update();
        return test::waitUntil([&] { return marker->paints > before; });
    };
    setNotchTheme(&host, darkTheme);
    host.show();
    ASSERT_TRUE(test::waitUntil([&] { return view->paints > 0; }));
    ASSERT_TRUE(settled());
    view->paints = 0;

    setNotchTheme(&host, darkTheme);
    ASSERT_TRUE(settled());
    EXPECT_EQ(view->paints, 0);

    setNotchTheme(&host, lightTheme);
    ASSERT_TRUE(test::waitUntil([&] { return view->paints > 0; }));
    EXPECT_EQ(view->seen, lightTheme);
}
