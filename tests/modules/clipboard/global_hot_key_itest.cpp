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

TEST_F(HotKeyOnX, VirtualKeyCodesNameTheKeysInTheirPlacesOnTheServer)
{
    ASSERT_TRUE(x.isRunning());
    // The US layout's letters, the arrows and the function keys sit where the table says.
    const std::pair<std::uint32_t, std::uint32_t> places[] = {
        { 0, 0x61 }, { 9, keyV }, { 49, 0x20 }, { 51, 0xff08 }, { 96, 0xffc2 }, { 126, 0xff52 }
    };
    for (const auto& [code, keysym] : places) {
        const std::optional<std::uint8_t> keycode = x11::keycodeAt(code);
        ASSERT_TRUE(keycode.has_value()) << code;
        EXPECT_EQ(input.keysym(*keycode), keysym) << code;
        EXPECT_EQ(x11::virtualKeyCodeAt(*keycode), code);
    }
    EXPECT_EQ(x11::keycodeAt(52), std::nullopt);
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

TEST_F(HotKeyOnX, ACombinationAnotherProgramHoldsIsRefusedAndTakenOnceItIsFree)
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
    EXPECT_TRUE(hotKey.wouldBeRefused(KeyCombo::defaultClipboard));
    EXPECT_FALSE(hotKey.wouldBeRefused({ 9, KeyCombo::option })) << "bound here";
    EXPECT_FALSE(hotKey.wouldBeRefused({ 9, KeyCombo::control }));
    EXPECT_FALSE(input.isGrabbed({ *x11::keycodeAt(9), XCB_MOD_MASK_CONTROL })) << "the trial let go";
    int changes = 0;
    QObject::connect(&hotKey, &GlobalHotKey::bindingChanged, [&] { ++changes; });
    EXPECT_FALSE(hotKey.bind(KeyCombo::defaultClipboard, counting()));
    EXPECT_FALSE(hotKey.isBound()) << "the old binding is gone too";
    EXPECT_TRUE(hotKey.isHeldElsewhere());
    EXPECT_EQ(hotKey.boundCombo(), std::nullopt);
    // Not even one lock variant was kept: the other program's key still reaches it.
    EXPECT_FALSE(input.isGrabbed({ *x11::keycodeAt(9), std::uint16_t(input.superMask() | XCB_MOD_MASK_SHIFT) }));
    EXPECT_FALSE(hotKey.retry());

    // Once the other program is gone a keyboard mapping change takes the combination.
    xcb_disconnect(other);
    const int before = changes;
    ASSERT_TRUE(waitUntil([&] {
        x.run("xmodmap", { "-e", "keycode 200 = F13" });
        return hotKey.isBound();
    }));
    EXPECT_FALSE(hotKey.isHeldElsewhere());
    EXPECT_EQ(hotKey.boundCombo(), KeyCombo::defaultClipboard);
    EXPECT_GT(changes, before);
    ASSERT_TRUE(x.tap({ superL, shiftL, keyV }));
    EXPECT_TRUE(waitUntil([&] { return presses == 1; }));
    // Unbound, nothing is wanted any more.
    hotKey.unbind();
    EXPECT_FALSE(hotKey.isHeldElsewhere());
    EXPECT_FALSE(hotKey.retry());
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
