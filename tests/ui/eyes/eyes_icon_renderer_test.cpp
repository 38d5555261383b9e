#include "ui/eyes/eyes_icon_renderer.h"

#include "support/test_support.h"

#include <QPainter>
#include <cmath>
#include <gtest/gtest.h>
#include <numbers>

using namespace nimbra;

namespace {

// The icon drawn afresh, every part straight onto one image.
QImage fresh(const EyeStyle& style, const EyesFrame& frame, int side, qreal pixelRatio)
{
    const int device = std::max(1, int(std::lround(side * pixelRatio)));
    QImage image(device, device, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(pixelRatio);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    EyesItemLayout::forStyle(style).fitted(side).eyes(style, frame).paint(painter, QPointF(side / 2.0, side / 2.0));
    return image;
}

// How many pixels differ, and the first that does.
std::string difference(const QImage& a, const QImage& b)
{
    if (a.size() != b.size() || a.format() != b.format())
        return "different sizes or formats";
    int count = 0;
    QString first;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (a.pixel(x, y) != b.pixel(x, y) && count++ == 0)
                first = QString::asprintf("(%d, %d): %08x, fresh %08x", x, y, a.pixel(x, y), b.pixel(x, y));
        }
    }
    return std::to_string(count) + " pixels differ, first at " + first.toStdString();
}

EyesFrame looking(double angle, double distance, double lid = 0, bool tired = false)
{
    // Quarter-pixel steps, as the tray item gives them, and odd ones in between.
    const QPointF offset(distance * std::cos(angle), distance * std::sin(angle));
    return { offset, offset * 0.93, lid, lid, tired };
}

} // namespace

TEST(EyesIconRenderer, EveryFrameHasThePixelsOfAFreshDrawing)
{
    EyeStyle light;
    EyeStyle dark;
    dark.scleraHex = QStringLiteral("2A2C33");
    dark.pupilHex = QStringLiteral("F2F2F2");
    // Eyes that nearly touch: at some sizes the two circles share a column of pixels.
    dark.diameter = 20;
    dark.separation = 0;
    // One renderer for everything: sizes, styles and states follow each other as in use.
    EyeStyle small;
    small.diameter = 9;
    small.separation = 1;
    EyeStyle wide;
    wide.diameter = 14;
    wide.separation = 0.7;
    EyesIconRenderer renderer;
    int frames = 0, fromTiles = 0, drawnWhole = 0;
    for (const EyeStyle* style : { &light, &dark, &small, &wide }) {
        for (const qreal ratio : { 1.0, 2.0, 1.25, 1.5 }) {
            for (int side = 16; side <= 33; ++side) {
                const double travel = EyesItemLayout::forStyle(*style).fitted(side).travel();
                std::vector<EyesFrame> sequence;
                for (int step = 0; step < 24; ++step)
                    sequence.push_back(looking(step * std::numbers::pi / 12, travel * (step % 3 == 0 ? 1 : 0.6)));
                // The same places again, as a circling pointer brings them back.
                for (int step = 0; step < 24; step += 5)
                    sequence.push_back(looking(step * std::numbers::pi / 12, travel * (step % 3 == 0 ? 1 : 0.6)));
                // Blinking, winking, drowsy, asleep, tired, and awake again.
                sequence.push_back({ {}, {}, 0.6, 0.6, false });
                sequence.push_back({ QPointF(-travel, 0), QPointF(-travel, 0), 1, 0, false });
                sequence.push_back(looking(-std::numbers::pi / 2, travel * 0.6, 0.55));
                sequence.push_back(looking(-std::numbers::pi / 2, travel * 0.4, 0.55));
                sequence.push_back({ {}, {}, 1, 1, false });
                sequence.push_back(looking(0.3, travel * 0.5, 0.32, true));
                sequence.push_back(looking(2.3, travel, 0.32, true));
                sequence.push_back(looking(1, travel));
                for (const EyesFrame& frame : sequence) {
                    const int drawnBefore = renderer.eyesDrawn();
                    const QImage icon = renderer.render(*style, frame, side, ratio);
                    const QImage expected = fresh(*style, frame, side, ratio);
                    ASSERT_EQ(icon, expected) << difference(icon, expected) << " at " << side << " px × " << ratio
                                              << ", pupil " << frame.leftPupil.x() << ", " << frame.leftPupil.y()
                                              << ", lids " << frame.lidLeft << "/" << frame.lidRight;
                    ASSERT_EQ(icon.devicePixelRatio(), ratio);
                    ++frames;
                    fromTiles += renderer.eyesDrawn() == drawnBefore;
                }
                // A repeated frame draws nothing unless the eyes share pixels.
                const int drawnBefore = renderer.eyesDrawn();
                renderer.render(*style, sequence.back(), side, ratio);
                drawnWhole += renderer.eyesDrawn() > drawnBefore;
            }
        }
    }
    EXPECT_GT(frames, 9000);
    // Both ways were taken: tiles where the eyes lie apart, whole drawings where they touch.
    EXPECT_GT(fromTiles, 500);
    EXPECT_GT(drawnWhole, 0);
    EXPECT_LT(drawnWhole, 4 * 4 * 18);
}

TEST(EyesIconRenderer, TilesServeRepeatedPlacesUntilTheLookChanges)
{
    EyesIconRenderer renderer;
    const EyeStyle style;
    const EyesFrame a = looking(0, 1);
    const EyesFrame b = looking(0.4, 1.5);
    const QImage first = renderer.render(style, a, 22, 1);
    EXPECT_EQ(renderer.eyesDrawn(), 2);
    renderer.render(style, b, 22, 1);
    EXPECT_EQ(renderer.eyesDrawn(), 4);
    // Back to a place drawn before: copied, not drawn; the icon handed out first kept its pixels.
    EXPECT_EQ(renderer.render(style, a, 22, 1), fresh(style, a, 22, 1));
    EXPECT_EQ(renderer.eyesDrawn(), 4);
    EXPECT_EQ(first, fresh(style, a, 22, 1));
    // Only the eye that moved is drawn.
    const EyesFrame leftMoved { a.leftPupil + QPointF(0.25, 0), a.rightPupil, 0, 0, false };
    EXPECT_EQ(renderer.render(style, leftMoved, 22, 1), fresh(style, leftMoved, 22, 1));
    EXPECT_EQ(renderer.eyesDrawn(), 5);

    // A lid, tiredness, size, pixel ratio or style each draws the eyes anew, with their pixels.
    int expected = 5;
    const auto drawsAnew = [&](const EyeStyle& s, const EyesFrame& frame, int side, qreal ratio) {
        EXPECT_EQ(renderer.render(s, frame, side, ratio), fresh(s, frame, side, ratio));
        EXPECT_EQ(renderer.eyesDrawn(), expected += 2);
    };
    drawsAnew(style, looking(0, 1, 0.3), 22, 1);
    drawsAnew(style, looking(0, 1, 0.3, true), 22, 1);
    drawsAnew(style, looking(0, 1, 0.3, true), 24, 1);
    drawsAnew(style, looking(0, 1, 0.3, true), 24, 2);
    EyeStyle blue = style;
    blue.scleraHex = QStringLiteral("80C0FF");
    drawsAnew(blue, looking(0, 1, 0.3, true), 24, 2);
    // Back to the first look: its tiles were let go.
    drawsAnew(style, a, 22, 1);
}
