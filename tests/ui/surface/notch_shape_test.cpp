#include "ui/surface/notch_shape.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

#include "support/test_support.h"

using nimbra::NotchShape;
using nimbra::OffsetShape;

namespace {

QImage fill(const QPainterPath& path, QSize size)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillPath(path, Qt::black);
    return image;
}

bool painted(const QImage& image, int x, int y) { return qAlpha(image.pixel(x, y)) > 200; }

} // namespace

TEST(NotchShape, PresetsAndInsetMatchTheLayoutDefaults)
{
    EXPECT_EQ(NotchShape::collapsed, (NotchShape { 6, 14 }));
    EXPECT_EQ(NotchShape::expanded, (NotchShape { 18, 26 }));
    EXPECT_EQ(NotchShape::outerInset(18), 36);
    NotchShape shape;
    shape.setAnimatableData({ 3, 4 });
    EXPECT_EQ(shape.animatableData(), std::make_pair(3.0, 4.0));
}

TEST(NotchShape, OutlineHangsFromTheTopWithFlaresAndRoundedBottom)
{
    const QRectF rect(0, 0, 236, 78);
    const QPainterPath path = NotchShape { 18, 26 }.path(rect);
    EXPECT_EQ(QPointF(path.elementAt(0)), QPointF(0, 0));
    EXPECT_EQ(QPointF(path.elementAt(3)), QPointF(18, 18));
    EXPECT_EQ(path.boundingRect(), rect);

    const QImage image = fill(path, QSize(236, 78));
    nimbra::test::saveArtefact(image, "notch_shape_expanded");
    // The flare hugs the top edge, thin at the outer corner and widening towards the body.
    EXPECT_TRUE(painted(image, 12, 1));
    EXPECT_FALSE(painted(image, 12, 10));
    EXPECT_FALSE(painted(image, 1, 16));
    EXPECT_TRUE(painted(image, 223, 1));
    EXPECT_FALSE(painted(image, 223, 10));
    // The body between the flares is solid down to the bottom edge in the middle.
    EXPECT_TRUE(painted(image, 118, 77));
    EXPECT_TRUE(painted(image, 19, 40));
    // The bottom corners are rounded away.
    EXPECT_FALSE(painted(image, 19, 77));
    EXPECT_FALSE(painted(image, 216, 77));
}

TEST(NotchShape, NarrowRectangleDegeneratesToTwoFlares)
{
    // Narrower than two top radii: t is half the width, the body vanishes, b is 0.
    const QPainterPath path = NotchShape { 18, 26 }.path(QRectF(0, 0, 20, 50));
    EXPECT_EQ(QPointF(path.elementAt(3)), QPointF(10, 10));
    const QImage image = fill(path, QSize(20, 50));
    EXPECT_TRUE(painted(image, 8, 1));
    EXPECT_TRUE(painted(image, 11, 1));
    EXPECT_FALSE(painted(image, 9, 30));
    EXPECT_FALSE(painted(image, 1, 8));
}

TEST(NotchShape, LowRectangleEndsTheFlaresAtTheBottom)
{
    const QPainterPath path = NotchShape { 18, 26 }.path(QRectF(0, 0, 200, 10));
    EXPECT_EQ(path.boundingRect(), QRectF(0, 0, 200, 10));
    // t = 10: the flares end on the bottom edge, b = min(26, 5, 90) = 5.
    EXPECT_EQ(QPointF(path.elementAt(3)), QPointF(10, 10));
}

TEST(NotchShape, WithoutFlaresItIsABottomRoundedRectangle)
{
    const QPainterPath path = NotchShape { 0, 14 }.path(QRectF(10, 5, 100, 40));
    const QImage image = fill(path, QSize(120, 50));
    EXPECT_TRUE(painted(image, 10, 5));
    EXPECT_TRUE(painted(image, 109, 5));
    EXPECT_FALSE(painted(image, 10, 44));
    EXPECT_TRUE(painted(image, 60, 44));
    // Square bottom corners with a bottom radius of 0.
    const QImage square = fill(NotchShape { 0, 0 }.path(QRectF(10, 5, 100, 40)), QSize(120, 50));
    EXPECT_TRUE(painted(square, 10, 44));
    EXPECT_TRUE(painted(square, 109, 44));
}

TEST(NotchShape, BadRectanglesAndRadiiGiveAWellFormedPath)
{
    EXPECT_TRUE((NotchShape { 6, 14 }.path(QRectF(0, 0, 0, 20)).isEmpty()));
    EXPECT_TRUE((NotchShape { 6, 14 }.path(QRectF(0, 0, NAN, 20)).isEmpty()));
    const QPainterPath path = NotchShape { -5, NAN }.path(QRectF(0, 0, 50, 20));
    EXPECT_EQ(path.boundingRect(), QRectF(0, 0, 50, 20));
}

TEST(OffsetShape, NegativeOffsetDrawsTheBaseWiderThanTheFrame)
{
    const OffsetShape clip { NotchShape { 18, 26 }, -18 };
    EXPECT_EQ(clip.path(QRectF(18, 0, 200, 78)), (NotchShape { 18, 26 }.path(QRectF(0, 0, 236, 78))));
}
