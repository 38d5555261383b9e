#include "platform/single_instance.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>
#include <optional>

using nimbra::SingleInstance;

TEST(SingleInstance, EachSettingsProfileClaimsItsOwnValidBusName)
{
    const QString user = SingleInstance::serviceName(QDir::homePath() + "/.config");
    EXPECT_EQ(user, "org.nimbra.Nimbra");
    // The same folder written differently is the same profile.
    EXPECT_EQ(SingleInstance::serviceName(QDir::homePath() + "/.config/"), user);

    const QString a = SingleInstance::serviceName("/tmp/profile-a");
    const QString b = SingleInstance::serviceName("/tmp/profile-b");
    EXPECT_NE(a, user);
    EXPECT_NE(a, b);
    EXPECT_EQ(SingleInstance::serviceName("/tmp/profile-a/../profile-a"), a);
    // Bus name elements may not start with a digit.
    const QRegularExpression busName("^[A-Za-z_][A-Za-z0-9_-]*(\\.[A-Za-z_][A-Za-z0-9_-]*)+$");
    EXPECT_TRUE(busName.match(a).hasMatch()) << a.toStdString();
    EXPECT_LE(a.size(), 255);
}

TEST(SingleInstance, TheNameIsFreeForTheNextStartAsSoonAsQuittingStarts)
{
    QTemporaryDir profile;
    SingleInstance instance(profile.path());
    ASSERT_EQ(instance.claim(), SingleInstance::Claim::first);
    // Another process's view of the bus.
    QDBusConnection other = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "next-start");
    ASSERT_TRUE(other.interface()->isServiceRegistered(instance.serviceName()).value());

    // What stops after the name is let go may take its time (a stop sequence, Qt's own pools):
    // by then a next start must find the name free and run instead of handing over.
    std::optional<bool> takenWhileStopping;
    QObject::connect(qApp, &QCoreApplication::aboutToQuit,
        [&] { takenWhileStopping = other.interface()->isServiceRegistered(instance.serviceName()).value(); });
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
    EXPECT_EQ(takenWhileStopping, false);
    QDBusConnection::disconnectFromBus("next-start");
}
