#include "core/rect_math.h"
#include "platform/screen_space.h"

#include <QGuiApplication>
#include <QScreen>
#include <gtest/gtest.h>

using namespace nimbra;

namespace {
const QRectF primary(0, 0, 1512, 982);
}

TEST(ScreenSpace, TopLeftOfPrimaryIsItsTopEdgeInTheModel)
{
    EXPECT_EQ(screen_space::toModel(QPointF(0, 0), primary), QPointF(0, 982));
    EXPECT_EQ(screen_space::toModel(QPointF(10, 982), primary), QPointF(10, 0));
}

TEST(ScreenSpace, ARectHangingFromTheTopKeepsItsSizeAndFlips)
{
    // A 200x32 strip at the top centre of the screen, as a notch would be.
    const QRectF qtRect(656, 0, 200, 32);
    const QRectF model = screen_space::toModel(qtRect, primary);
    EXPECT_EQ(model.size(), qtRect.size());
    EXPECT_DOUBLE_EQ(maxY(model), 982);
    EXPECT_DOUBLE_EQ(minY(model), 950);
    EXPECT_EQ(screen_space::toQt(model, primary), qtRect);
}

TEST(ScreenSpace, SecondScreenAboveAndLeftOfThePrimaryRoundTrips)
{
    // A primary that does not sit at the desktop origin: the model origin follows it.
    const QRectF offsetPrimary(1920, 300, 1512, 982);
    const QRectF other(0, 0, 1920, 1080);
    const QRectF model = screen_space::toModel(other, offsetPrimary);
    EXPECT_DOUBLE_EQ(minX(model), -1920);
    EXPECT_DOUBLE_EQ(maxY(model), 1282); // 300 px higher than the primary's top edge
    EXPECT_EQ(screen_space::toQt(model, offsetPrimary), other);
    const QPointF p(123.5, 456.25);
    EXPECT_EQ(screen_space::toQt(screen_space::toModel(p, offsetPrimary), offsetPrimary), p);
}

TEST(ScreenSpace, UsesTheApplicationsPrimaryScreen)
{
    const QRectF geometry = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(screen_space::toModel(geometry.topLeft()), QPointF(0, geometry.height()));
}
