#include "platform/portal/appearance_portal.h"

#include <QDBusVariant>
#include <gtest/gtest.h>

using nimbra::AppearancePortal;

TEST(AppearancePortal, ColorSchemeValues)
{
    EXPECT_EQ(AppearancePortal::prefersDark(QVariant(uint(1))), true);
    EXPECT_EQ(AppearancePortal::prefersDark(QVariant(uint(2))), false);
    EXPECT_EQ(AppearancePortal::prefersDark(QVariant(uint(0))), std::nullopt);
    EXPECT_EQ(AppearancePortal::prefersDark(QVariant(uint(7))), std::nullopt);
    EXPECT_EQ(AppearancePortal::prefersDark(QVariant(QStringLiteral("dark"))), std::nullopt);
    EXPECT_EQ(AppearancePortal::prefersDark(QVariant()), std::nullopt);
    // The portal nests the value in variants.
    const QVariant nested = QVariant::fromValue(QDBusVariant(QVariant::fromValue(QDBusVariant(uint(1)))));
    EXPECT_EQ(AppearancePortal::prefersDark(nested), true);
}
