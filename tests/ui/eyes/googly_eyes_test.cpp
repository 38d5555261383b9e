#include "ui/eyes/googly_eyes.h"

#include "support/test_support.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

using namespace nimbra;
using namespace nimbra::test;

namespace {

QImage paint(const GooglyEyes& eyes, QSizeF size, const QColor& background = Qt::gray)
{
    QImage image(size.toSize() * 4, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(4);
    image.fill(background);
    QPainter painter(&image);
    eyes.paint(painter, QPointF(size.width() / 2, size.height() / 2));
    return image;
}

QColor at(const QImage& image, QPointF point)
{
    return image.pixelColor((point * image.devicePixelRatio()).toPoint());
}

bool near(const QColor& a, const QColor& b, int tolerance = 12)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance
        && std::abs(a.blue() - b.blue()) <= tolerance;
}

GooglyEyes big()
{
    GooglyEyes eyes;
    eyes.diameter = 40;
    eyes.gap = 10;
    return eyes;
}

} // namespace

TEST(GooglyEyes, PupilsMoveUpAndRightForPositiveOffsets)
{
    GooglyEyes eyes = big();
    eyes.frame.leftPupil = QPointF(6, 4);
    const QImage image = paint(eyes, QSizeF(100, 50));
    // Left eye centred at (25, 25): the pupil sits right of and above the centre.
    const QColor pupil = QColor(0x11, 0x13, 0x18);
    EXPECT_TRUE(near(at(image, QPointF(31, 21)), pupil));
    EXPECT_TRUE(near(at(image, QPointF(25 - 6, 25 + 6)), Qt::white));
    // The right eye looks straight ahead.
    EXPECT_TRUE(near(at(image, QPointF(75, 25)), pupil));
}

TEST(GooglyEyes, LidsHangFromTheTopByTheirClosure)
{
    GooglyEyes eyes = big();
    eyes.frame.leftPupil = QPointF(0, -8); // out of the lid's way
    eyes.frame.lidLeft = 0.4;
    eyes.frame.lidRight = 0.005; // at the threshold: no lid
    const QImage image = paint(eyes, QSizeF(100, 50));
    EXPECT_TRUE(near(at(image, QPointF(25, 5 + 40 * 0.4 - 2)), Qt::black));
    EXPECT_TRUE(near(at(image, QPointF(25, 5 + 40 * 0.4 + 2)), Qt::white));
    EXPECT_TRUE(near(at(image, QPointF(75, 7)), Qt::white));
    // The lid is cut to the eye's circle: the corner of its square stays background.
    EXPECT_TRUE(near(at(image, QPointF(6.5, 6.5)), Qt::gray));
}

TEST(GooglyEyes, ShutTiredAndColouredEyes)
{
    GooglyEyes eyes = big();
    eyes.frame.lidLeft = 1;
    eyes.frame.tired = true;
    eyes.style.scleraHex = QStringLiteral("00FF00");
    const QImage image = paint(eyes, QSizeF(100, 50));
    EXPECT_TRUE(near(at(image, QPointF(25, 40)), Qt::black));
    // Tired eyes are pale pink whatever the style says.
    EXPECT_TRUE(near(at(image, QPointF(75, 12)), QColor::fromRgbF(1.0f, 0.82f, 0.80f)));
}

TEST(EyesItemLayout, SizesFollowTheClampedDiameter)
{
    EyeStyle style;
    const EyesItemLayout standard = EyesItemLayout::forStyle(style);
    EXPECT_NEAR(standard.gap, 3.672, 1e-9);
    EXPECT_NEAR(standard.width(), 43.672, 1e-9);
    EXPECT_NEAR(standard.travel(), 3.78, 1e-9);
    style.diameter = 5;
    EXPECT_EQ(EyesItemLayout::forStyle(style).diameter, 9);
    style.diameter = 30;
    EXPECT_EQ(EyesItemLayout::forStyle(style).diameter, 20);
    style.separation = 0;
    EXPECT_EQ(EyesItemLayout::forStyle(style).gap, 1);
    style.separation = 5;
    EXPECT_EQ(EyesItemLayout::forStyle(style).gap, 10);
}
