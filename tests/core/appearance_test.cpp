#include "core/appearance.h"

#include <gtest/gtest.h>

using namespace nimbra;

TEST(Appearance, OnlyExactRawValuesParse)
{
    for (auto appearance : allCases<Appearance>())
        EXPECT_EQ(fromRawValue<Appearance>(rawValue(appearance)), appearance);
    EXPECT_EQ(fromRawValue<Appearance>(u"Dark"), std::nullopt);
    // "Auto" is the title of `system`, not a stored value.
    EXPECT_EQ(fromRawValue<Appearance>(title(Appearance::system)), std::nullopt);
}

TEST(ClockFont, OnlyExactRawValuesParse)
{
    for (auto font : allCases<ClockFont>())
        EXPECT_EQ(fromRawValue<ClockFont>(rawValue(font)), font);
    EXPECT_EQ(title(ClockFont::lockScreen), QLatin1String("Lock Screen"));
    EXPECT_EQ(fromRawValue<ClockFont>(u"Lock Screen"), std::nullopt);
    EXPECT_EQ(fromRawValue<ClockFont>(u"lockscreen"), std::nullopt);
}

TEST(Appearance, OnlyTheSystemAppearanceFollowsTheDesktop)
{
    EXPECT_TRUE(isDark(Appearance::system, true));
    EXPECT_FALSE(isDark(Appearance::system, false));
    EXPECT_FALSE(isDark(Appearance::light, true));
    EXPECT_TRUE(isDark(Appearance::dark, false));
}
