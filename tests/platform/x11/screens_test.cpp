#include "platform/x11/screens.h"

#include <QGuiApplication>
#include <QScreen>
#include <cstring>
#include <gtest/gtest.h>

using namespace nimbra;
using namespace nimbra::screen_lookup;

namespace {

// A minimal EDID block: header, manufacturer "DEL", product 0xa0b1, the given serial.
QByteArray edid(std::uint32_t serial, const QByteArray& serialText = {})
{
    QByteArray block(128, '\0');
    const unsigned char header[] = { 0x00, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x00 };
    std::memcpy(block.data(), header, 8);
    const std::uint16_t maker = (4 << 10) | (5 << 5) | 12; // D E L
    block[8] = char(maker >> 8);
    block[9] = char(maker & 0xff);
    block[10] = char(0xb1);
    block[11] = char(0xa0);
    for (int i = 0; i < 4; ++i)
        block[12 + i] = char((serial >> (8 * i)) & 0xff);
    if (!serialText.isEmpty()) {
        block[54 + 3] = char(0xff);
        const QByteArray text = (serialText + '\n').leftJustified(13, ' ');
        std::memcpy(block.data() + 54 + 5, text.constData(), 13);
    }
    return block;
}

} // namespace

TEST(ScreenLookup, BuiltInPanelsByConnectorOrName)
{
    EXPECT_TRUE(isBuiltInOutput(u"Panel", u"HDMI-1"));
    EXPECT_TRUE(isBuiltInOutput(u"", u"eDP-1"));
    EXPECT_TRUE(isBuiltInOutput(u"", u"LVDS1"));
    EXPECT_TRUE(isBuiltInOutput(u"", u"DSI-1"));
    EXPECT_FALSE(isBuiltInOutput(u"HDMI", u"HDMI-1"));
    EXPECT_FALSE(isBuiltInOutput(u"DisplayPort", u"DP-2"));
    EXPECT_FALSE(isBuiltInOutput(u"", u"screen"));
}

TEST(ScreenLookup, TheMainDisplayIsThePanelElseThePrimaryElseTheFirstOutput)
{
    const ScreenFacts panel { true, false, 2 };
    const ScreenFacts primary { false, true, 1 };
    const ScreenFacts first { false, false, 0 };
    const ScreenFacts monitorOnly { false, false, std::nullopt };
    // A laptop panel keeps the notch whichever monitor is primary.
    EXPECT_EQ(mainDisplayIndex({ primary, first, panel }), 2);
    EXPECT_EQ(mainDisplayIndex({ first, primary }), 1);
    // No primary: the screen whose output RandR lists first, not the first in Qt's order.
    EXPECT_EQ(mainDisplayIndex({ monitorOnly, ScreenFacts { false, false, 3 }, first }), 2);
    EXPECT_EQ(mainDisplayIndex({ monitorOnly, monitorOnly }), 0);
    EXPECT_EQ(mainDisplayIndex({}), std::nullopt);
}

TEST(ScreenLookup, EdidIdentity)
{
    EXPECT_EQ(edidIdentity(edid(0x1234abcd)), QStringLiteral("DEL-a0b1-1234abcd"));
    EXPECT_EQ(edidIdentity(edid(0, "CN0XY12")), QStringLiteral("DEL-a0b1-CN0XY12"));
    // Identical monitors without a serial number are told apart by their connector.
    EXPECT_EQ(edidIdentity(edid(0), u"DP-1"), QStringLiteral("DEL-a0b1@DP-1"));
    EXPECT_TRUE(edidIdentity(edid(1).left(100)).isEmpty());
    QByteArray broken = edid(1);
    broken[1] = 0;
    EXPECT_TRUE(edidIdentity(broken).isEmpty());
    EXPECT_TRUE(edidIdentity({}).isEmpty());
}

TEST(ScreenLookup, OffscreenScreensAreNumberedInOrder)
{
    QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(nimbraDisplayID(screen), 1u);
    EXPECT_EQ(nimbraKey(screen)->rawValue, QStringLiteral("display-1"));
    EXPECT_EQ(nimbraDisplayID(nullptr), std::nullopt);
    EXPECT_EQ(nimbraBuiltIn(), nullptr);
    EXPECT_EQ(nimbraMainDisplay(), nullptr) << "no X server, no display of the machine's own";
    const NotchGeometry geometry = nimbraGeometry(screen);
    EXPECT_EQ(geometry.kind(), NotchGeometry::Kind::synthesized);
    EXPECT_EQ(geometry.metrics().frame.size(), QSizeF(screen->geometry().size()));
}
