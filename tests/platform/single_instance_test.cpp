#include "platform/single_instance.h"

#include <QDir>
#include <QRegularExpression>
#include <gtest/gtest.h>

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
