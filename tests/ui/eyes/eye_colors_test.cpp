#include "ui/eyes/eye_colors.h"

#include "core/eye_motion.h"

#include <gtest/gtest.h>

using namespace nimbra;

TEST(EyeColors, StoredTextIsReadLeniently)
{
    const QColor expected(26, 43, 60);
    for (const QString& text : { QStringLiteral("1A2B3C"), QStringLiteral("#1A2b3C"), QStringLiteral("  1a2b3c\t"),
             QStringLiteral("\t#1A2B3C ") })
        EXPECT_EQ(colorFromHex(text, Qt::red), expected) << text.toStdString();
    // A sign counts as a digit, as the stored form's reader always allowed.
    EXPECT_EQ(colorFromHex(u"+12345", Qt::red), QColor(0x01, 0x23, 0x45));
    EXPECT_EQ(colorFromHex(u"-00000", Qt::red), QColor(0, 0, 0));
}

TEST(EyeColors, AnythingElseGivesTheFallback)
{
    for (const QString& text : { QString(), QStringLiteral("12345"), QStringLiteral("1234567"), QStringLiteral("12345G"),
             QStringLiteral("0x1234"), QStringLiteral("-00001"), QStringLiteral("##123456"), QStringLiteral("123456\n"),
             QStringLiteral("12 456") })
        EXPECT_EQ(colorFromHex(text, Qt::red), QColor(Qt::red)) << text.toStdString();
}

TEST(EyeColors, WrittenTextIsSixUpperCaseDigitsThatReadBack)
{
    EXPECT_EQ(nimbraHex(Qt::white), "FFFFFF");
    EXPECT_EQ(nimbraHex(QColor(26, 43, 60)), "1A2B3C");
    EXPECT_EQ(nimbraHex(QColor()), "FFFFFF");
    const QColor odd = QColor::fromRgbF(0.1f, 0.5f, 0.9f);
    EXPECT_EQ(colorFromHex(nimbraHex(odd), Qt::red).name(), odd.name());
}

TEST(EyeColors, ComponentsBeyondTheRangeAreClampedNotLost)
{
    const QColor bright = QColor::fromRgbF(1.4f, -0.2f, 0.5f); // extended range
    ASSERT_EQ(bright.spec(), QColor::ExtendedRgb);
    EXPECT_EQ(nimbraHex(bright), "FF0080");
}

TEST(EyeColors, EyesFallBackToWhiteScleraAndBlackPupil)
{
    EyeStyle broken;
    broken.scleraHex = QStringLiteral("nonsense");
    broken.pupilHex = QStringLiteral("12345");
    EXPECT_EQ(scleraColor(broken, false), QColor(Qt::white));
    EXPECT_EQ(pupilColor(broken), QColor(Qt::black));
    EXPECT_EQ(scleraColor(EyeStyle {}, true), QColor::fromRgbF(1.0f, 0.82f, 0.80f));
}
