#include "modules/eyes/eyes_status_item.h"

#include "support/test_support.h"
#include "ui/tray/tray_item.h"

#include <QPainter>
#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace nimbra;
using namespace nimbra::test;

namespace {

struct State {
    const char* name;
    EyesFrame frame;
};

// Pupil offsets are given for the 22 px icon and scaled with it.
std::vector<State> states(double travel)
{
    return {
        { "awake", { QPointF(travel, travel * 0.3), QPointF(travel, travel * 0.3), 0, 0, false } },
        { "blinking", { QPointF(), QPointF(), 0.6, 0.6, false } },
        { "winking", { QPointF(-travel, 0), QPointF(-travel, 0), 1, 0, false } },
        { "drowsy", { QPointF(0, -travel * 0.6), QPointF(0, -travel * 0.6), 0.55, 0.55, false } },
        { "asleep", { QPointF(), QPointF(), 1, 1, false } },
        { "tired", { QPointF(travel * 0.5, 0), QPointF(travel * 0.5, 0), 0.32, 0.32, true } },
    };
}

QColor sample(const QImage& icon, QPointF point)
{
    return icon.pixelColor((point * icon.devicePixelRatio()).toPoint());
}

} // namespace

TEST(EyesStatusItemIcon, EveryStateReadsAtEveryTraySize)
{
    const EyeStyle style;
    const QColor panels[] = { QColor(0x24, 0x24, 0x24), QColor(0xEC, 0xEC, 0xEC) };
    const int sides[] = { 16, 22, 24, 32 };
    QImage sheet(6 * 40 + 8, 2 * 4 * 40, QImage::Format_ARGB32_Premultiplied);
    sheet.fill(Qt::transparent);
    QPainter sheetPainter(&sheet);
    for (int theme = 0; theme < 2; ++theme) {
        for (int row = 0; row < 4; ++row) {
            const int side = sides[row];
            const EyesItemLayout layout = EyesItemLayout::forStyle(style).fitted(side);
            const auto [left, right] = layout.centres(QRectF(0, 0, side, side));
            const std::vector<State> all = states(layout.travel());
            for (int column = 0; column < int(all.size()); ++column) {
                const State& state = all[column];
                const QImage icon = EyesStatusItem::render(style, state.frame, side, 2);
                ASSERT_EQ(icon.size(), QSize(2 * side, 2 * side));
                const QRectF cell(4 + column * 40, (theme * 4 + row) * 40, 40, 40);
                sheetPainter.fillRect(cell, panels[theme]);
                sheetPainter.drawImage(QRectF(cell.center() - QPointF(side, side) / 2, QSizeF(side, side)), icon);
                SCOPED_TRACE(std::string(state.name) + " at " + std::to_string(side));
                // The lower part of an open eye beside its pupil is white; a shut eye is black there.
                const QPointF lowerLeft = left + QPointF(0, layout.diameter * 0.32);
                const QColor below = sample(icon, lowerLeft);
                if (std::string(state.name) == "asleep" || std::string(state.name) == "winking") {
                    EXPECT_LT(below.lightness(), 40);
                } else if (std::string(state.name) != "drowsy") {
                    EXPECT_GT(below.lightness(), 200);
                }
                // Shut or open, the right eye of a wink and the corners stay as they should.
                if (std::string(state.name) == "winking") {
                    EXPECT_GT(
                        sample(icon, right + QPointF(layout.diameter * 0.3, layout.diameter * 0.1)).lightness(), 200);
                }
                EXPECT_EQ(sample(icon, QPointF(0.5, 0.5)).alpha(), 0);
            }
        }
    }
    sheetPainter.end();
    saveArtefact(sheet, "eyes-tray-sizes");
}

TEST(EyesStatusItemIcon, TiredEyesArePinkAndAwakeOnesFollowTheStyle)
{
    EyeStyle style;
    style.scleraHex = QStringLiteral("80C0FF");
    const EyesItemLayout layout = EyesItemLayout::forStyle(style).fitted(32);
    const QPointF lower = layout.centres(QRectF(0, 0, 32, 32)).first + QPointF(0, layout.diameter * 0.32);
    const QImage awake = EyesStatusItem::render(style, EyesFrame {}, 32, 2);
    EXPECT_EQ(sample(awake, lower).name(), QColor(0x80, 0xC0, 0xFF).name());
    EyesFrame tired;
    tired.tired = true;
    const QImage pink = EyesStatusItem::render(style, tired, 32, 2);
    const QColor c = sample(pink, lower);
    EXPECT_GT(c.red(), 240);
    EXPECT_LT(std::abs(c.green() - 209), 6);
}

TEST(EyesStatusItem, ShowTwiceCreatesOneItemWithTheLastStyle)
{
    EyesStatusItem item;
    EyeStyle first, second;
    second.diameter = 12;
    item.show(first);
    item.show(second);
    EXPECT_FALSE(item.isVisible());
    EXPECT_FALSE(item.eyeCentres());
    ASSERT_TRUE(waitUntil([&] { return item.isVisible(); }));
    EXPECT_EQ(item.style(), second);
    EXPECT_TRUE(item.eyeCentres());
    EXPECT_EQ(item.redraws(), 1);
    // The centres lie within the icon's square, the right one right of the left one.
    const auto centres = *item.eyeCentres();
    EXPECT_GT(centres.right.x(), centres.left.x());
    EXPECT_EQ(centres.right.y(), centres.left.y());
    EXPECT_LT(centres.right.x() - centres.left.x(), EyesStatusItem::defaultSide);
    item.hide();
    EXPECT_FALSE(item.isVisible());
    EXPECT_FALSE(item.eyeCentres());
}

TEST(EyesStatusItem, AFrameThatComesALittleEarlyIsDrawnAtOnce)
{
    double now = 100;
    EyesStatusItem item(nullptr, [&] { return now; });
    item.show(EyeStyle {});
    ASSERT_TRUE(waitUntil([&] { return item.isVisible(); }));
    const int created = item.redraws();
    ASSERT_EQ(item.lastRedrawAt(), 100);
    // Frames at the redraw rate come from timers that fire a little early or late: one early
    // by less than the allowance is drawn on its own wake-up, not held back for another.
    now += EyesStatusItem::fastestRedraw - EyesStatusItem::earlyRedraw / 2;
    item.update(QPointF(2, 0), QPointF(2, 0), 0, 0, false);
    EXPECT_EQ(item.redraws(), created + 1);
    EXPECT_EQ(item.lastRedrawAt(), now);
    // Earlier than that, it waits for the rest of the interval (or the next frame).
    now += EyesStatusItem::fastestRedraw - 2 * EyesStatusItem::earlyRedraw;
    item.update(QPointF(-2, 0), QPointF(-2, 0), 0, 0, false);
    EXPECT_EQ(item.redraws(), created + 1);
    ASSERT_TRUE(waitUntil([&] { return item.redraws() == created + 2; }));
}

TEST(EyesStatusItem, FramesAreDrawnAtMostThirtyTimesASecondAndNotRepeated)
{
    // The item's clock stands still unless the test moves it: how loaded the machine is cannot
    // decide whether a frame came "soon" after the last one.
    double now = 100;
    EyesStatusItem item(nullptr, [&] { return now; });
    item.show(EyeStyle {});
    ASSERT_TRUE(waitUntil([&] { return item.isVisible(); }));
    const int created = item.redraws();
    // A burst of frames right after the item was drawn: none is drawn at once, the last one
    // follows once 1/30 s has passed, and the ones between are dropped.
    now += 0.01;
    for (int i = 1; i <= 5; ++i)
        item.update(QPointF(i * 0.5, 0), QPointF(i * 0.5, 0), 0, 0, false);
    EXPECT_EQ(item.redraws(), created);
    ASSERT_TRUE(waitUntil([&] { return item.redraws() == created + 1; }));
    const QImage burst = item.lastIcon();
    EXPECT_EQ(burst,
        EyesStatusItem::render(EyeStyle {}, item.frame(), EyesStatusItem::defaultSide, burst.devicePixelRatio()));
    // The same frame again draws nothing; a later, different frame is drawn as the next one.
    item.update(QPointF(2.5, 0), QPointF(2.5, 0), 0, 0, false);
    item.update({}, {}, 0.5, 0.5, false);
    ASSERT_TRUE(waitUntil([&] { return item.redraws() == created + 2; }));
    EXPECT_EQ(item.frame(), (EyesFrame { {}, {}, 0.5, 0.5, false }));
    // A frame more than 1/30 s after the last icon is drawn at once.
    now += 0.05;
    item.update(QPointF(1, 0), QPointF(1, 0), 0, 0, false);
    EXPECT_EQ(item.redraws(), created + 3);
}
