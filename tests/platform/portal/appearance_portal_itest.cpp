// The appearance portal against a mock portal on the harness's session bus (python3-dbusmock).
#include "platform/portal/appearance_portal.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDBusVariant>
#include <QProcess>
#include <gtest/gtest.h>

#include "support/test_support.h"

using nimbra::AppearancePortal;

namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kSettings = QStringLiteral("org.freedesktop.portal.Settings");

struct MockPortal {
    MockPortal()
    {
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(qEnvironmentVariable("NIMBRA_PYTHON", QStringLiteral("/usr/bin/python3")),
            { QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--session"), kService, kPath,
                kSettings });
        started = process.waitForStarted(5000)
            && nimbra::test::waitUntil(
                [] { return QDBusConnection::sessionBus().interface()->isServiceRegistered(kService).value(); }, 10000);
    }
    ~MockPortal()
    {
        process.terminate();
        if (!process.waitForFinished(5000))
            process.kill();
        nimbra::test::waitUntil(
            [] { return !QDBusConnection::sessionBus().interface()->isServiceRegistered(kService).value(); }, 5000);
    }
    QDBusInterface mock() const
    {
        return QDBusInterface(
            kService, kPath, QStringLiteral("org.freedesktop.DBus.Mock"), QDBusConnection::sessionBus());
    }
    QProcess process;
    bool started = false;
};

// ctest runs each case as its own process on the one session bus: the cases take turns, so a
// mock portal of one is never seen by the other.
class AppearancePortalOnBus : public testing::Test {
private:
    nimbra::test::HarnessLock m_lock { QStringLiteral("portal.lock") };
};

} // namespace

TEST_F(AppearancePortalOnBus, ReadsTheColorSchemeAndFollowsItsChanges)
{
    MockPortal portal;
    ASSERT_TRUE(portal.started);
    QDBusInterface mock = portal.mock();
    // The portal answers Read with the value wrapped in a second variant.
    const QDBusMessage added = mock.call(QStringLiteral("AddMethod"), kSettings, QStringLiteral("Read"),
        QStringLiteral("ss"), QStringLiteral("v"),
        QStringLiteral("ret = dbus.UInt32(1 if args[1] == 'color-scheme' else 0, variant_level=2)"));
    ASSERT_NE(added.type(), QDBusMessage::ErrorMessage) << added.errorMessage().toStdString();

    AppearancePortal appearance;
    std::vector<bool> changes;
    appearance.onChange = [&](bool dark) { changes.push_back(dark); };
    ASSERT_TRUE(nimbra::test::waitUntil([&] { return appearance.hasAnswered(); }));
    EXPECT_EQ(appearance.portalPrefersDark(), true);
    EXPECT_TRUE(appearance.isDark());
    // The answer told a change only if the palette had guessed light.
    EXPECT_EQ(changes, AppearancePortal::paletteIsDark() ? std::vector<bool>() : std::vector<bool>({ true }));
    changes.clear();

    const auto emit = [&](const QString& group, const QString& key, uint value) {
        const QDBusMessage sent = mock.call(QStringLiteral("EmitSignal"), kSettings, QStringLiteral("SettingChanged"),
            QStringLiteral("ssv"),
            QVariantList { group, key, QVariant::fromValue(QDBusVariant(QVariant::fromValue(value))) });
        ASSERT_NE(sent.type(), QDBusMessage::ErrorMessage) << sent.errorMessage().toStdString();
    };
    emit(QStringLiteral("org.freedesktop.appearance"), QStringLiteral("color-scheme"), 2);
    ASSERT_TRUE(nimbra::test::waitUntil([&] { return !changes.empty(); }));
    EXPECT_EQ(changes, std::vector<bool>({ false }));
    EXPECT_FALSE(appearance.isDark());

    // Other settings are not ours.
    emit(QStringLiteral("org.gnome.desktop.interface"), QStringLiteral("color-scheme"), 1);
    emit(QStringLiteral("org.freedesktop.appearance"), QStringLiteral("accent-color"), 1);
    nimbra::test::waitUntil([] { return false; }, 300);
    EXPECT_EQ(changes.size(), 1u);
}

TEST_F(AppearancePortalOnBus, WithoutAPortalThePaletteDecides)
{
    AppearancePortal appearance;
    ASSERT_TRUE(nimbra::test::waitUntil([&] { return appearance.hasAnswered(); }));
    EXPECT_EQ(appearance.portalPrefersDark(), std::nullopt);
    EXPECT_EQ(appearance.isDark(), AppearancePortal::paletteIsDark());
}
