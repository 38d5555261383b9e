#include "platform/x11/accessibility.h"
#include "platform/x11/key_grabber.h"

#include "support/private_servers.h"
#include "support/test_support.h"

#include <QTest>
#include <cstdlib>
#include <gtest/gtest.h>
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
    ~OtherClient() { xcb_disconnect(m_connection); }
    bool grab(std::uint32_t sym) { return nimbra::test::grabKey(m_connection, sym); }

private:
    xcb_connection_t* m_connection;
};

} // namespace

TEST(KeyGrabber, GrabbedKeysArriveWithTheFineModifiers)
{
    PrivateX x;
    ASSERT_TRUE(x.isRunning());
    KeyGrabber grabber(x.display());
    ASSERT_TRUE(grabber.isConnected());
    std::vector<Press> presses;
    grabber.onPress = [&](MediaKey key, bool fine) { presses.push_back({ key, fine }); };
    ASSERT_EQ(grabber.grab({ MediaKey::raiseVolume, MediaKey::lowerVolume, MediaKey::mute }),
        KeyGrabber::GrabResult::grabbed);
    EXPECT_EQ(grabber.grabbedKeys(), (std::set { MediaKey::raiseVolume, MediaKey::lowerVolume, MediaKey::mute }));

    ASSERT_TRUE(x.tap({ keysym(MediaKey::raiseVolume) }));
    ASSERT_TRUE(x.tap({ kShiftL, kAltL, keysym(MediaKey::lowerVolume) }));
    ASSERT_TRUE(x.tap({ kShiftL, keysym(MediaKey::raiseVolume) }));
    ASSERT_TRUE(x.tap({ kAltL, keysym(MediaKey::mute) }));
    ASSERT_TRUE(waitUntil([&] { return presses.size() >= 4; }));
    QTest::qWait(100);
    const std::vector<Press> expected { { MediaKey::raiseVolume, false }, { MediaKey::lowerVolume, true },
        { MediaKey::raiseVolume, false }, { MediaKey::mute, false } };
    EXPECT_EQ(presses, expected) << "one press per key down, releases swallowed";

    // Caps Lock on does not let the key slip past.
    ASSERT_TRUE(x.run("xdotool", { "key", "Caps_Lock" }));
    ASSERT_TRUE(x.tap({ keysym(MediaKey::raiseVolume) }));
    EXPECT_TRUE(waitUntil([&] { return presses.size() == 5; }));

    // Released keys reach nobody here any more.
    grabber.ungrab();
    EXPECT_TRUE(grabber.grabbedKeys().empty());
    ASSERT_TRUE(x.tap({ keysym(MediaKey::raiseVolume) }));
    QTest::qWait(200);
    EXPECT_EQ(presses.size(), 5u);
}

TEST(KeyGrabber, AKeyHeldByAnotherProgramLeavesEveryKeyAlone)
{
    PrivateX x;
    ASSERT_TRUE(x.isRunning());
    OtherClient desktop(x.display());
    ASSERT_TRUE(desktop.grab(keysym(MediaKey::mute)));

    KeyGrabber grabber(x.display());
    EXPECT_EQ(grabber.grab({ MediaKey::raiseVolume, MediaKey::lowerVolume, MediaKey::mute }),
        KeyGrabber::GrabResult::refused);
    EXPECT_EQ(grabber.refusedKey(), MediaKey::mute);
    EXPECT_TRUE(grabber.grabbedKeys().empty());
    // What was grabbed before the refusal was given back: a third program can take it.
    OtherClient later(x.display());
    EXPECT_TRUE(later.grab(keysym(MediaKey::raiseVolume)));
}

TEST(KeyGrabber, KeysWithoutAKeyCodeAreSkippedAndRemappedKeysFollowed)
{
    PrivateX x;
    ASSERT_TRUE(x.isRunning());
    // Give brightness-up a key code of its own, away from wherever the default map put it.
    ASSERT_TRUE(
        x.run("xmodmap", { "-e", "keysym XF86MonBrightnessUp = NoSymbol", "-e", "keycode 200 = XF86MonBrightnessUp" }));
    KeyGrabber grabber(x.display());
    std::vector<Press> presses;
    grabber.onPress = [&](MediaKey key, bool fine) { presses.push_back({ key, fine }); };
    ASSERT_EQ(grabber.grab({ MediaKey::brightnessUp }), KeyGrabber::GrabResult::grabbed);
    EXPECT_EQ(grabber.grabbedKeys(), std::set { MediaKey::brightnessUp });
    ASSERT_TRUE(x.tap({ keysym(MediaKey::brightnessUp) }));
    ASSERT_TRUE(waitUntil([&] { return presses.size() == 1; }));

    // The key moves to another code while grabbed: the grab moves with it.
    ASSERT_TRUE(x.run("xmodmap", { "-e", "keycode 200 = NoSymbol", "-e", "keycode 201 = XF86MonBrightnessUp" }));
    QTest::qWait(300);
    ASSERT_TRUE(x.tap({ keysym(MediaKey::brightnessUp) }));
    EXPECT_TRUE(waitUntil([&] { return presses.size() == 2; }));

    // A key nothing maps is skipped, and that is no failure.
    ASSERT_TRUE(x.run("xmodmap", { "-e", "keycode 238 = NoSymbol" }));
    KeyGrabber fresh(x.display());
    EXPECT_EQ(fresh.grab({ MediaKey::keyboardBrightnessUp, MediaKey::mute }), KeyGrabber::GrabResult::grabbed);
    EXPECT_EQ(fresh.grabbedKeys(), std::set { MediaKey::mute });
    // Once the key gets a code, it is taken too.
    ASSERT_TRUE(x.run("xmodmap", { "-e", "keycode 238 = XF86KbdBrightnessUp" }));
    EXPECT_TRUE(waitUntil([&] { return fresh.grabbedKeys().size() == 2; }));
}

TEST(KeyGrabber, NoDisplayMeansNoConnection)
{
    KeyGrabber grabber(":4711");
    EXPECT_FALSE(grabber.isConnected());
    EXPECT_EQ(grabber.grab({ MediaKey::mute }), KeyGrabber::GrabResult::noConnection);
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

    EXPECT_FALSE(accessibilityTrust(":4711").isTrusted());
}
