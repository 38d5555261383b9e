#include "app/app_delegate.h"

#include "core/nimbra_settings.h"
#include "core/settings_storage.h"
#include "modules/level/system_level_monitor.h"

#include "support/https_feed.h"
#include "support/private_servers.h"
#include "support/test_support.h"

#include <QGuiApplication>
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

    releaseKeys();
    // Nimbra comes to the front (a window of its own is activated).
    QWidget window;
    window.resize(200, 100);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(waitUntil([] { return QGuiApplication::applicationState() == Qt::ApplicationActive; }, 10000));
    ASSERT_TRUE(waitUntil([&] { return delegate->levels().isIntercepting(); }, 5000));
    EXPECT_TRUE(delegate->levels().interceptedKeys().count(MediaKey::raiseVolume));
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
