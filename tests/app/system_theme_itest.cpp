// The "system" appearance follows the desktop portal's colour scheme, through a mock portal on
// the harness's session bus (python3-dbusmock).
#include "app/app_delegate.h"
#include "app/display_coordinator.h"
#include "core/nimbra_settings.h"
#include "support/test_support.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusVariant>
#include <QProcess>
#include <gtest/gtest.h>

using namespace nimbra;
using nimbra::test::waitUntil;

namespace {
const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kSettings = QStringLiteral("org.freedesktop.portal.Settings");

bool portalOnBus()
{
    return QDBusConnection::sessionBus().interface()->isServiceRegistered(kService).value();
}

// A portal whose colour scheme starts dark. Tests that put a portal on the shared session bus
// take turns through one lock.
struct MockPortal {
    MockPortal()
    {
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(qEnvironmentVariable("NIMBRA_PYTHON", "/usr/bin/python3"),
            { "-m", "dbusmock", "--session", kService, kPath, kSettings });
        started = process.waitForStarted(5000) && waitUntil(portalOnBus, 10000);
        if (started) {
            const QDBusMessage added = mock().call("AddMethod", kSettings, "Read", "ss", "v",
                "ret = dbus.UInt32(1 if args[1] == 'color-scheme' else 0, variant_level=2)");
            started = added.type() != QDBusMessage::ErrorMessage;
        }
    }
    ~MockPortal()
    {
        process.terminate();
        if (!process.waitForFinished(5000))
            process.kill();
        waitUntil([] { return !portalOnBus(); }, 5000);
    }
    QDBusInterface mock() const
    {
        return QDBusInterface(kService, kPath, "org.freedesktop.DBus.Mock", QDBusConnection::sessionBus());
    }
    bool setColorScheme(uint value) const
    {
        return mock()
                   .call("EmitSignal", kSettings, "SettingChanged", "ssv",
                       QVariantList { "org.freedesktop.appearance", "color-scheme",
                           QVariant::fromValue(QDBusVariant(QVariant::fromValue(value))) })
                   .type()
            != QDBusMessage::ErrorMessage;
    }

    // Taken first and released last: the portal lives inside the turn.
    nimbra::test::HarnessLock lock { QStringLiteral("portal.lock") };
    QProcess process;
    bool started = false;
};
} // namespace

TEST(SystemTheme, TheNotchFollowsThePortalOnlyWhileTheAppearanceIsSystem)
{
    MockPortal portal;
    ASSERT_TRUE(portal.started);
    NimbraSettings settings(std::make_shared<MemorySettingsStorage>());
    settings.setClockFont(ClockFont::rounded);
    AppDelegate delegate(&settings);
    delegate.applicationDidFinishLaunching();
    ASSERT_FALSE(delegate.coordinator()->controllers().empty());
    const auto theme = [&] { return delegate.coordinator()->controllers().begin()->second->model()->theme(); };

    ASSERT_TRUE(waitUntil([&] { return theme().isDark; }, 5000));
    EXPECT_EQ(theme().clockFont, ClockFont::rounded);
    ASSERT_TRUE(portal.setColorScheme(2));
    ASSERT_TRUE(waitUntil([&] { return !theme().isDark; }, 5000));

    // A fixed appearance ignores the desktop.
    settings.setAppearance(Appearance::dark);
    ASSERT_TRUE(waitUntil([&] { return theme().isDark; }, 2000));
    ASSERT_TRUE(portal.setColorScheme(1));
    ASSERT_TRUE(portal.setColorScheme(2));
    waitUntil([] { return false; }, 300);
    EXPECT_TRUE(theme().isDark);

    // Back to the system's: the desktop's current choice, light, applies at once.
    settings.setAppearance(Appearance::system);
    EXPECT_TRUE(waitUntil([&] { return !theme().isDark; }, 2000));
    delegate.applicationWillTerminate();
}
