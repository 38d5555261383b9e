#include "modules/clipboard/global_hot_key.h"

#include "platform/x11/key_positions.h"
#include "platform/x11/x11_input_bridge.h"
#include "support/private_servers.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <xcb/xcb.h>

using namespace nimbra;
using nimbra::test::PrivateX;
using nimbra::test::waitUntil;

namespace {

constexpr std::uint32_t superL = 0xffeb, shiftL = 0xffe1, controlL = 0xffe3, keyV = 0x76;

struct HotKeyOnX : ::testing::Test {
    HotKeyOnX()
        : input(x.display())
        , hotKey(&input)
    {
    }
    std::function<void()> counting()
    {
        return [this] { ++presses; };
    }

    PrivateX x;
    X11InputBridge input;
    GlobalHotKey hotKey;
    int presses = 0;
};

} // namespace

TEST(KeyPositions, VirtualKeyCodesNameKeysByTheirPlace)
{
    // Evdev codes + 8: V sits at 55, A at 38, the up arrow at 111.
    EXPECT_EQ(x11::keycodeAt(9), 55);
    EXPECT_EQ(x11::keycodeAt(0), 38);
    EXPECT_EQ(x11::keycodeAt(126), 111);
    EXPECT_EQ(x11::keycodeAt(49), 65);
    EXPECT_EQ(x11::keycodeAt(52), std::nullopt);
    EXPECT_EQ(x11::keycodeAt(4000), std::nullopt);
    EXPECT_EQ(GlobalHotKey::modifierMask(KeyCombo::cmd | KeyCombo::shift, 0x40, 0x08), 0x41);
    EXPECT_EQ(GlobalHotKey::modifierMask(KeyCombo::option | KeyCombo::control, 0x40, 0x08), 0x0c);
}

TEST_F(HotKeyOnX, SuperShiftVRunsTheActionOnceAndPlainCtrlShiftVStaysWithTheApplications)
{
    ASSERT_TRUE(x.isRunning());
    ASSERT_EQ(input.keysym(*x11::keycodeAt(9)), keyV) << "the server's V sits where the table says";
    ASSERT_TRUE(hotKey.bind(KeyCombo::defaultClipboard, counting()));
    EXPECT_EQ(hotKey.boundCombo(), KeyCombo::defaultClipboard);

    ASSERT_TRUE(x.tap({ superL, shiftL, keyV }));
    ASSERT_TRUE(waitUntil([&] { return presses == 1; }));
    // With Caps Lock on it still works.
    ASSERT_TRUE(x.run("xdotool", { "key", "Caps_Lock" }));
    ASSERT_TRUE(x.tap({ superL, shiftL, keyV }));
    ASSERT_TRUE(waitUntil([&] { return presses == 2; }));
    ASSERT_TRUE(x.run("xdotool", { "key", "Caps_Lock" }));

    // Ctrl+Shift+V (a terminal's paste) is nobody's business here: another client can take it.
    xcb_connection_t* other = xcb_connect(x.display().constData(), nullptr);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(other)).data->root;
    xcb_generic_error_t* error = xcb_request_check(other,
        xcb_grab_key_checked(other, 1, root, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_SHIFT, *x11::keycodeAt(9),
            XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    EXPECT_EQ(error, nullptr);
    free(error);
    xcb_disconnect(other);

    // A press after unbind does nothing: a later tap of another bound key proves it arrived.
    hotKey.unbind();
    EXPECT_FALSE(hotKey.isBound());
    ASSERT_TRUE(x.tap({ superL, shiftL, keyV }));
    GlobalHotKey witness(&input);
    int witnessed = 0;
    ASSERT_TRUE(witness.bind({ 9, KeyCombo::control | KeyCombo::option }, [&] { ++witnessed; }));
    ASSERT_TRUE(x.tap({ controlL, 0xffe9, keyV }));
    ASSERT_TRUE(waitUntil([&] { return witnessed == 1; }));
    EXPECT_EQ(presses, 2);
}

TEST_F(HotKeyOnX, ACombinationAnotherProgramHoldsIsRefusedAndNotBound)
{
    ASSERT_TRUE(x.isRunning());
    xcb_connection_t* other = xcb_connect(x.display().constData(), nullptr);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(other)).data->root;
    xcb_generic_error_t* error = xcb_request_check(other,
        xcb_grab_key_checked(other, 1, root, std::uint16_t(input.superMask() | XCB_MOD_MASK_SHIFT), *x11::keycodeAt(9),
            XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    ASSERT_EQ(error, nullptr);
    xcb_flush(other);

    ASSERT_TRUE(hotKey.bind({ 9, KeyCombo::option }, counting()));
    EXPECT_FALSE(hotKey.bind(KeyCombo::defaultClipboard, counting()));
    EXPECT_FALSE(hotKey.isBound()) << "the old binding is gone too";
    EXPECT_EQ(hotKey.boundCombo(), std::nullopt);
    // Not even one lock variant was kept: the other program's key still reaches it.
    EXPECT_FALSE(input.isGrabbed({ *x11::keycodeAt(9), std::uint16_t(input.superMask() | XCB_MOD_MASK_SHIFT) }));
    xcb_disconnect(other);

    // Once the other program is gone the same combination binds.
    EXPECT_TRUE(waitUntil([&] { return hotKey.bind(KeyCombo::defaultClipboard, counting()); }));
}

TEST_F(HotKeyOnX, UnusableCombinationsAreRefusedAndEachBindIsANewRegistration)
{
    ASSERT_TRUE(x.isRunning());
    EXPECT_FALSE(hotKey.bind({ 9, KeyCombo::shift }, counting()));
    EXPECT_FALSE(hotKey.bind({ 9, 0 }, counting()));
    EXPECT_TRUE(hotKey.bind({ 9, KeyCombo::option }, counting()));
    EXPECT_TRUE(hotKey.bind({ 9, KeyCombo::control }, counting()));
    ASSERT_TRUE(hotKey.bind({ 9, KeyCombo::cmd }, counting()));
    const std::uint32_t first = hotKey.registration();
    ASSERT_TRUE(hotKey.bind({ 9, KeyCombo::cmd }, counting()));
    EXPECT_GT(hotKey.registration(), first);
    // A key with no place in the table cannot be bound.
    EXPECT_FALSE(hotKey.bind({ 52, KeyCombo::cmd }, counting()));

    GlobalHotKey offline(nullptr);
    EXPECT_FALSE(offline.bind(KeyCombo::defaultClipboard, counting()));
}
