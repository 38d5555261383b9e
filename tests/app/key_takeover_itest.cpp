#include "app/app_delegate.h"

#include "core/nimbra_settings.h"
#include "core/settings_storage.h"
#include "modules/clipboard/global_hot_key.h"
#include "modules/level/system_level_monitor.h"
#include "platform/x11/key_positions.h"
#include "platform/x11/x11_input_bridge.h"
#include "ui/settings/settings_view.h"
#include "ui/settings/settings_window_controller.h"

#include "support/https_feed.h"
#include "support/private_servers.h"
#include "support/test_support.h"

#include <QGuiApplication>
#include <QLabel>
#include <QWidget>
#include <gtest/gtest.h>
#include <xcb/xcb.h>

using namespace nimbra;
using nimbra::test::PrivatePulse;
using nimbra::test::PrivateX;
using nimbra::test::ScopedEnvironment;
using nimbra::test::waitUntil;

namespace {

constexpr std::uint32_t raiseVolumeKey = 0x1008FF13;
constexpr std::uint32_t lowerVolumeKey = 0x1008FF11;
constexpr std::uint32_t muteKey = 0x1008FF12;

// Nimbra's input and sound on servers of the test's own (its windows stay on the harness's
// display), with a sink to change, so that the volume keys are the ones to take.
struct Takeover : ::testing::Test {
    Takeover()
    {
        settings.setHasSeenOnboarding(true);
        settings.setChecksForUpdates(false);
    }
    // Launches, and waits until the sound server is known and its keys have been asked for.
    void launch()
    {
        delegate = std::make_unique<AppDelegate>(&settings);
        delegate->applicationDidFinishLaunching();
        ASSERT_TRUE(waitUntil([&] {
            const std::optional<SystemLevel> volume = delegate->levels().read(SystemLevel::Kind::volume);
            return volume && volume->isAvailable;
        }));
    }
    // Another program (a desktop's media-key daemon) takes every volume key.
    bool holdKeys()
    {
        daemon = xcb_connect(x.display().constData(), nullptr);
        return nimbra::test::grabKey(daemon, raiseVolumeKey) && nimbra::test::grabKey(daemon, lowerVolumeKey)
            && nimbra::test::grabKey(daemon, muteKey);
    }
    // Another program (a desktop's shortcut daemon) takes Shift+Super+V.
    bool holdHotKey()
    {
        daemon = xcb_connect(x.display().constData(), nullptr);
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(daemon)).data->root;
        xcb_generic_error_t* error = xcb_request_check(daemon,
            xcb_grab_key_checked(daemon, 1, root, XCB_MOD_MASK_4 | XCB_MOD_MASK_SHIFT, *x11::keycodeAt(9),
                XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        free(error);
        return !error;
    }
    // Nimbra comes to the front: a window of its own is activated.
    void activateNimbra()
    {
        window.resize(200, 100);
        window.show();
        window.activateWindow();
        ASSERT_TRUE(waitUntil([] { return QGuiApplication::applicationState() == Qt::ApplicationActive; }, 10000));
    }
    void releaseKeys()
    {
        xcb_disconnect(daemon);
        daemon = nullptr;
    }
    ~Takeover() override
    {
        delegate.reset();
        if (daemon)
            xcb_disconnect(daemon);
    }

    PrivateX x;
    PrivatePulse pulse;
    ScopedEnvironment display { "DISPLAY", x.display() };
    ScopedEnvironment sound { "PULSE_SERVER", pulse.address().toUtf8() };
    NimbraSettings settings { std::make_shared<MemorySettingsStorage>() };
    std::unique_ptr<AppDelegate> delegate;
    xcb_connection_t* daemon = nullptr;
    QWidget window;
};

} // namespace

TEST_F(Takeover, KeysAnotherProgramHeldAreTakenWhenNimbraIsNextActive)
{
    ASSERT_TRUE(x.isRunning() && pulse.isRunning());
    ASSERT_TRUE(holdKeys());
    settings.setHudReplacement(true);
    launch();
    EXPECT_TRUE(delegate->isAccessibilityGranted()) << "a real X server with XTEST and XKB";
    ASSERT_TRUE(waitUntil([&] { return !delegate->levels().isIntercepting(); }));
    // Asking again changes nothing while the keys are held.
    delegate->requestAccessibility();
    EXPECT_FALSE(delegate->levels().isIntercepting());

    // The settings pages say which keys another program holds, not only that X allows taking them.
    EXPECT_EQ(delegate->keyboardStatus().mediaKeysHeldElsewhere, QStringList({ "Volume Up", "Volume Down", "Mute" }));
    EXPECT_FALSE(delegate->keyboardStatus().mediaKeysTaken);

    releaseKeys();
    ASSERT_NO_FATAL_FAILURE(activateNimbra());
    ASSERT_TRUE(waitUntil([&] { return delegate->levels().isIntercepting(); }, 5000));
    EXPECT_TRUE(delegate->levels().interceptedKeys().count(MediaKey::raiseVolume));
    EXPECT_TRUE(delegate->keyboardStatus().mediaKeysTaken);
    EXPECT_TRUE(delegate->keyboardStatus().mediaKeysHeldElsewhere.isEmpty());
}

TEST_F(Takeover, AKeyAnotherProgramHeldWhileTheRestWereTakenIsTakenWhenNimbraIsNextActive)
{
    ASSERT_TRUE(x.isRunning() && pulse.isRunning());
    daemon = xcb_connect(x.display().constData(), nullptr);
    ASSERT_TRUE(nimbra::test::grabKey(daemon, muteKey));
    settings.setHudReplacement(true);
    launch();
    ASSERT_TRUE(waitUntil([&] { return delegate->levels().isIntercepting(); }));
    EXPECT_FALSE(delegate->levels().interceptedKeys().count(MediaKey::mute));
    EXPECT_EQ(delegate->keyboardStatus().mediaKeysHeldElsewhere, QStringList({ "Mute" }));

    releaseKeys();
    ASSERT_NO_FATAL_FAILURE(activateNimbra());
    ASSERT_TRUE(waitUntil([&] { return delegate->levels().interceptedKeys().count(MediaKey::mute) > 0; }, 5000));
    EXPECT_TRUE(delegate->keyboardStatus().mediaKeysHeldElsewhere.isEmpty());
}

TEST_F(Takeover, AHotKeyAnotherProgramHeldAtLaunchIsTakenWhenNimbraIsNextActive)
{
    ASSERT_TRUE(x.isRunning() && pulse.isRunning());
    ASSERT_TRUE(holdHotKey());
    launch();
    ASSERT_EQ(delegate->input().superMask(), XCB_MOD_MASK_4) << "Super sits on Mod4, as the other program assumed";
    EXPECT_FALSE(delegate->clipboardHotKey().isBound());
    EXPECT_TRUE(delegate->keyboardStatus().hotKeyHeldElsewhere);

    releaseKeys();
    ASSERT_NO_FATAL_FAILURE(activateNimbra());
    ASSERT_TRUE(waitUntil([&] { return delegate->clipboardHotKey().isBound(); }, 5000));
    EXPECT_EQ(delegate->clipboardHotKey().boundCombo(), KeyCombo::defaultClipboard);
    EXPECT_FALSE(delegate->keyboardStatus().hotKeyHeldElsewhere);
}

TEST_F(Takeover, AHeldHotKeyIsTakenOnAKeymapChangeAndTheOpenClipboardPageFollows)
{
    ASSERT_TRUE(x.isRunning() && pulse.isRunning());
    ASSERT_TRUE(holdHotKey());
    launch();
    delegate->showSettings();
    SettingsView* view = delegate->settingsWindow()->view();
    ASSERT_NE(view, nullptr);
    view->select(SettingsSection::clipboard);
    QLabel* held = nullptr;
    for (QLabel* label : view->findChildren<QLabel*>())
        held = label->accessibleName() == "Shortcut held elsewhere" ? label : held;
    ASSERT_NE(held, nullptr);
    ASSERT_TRUE(waitUntil([&] { return held->isVisible(); }));

    // The other program lets go, and the keyboard's mapping changes (a layout is loaded).
    releaseKeys();
    ASSERT_TRUE(waitUntil([&] {
        x.run("xmodmap", { "-e", "keycode 200 = F13" });
        return delegate->clipboardHotKey().isBound();
    }));
    EXPECT_TRUE(waitUntil([&] { return !held->isVisible(); }));
}

TEST_F(Takeover, ARequestTakesTheKeysOnlyWhenHudReplacementIsOn)
{
    ASSERT_TRUE(x.isRunning() && pulse.isRunning());
    settings.setHudReplacement(false);
    launch();
    delegate->requestAccessibility();
    EXPECT_FALSE(delegate->levels().isIntercepting());
    EXPECT_TRUE(delegate->levels().interceptedKeys().empty());

    // With the takeover on, the keys were taken by the settings; a request keeps them.
    settings.setHudReplacement(true);
    ASSERT_TRUE(waitUntil([&] { return delegate->levels().isIntercepting(); }));
    delegate->requestAccessibility();
    EXPECT_TRUE(delegate->levels().isIntercepting());
}

TEST(KeyTakeoverTrust, AServerWithoutXTestIsNotTrustedAndNothingIsTaken)
{
    PrivateX x({ "-extension", "XTEST" });
    ASSERT_TRUE(x.isRunning());
    ScopedEnvironment display("DISPLAY", x.display());
    NimbraSettings settings { std::make_shared<MemorySettingsStorage>() };
    settings.setHasSeenOnboarding(true);
    settings.setHudReplacement(true);
    AppDelegate delegate(&settings);
    delegate.applicationDidFinishLaunching();
    EXPECT_FALSE(delegate.isAccessibilityGranted());
    delegate.requestAccessibility();
    EXPECT_FALSE(delegate.levels().isIntercepting());
}
