#include "platform/x11/screens.h"
#include "platform/x11/window_shape.h"

#include <QGuiApplication>
#include <QScreen>
#include <gtest/gtest.h>

using namespace nimbra;

TEST(ScreenLookupOnX, FindsTheRandrOutput)
{
    QScreen* screen = QGuiApplication::primaryScreen();
    const auto id = nimbraDisplayID(screen);
    ASSERT_TRUE(id.has_value());
    // Xvfb's output carries no EDID: the key falls back to the id.
    EXPECT_EQ(nimbraKey(screen)->rawValue, QStringLiteral("display-%1").arg(*id));
    EXPECT_EQ(nimbraBuiltIn(), nullptr) << "a virtual screen is no laptop panel";
    const NotchGeometry geometry = nimbraGeometry(screen);
    EXPECT_EQ(geometry.kind(), NotchGeometry::Kind::synthesized);
    EXPECT_EQ(geometry.anchorRect().width(), 120);
    EXPECT_TRUE(x11::hasCompositor()) << "the harness runs xcompmgr";
}
