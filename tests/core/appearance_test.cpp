#include "core/appearance.h"

#include <gtest/gtest.h>

using namespace nimbra;

TEST(Appearance, CasesInPickerOrderWithTitles)
{
    const auto all = allCases<Appearance>();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0], Appearance::system);
    EXPECT_EQ(all[2], Appearance::dark);
    EXPECT_EQ(title(Appearance::system), QLatin1String("Auto"));
    EXPECT_EQ(title(Appearance::dark), QLatin1String("Dark"));
    for (auto appearance : all)
        EXPECT_EQ(fromRawValue<Appearance>(rawValue(appearance)), appearance);
}

TEST(Appearance, RawValuesAreExact)
{
    EXPECT_EQ(fromRawValue<Appearance>(u"light"), Appearance::light);
    EXPECT_EQ(fromRawValue<Appearance>(u"Dark"), std::nullopt);
    EXPECT_EQ(fromRawValue<Appearance>(u"Auto"), std::nullopt);
    EXPECT_EQ(fromRawValue<Appearance>(u""), std::nullopt);
}

TEST(ClockFont, CasesInOrderWithTitles)
{
    const auto all = allCases<ClockFont>();
    ASSERT_EQ(all.size(), 5u);
    EXPECT_EQ(all[0], ClockFont::lockScreen);
    EXPECT_EQ(all[4], ClockFont::mono);
    EXPECT_EQ(rawValue(ClockFont::lockScreen), QLatin1String("lockScreen"));
    EXPECT_EQ(title(ClockFont::lockScreen), QLatin1String("Lock Screen"));
    EXPECT_EQ(title(ClockFont::serif), QLatin1String("Serif"));
    for (auto font : all)
        EXPECT_EQ(fromRawValue<ClockFont>(rawValue(font)), font);
}

TEST(ClockFont, TitleIsNoRawValue)
{
    EXPECT_EQ(fromRawValue<ClockFont>(u"Lock Screen"), std::nullopt);
    EXPECT_EQ(fromRawValue<ClockFont>(u"lockscreen"), std::nullopt);
    EXPECT_EQ(fromRawValue<ClockFont>(u"system"), ClockFont::system);
}
