#include "platform/x11/accessibility.h"
#include "platform/x11/key_grabber.h"
#include "platform/x11/x11_input_bridge.h"

#include "support/private_servers.h"
#include "support/test_support.h"

#include <QSignalSpy>
#include <cstdlib>
#include <gtest/gtest.h>
#include <optional>
#include <poll.h>
#include <utility>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

using namespace nimbra;
using nimbra::test::PrivateX;
using nimbra::test::waitUntil;

namespace {

constexpr std::uint32_t kShiftL = 0xffe1;
constexpr std::uint32_t kAltL = 0xffe9;

struct Press {
    MediaKey key;
    bool fine;
    bool operator==(const Press&) const = default;
};

// Another X client that owns a key grab, like a desktop's media-key daemon.
class OtherClient {
public:
    explicit OtherClient(const QByteArray& display)
        : m_connection(xcb_connect(display.constData(), nullptr))
    {
    }
    ~OtherClient()
    {
        if (m_connection)
            xcb_disconnect(m_connection);
    }
    xcb_connection_t* release() { return std::exchange(m_connection, nullptr); }
    bool grab(std::uint32_t sym) { return nimbra::test::grabKey(m_connection, sym); }
    // Waits for the next key press this client receives; its key code, or 0 when none came.
    xcb_keycode_t nextPress()
    {
        xcb_keycode_t code = 0;
        waitUntil([&] {
            while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
                if ((event->response_type & 0x7f) == XCB_KEY_PRESS && !code)
                    code = reinterpret_cast<xcb_key_press_event_t*>(event)->detail;
                free(event);
            }
            return code != 0;
        });
        return code;
    }
    xcb_connection_t* connection() const { return m_connection; }

private:
    xcb_connection_t* m_connection;
};

// A key grabber on a bridge of its own, recording every press.
struct Grabbing {
    X11InputBridge input;
    KeyGrabber grabber;
    std::vector<Press> presses;
    explicit Grabbing(const QByteArray& display)
        : input(display)
        , grabber(input)
    {
        grabber.onPress = [this](MediaKey key, bool fine) { presses.push_back({ key, fine }); };
    }
};

} // namespace

TEST(KeyGrabber, GrabbedKeysArriveWithTheFineModifiersAndReleasesAreSwallowed)
{
    PrivateX x;
    ASSERT_TRUE(x.isRunning());
    Grabbing g(x.display());
    ASSERT_TRUE(g.input.isConnected());
    const std::set all { MediaKey::raiseVolume, MediaKey::lowerVolume, MediaKey::mute };
    EXPECT_EQ(g.grabber.grab(all), all);
    EXPECT_EQ(g.grabber.grabbedKeys(), all);
    EXPECT_TRUE(g.grabber.refusedKeys().empty());

    ASSERT_TRUE(x.tap({ keysym(MediaKey::raiseVolume) }));
    ASSERT_TRUE(x.tap({ kShiftL, kAltL, keysym(MediaKey::lowerVolume) }));
    ASSERT_TRUE(x.tap({ kShiftL, keysym(MediaKey::raiseVolume) }));
    ASSERT_TRUE(x.tap({ kAltL, keysym(MediaKey::mute) }));
    // Caps Lock on does not let the key slip past.
    ASSERT_TRUE(x.run("xdotool", { "key", "Caps_Lock" }));
    ASSERT_TRUE(x.tap({ keysym(MediaKey::lowerVolume) }));
    ASSERT_TRUE(waitUntil([&] { return g.presses.size() >= 5; }));
    // Events arrive in order: had a release been reported, it would sit before the last press.
    const std::vector<Press> expected { { MediaKey::raiseVolume, false }, { MediaKey::lowerVolume, true },
        { MediaKey::raiseVolume, false }, { MediaKey::mute, false }, { MediaKey::lowerVolume, false } };
    EXPECT_EQ(g.presses, expected) << "one press per key down, releases swallowed";

    // A released key reaches nobody here any more: the press of a key still held comes next.
    g.grabber.grab({ MediaKey::mute });
    EXPECT_EQ(g.grabber.grabbedKeys(), std::set { MediaKey::mute });
    ASSERT_TRUE(x.tap({ keysym(MediaKey::raiseVolume) }));
    ASSERT_TRUE(x.tap({ keysym(MediaKey::mute) }));
    ASSERT_TRUE(waitUntil([&] { return g.presses.size() >= 6; }));
    EXPECT_EQ(g.presses.back(), (Press { MediaKey::mute, false }));
    EXPECT_EQ(g.presses.size(), 6u);
    OtherClient later(x.display());
    EXPECT_TRUE(later.grab(keysym(MediaKey::raiseVolume))) << "a released key is free for others";
}

TEST(KeyGrabber, AKeyHeldByAnotherProgramStaysWithItAndTheOthersAreTaken)
{
    PrivateX x;
    ASSERT_TRUE(x.isRunning());
    std::optional<OtherClient> desktop;
    desktop.emplace(x.display());
    ASSERT_TRUE(desktop->grab(keysym(MediaKey::raiseVolume)));

    Grabbing g(x.display());
    const std::set<MediaKey> taken = g.grabber.grab({ MediaKey::raiseVolume, MediaKey::lowerVolume, MediaKey::mute });
    EXPECT_EQ(taken, (std::set { MediaKey::lowerVolume, MediaKey::mute }));
    EXPECT_EQ(g.grabber.refusedKeys(), std::set { MediaKey::raiseVolume });
    // Not even the Shift or Alt combinations of the refused key are kept: a third program can
    // take them.
    OtherClient third(x.display());
    xcb_keycode_t* codes = nullptr;
    {
        xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(third.connection());
        codes = xcb_key_symbols_get_keycode(symbols, keysym(MediaKey::raiseVolume));
        xcb_key_symbols_free(symbols);
    }
    ASSERT_TRUE(codes);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(third.connection())).data->root;
    xcb_generic_error_t* error = xcb_request_check(third.connection(),
        xcb_grab_key_checked(
            third.connection(), 1, root, XCB_MOD_MASK_SHIFT, codes[0], XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    EXPECT_EQ(error, nullptr) << "Shift+volume-up was kept though the key belongs to another program";
    free(error);
    free(codes);

    xcb_disconnect(third.release());

    // Volume up goes to the program that holds it, volume down to us.
    ASSERT_TRUE(x.tap({ keysym(MediaKey::raiseVolume) }));
    ASSERT_TRUE(x.tap({ keysym(MediaKey::lowerVolume) }));
    EXPECT_NE(desktop->nextPress(), 0);
    ASSERT_TRUE(waitUntil([&] { return !g.presses.empty(); }));
    EXPECT_EQ(g.presses, (std::vector<Press> { { MediaKey::lowerVolume, false } }));

    // Asking again after the other program let go takes the key.
    desktop.reset();
    EXPECT_TRUE(waitUntil([&] {
        return g.grabber.grab({ MediaKey::raiseVolume, MediaKey::lowerVolume, MediaKey::mute }).size() == 3;
    }));
    EXPECT_TRUE(g.grabber.refusedKeys().empty());
}

TEST(KeyGrabber, KeysWithoutAKeyCodeAreSkippedAndRemappedKeysFollowedWithoutDroppingOthers)
{
    PrivateX x;
    ASSERT_TRUE(x.isRunning());
    // Give brightness-up a key code of its own, away from wherever the default map put it.
    ASSERT_TRUE(
        x.run("xmodmap", { "-e", "keysym XF86MonBrightnessUp = NoSymbol", "-e", "keycode 200 = XF86MonBrightnessUp" }));
    Grabbing g(x.display());
    EXPECT_EQ(g.grabber.grab({ MediaKey::brightnessUp, MediaKey::mute }),
        (std::set { MediaKey::brightnessUp, MediaKey::mute }));
    ASSERT_TRUE(x.tap({ keysym(MediaKey::brightnessUp) }));
    ASSERT_TRUE(waitUntil([&] { return g.presses.size() == 1; }));

    // The key moves to another code while grabbed: the grab moves with it, and mute, whose
    // code did not move, stays ours throughout (another program asking meanwhile is refused).
    ASSERT_TRUE(x.run("xmodmap", { "-e", "keycode 200 = NoSymbol", "-e", "keycode 201 = XF86MonBrightnessUp" }));
    ASSERT_TRUE(waitUntil([&] {
        return g.input.keycodes(keysym(MediaKey::brightnessUp)) == std::vector<std::uint8_t> { 201 }
        && g.input.isGrabbed({ 201, 0 });
    }));
    OtherClient other(x.display());
    EXPECT_FALSE(other.grab(keysym(MediaKey::mute)));
    ASSERT_TRUE(x.tap({ keysym(MediaKey::brightnessUp) }));
    ASSERT_TRUE(x.tap({ keysym(MediaKey::mute) }));
    ASSERT_TRUE(waitUntil([&] { return g.presses.size() == 3; }));
    EXPECT_EQ(g.presses[1], (Press { MediaKey::brightnessUp, false }));
    EXPECT_EQ(g.presses[2], (Press { MediaKey::mute, false }));

    // A key nothing maps is skipped, and that is no failure.
    ASSERT_TRUE(x.run("xmodmap", { "-e", "keycode 238 = NoSymbol" }));
    Grabbing fresh(x.display());
    EXPECT_EQ(fresh.grabber.grab({ MediaKey::keyboardBrightnessUp, MediaKey::raiseVolume }),
        std::set { MediaKey::raiseVolume });
    EXPECT_TRUE(fresh.grabber.refusedKeys().empty());
    // Once the key gets a code, it is taken too.
    bool changed = false;
    fresh.grabber.onGrabsChanged = [&] { changed = true; };
    ASSERT_TRUE(x.run("xmodmap", { "-e", "keycode 238 = XF86KbdBrightnessUp" }));
    ASSERT_TRUE(waitUntil([&] { return changed; }));
    EXPECT_EQ(fresh.grabber.grabbedKeys(), (std::set { MediaKey::keyboardBrightnessUp, MediaKey::raiseVolume }));
}

TEST(X11InputBridge, InjectsKeysWatchesRootPropertiesAndSelectsRawPointerEvents)
{
    PrivateX x;
    ASSERT_TRUE(x.isRunning());
    X11InputBridge input(x.display());
    ASSERT_TRUE(input.isConnected());
    EXPECT_TRUE(input.trust().isTrusted());

    // The table answers both ways.
    const std::vector<std::uint8_t> codes = input.keycodes(keysym(MediaKey::mute));
    ASSERT_FALSE(codes.empty());
    EXPECT_EQ(input.keysym(codes[0]), keysym(MediaKey::mute));
    EXPECT_NE(input.superMask(), 0);
    EXPECT_NE(input.altMask(), input.superMask());

    // A key sent through XTest reaches a grab of the same connection, with the lock variants:
    // Caps Lock is on while it goes down.
    const X11InputBridge::KeyGrab grab { codes[0], 0 };
    EXPECT_TRUE(input.grabKeys({ grab }).empty());
    EXPECT_TRUE(input.isGrabbed(grab));
    QSignalSpy pressed(&input, &X11InputBridge::keyPressed);
    const std::uint8_t capsLock = input.keycodes(0xffe5).at(0);
    ASSERT_TRUE(input.injectKey(capsLock, true));
    ASSERT_TRUE(input.injectKey(capsLock, false));
    ASSERT_TRUE(input.injectKey(codes[0], true));
    ASSERT_TRUE(input.injectKey(codes[0], false));
    ASSERT_TRUE(pressed.wait(5000));
    EXPECT_EQ(pressed.first().at(0).value<std::uint8_t>(), codes[0]);
    EXPECT_TRUE(pressed.first().at(1).value<std::uint16_t>() & XCB_MOD_MASK_LOCK);
    input.ungrabKeys({ grab });
    EXPECT_FALSE(input.isGrabbed(grab));

    // Root window properties, as a window manager sets _NET_ACTIVE_WINDOW.
    QSignalSpy property(&input, &X11InputBridge::rootPropertyChanged);
    input.watchRootProperties();
    const std::uint32_t active = input.atom("_NET_ACTIVE_WINDOW");
    ASSERT_NE(active, 0u);
    EXPECT_EQ(input.atom("_NET_ACTIVE_WINDOW"), active);
    ASSERT_TRUE(x.run("xprop", { "-root", "-f", "_NET_ACTIVE_WINDOW", "32a", "-set", "_NET_ACTIVE_WINDOW", "0" }));
    ASSERT_TRUE(waitUntil([&] {
        for (const QList<QVariant>& call : property) {
            if (call.at(0).value<std::uint32_t>() == active)
                return true;
        }
        return false;
    }));

    EXPECT_TRUE(input.selectRawPointerEvents(true));
    EXPECT_TRUE(input.selectRawPointerEvents(false));
    // A selection the server refused would have broken the connection by the next round trip.
    EXPECT_NE(input.atom("NIMBRA_ROUND_TRIP"), 0u);
    EXPECT_TRUE(input.isConnected());
}

TEST(X11InputBridge, AGrabbedKeyReadWhileSendingIsStillDispatched)
{
    PrivateX x;
    ASSERT_TRUE(x.isRunning());
    X11InputBridge input(x.display());
    ASSERT_TRUE(input.isConnected());
    const std::vector<std::uint8_t> codes = input.keycodes(keysym(MediaKey::mute));
    const std::vector<std::uint8_t> shift = input.keycodes(kShiftL);
    ASSERT_FALSE(codes.empty());
    ASSERT_FALSE(shift.empty());
    ASSERT_TRUE(input.grabKeys({ { codes[0], 0 } }).empty());
    QSignalSpy pressed(&input, &X11InputBridge::keyPressed);

    // Without returning to the event loop: each event of the grab is on the socket before the
    // next key goes out, and xcb reads it while it waits to write that key. Nothing arrives on
    // the socket after the last key (Shift goes to the focus window), so only the bridge itself
    // can see the events it read.
    pollfd socket { xcb_get_file_descriptor(input.connection()), POLLIN, 0 };
    ASSERT_TRUE(input.injectKey(codes[0], true));
    ASSERT_EQ(poll(&socket, 1, 15000), 1);
    ASSERT_TRUE(input.injectKey(codes[0], false));
    ASSERT_EQ(poll(&socket, 1, 15000), 1);
    ASSERT_TRUE(input.injectKey(shift[0], true));
    ASSERT_TRUE(input.injectKey(shift[0], false));

    ASSERT_TRUE(pressed.wait(15000));
    EXPECT_EQ(pressed.first().at(0).value<std::uint8_t>(), codes[0]);
}

TEST(X11InputBridge, NoDisplayMeansNoConnectionAndNothingGrabbed)
{
    X11InputBridge input(":4711");
    EXPECT_FALSE(input.isConnected());
    EXPECT_FALSE(input.trust().isTrusted());
    KeyGrabber grabber(input);
    EXPECT_TRUE(grabber.grab({ MediaKey::mute }).empty());
    EXPECT_FALSE(input.injectKey(121, true));
    EXPECT_FALSE(input.selectRawPointerEvents(true));
}

TEST(AccessibilityTrust, RealXServerWithXTestAndXkbIsTrusted)
{
    PrivateX x;
    ASSERT_TRUE(x.isRunning());
    const AccessibilityTrust trust = accessibilityTrust(x.display());
    EXPECT_TRUE(trust.hasDisplay);
    EXPECT_FALSE(trust.isXWayland);
    EXPECT_TRUE(trust.isTrusted());

    PrivateX bare({ "-extension", "XTEST" });
    ASSERT_TRUE(bare.isRunning());
    const AccessibilityTrust without = accessibilityTrust(bare.display());
    EXPECT_TRUE(without.hasDisplay);
    EXPECT_FALSE(without.hasXTest);
    EXPECT_FALSE(without.isTrusted());
    EXPECT_FALSE(X11InputBridge(bare.display()).trust().isTrusted());

    EXPECT_FALSE(accessibilityTrust(":4711").isTrusted());
}
