#include "app/display_selection.h"

#include <gtest/gtest.h>

using namespace nimbra;

namespace {
const DisplayKey panel { "display-71" };
const DisplayKey external { "DEL-41063-1234" };
} // namespace

TEST(DisplaySelection, BuiltInOnlyEnablesExactlyTheBuiltInDisplay)
{
    EXPECT_TRUE(isDisplaySelected(panel, true, panel));
    EXPECT_FALSE(isDisplaySelected(external, true, panel));
    // Keys compare by their text, not by identity of the objects.
    EXPECT_TRUE(isDisplaySelected(DisplayKey { "display-71" }, true, DisplayKey { "display-71" }));
}

TEST(DisplaySelection, WithoutABuiltInDisplayNothingIsEnabledUnlessAllDisplaysAreAskedFor)
{
    EXPECT_FALSE(isDisplaySelected(panel, true, std::nullopt));
    EXPECT_FALSE(isDisplaySelected(external, true, std::nullopt));
    EXPECT_TRUE(isDisplaySelected(panel, false, std::nullopt));
    EXPECT_TRUE(isDisplaySelected(external, false, std::nullopt));
    EXPECT_TRUE(isDisplaySelected(external, false, panel));
}

TEST(DisplaySelection, OpeningPrefersThePointersDisplayThenTheBuiltInThenTheFirstEnabled)
{
    EXPECT_EQ(openTarget({ panel, external }, external, panel)->rawValue, external.rawValue);
    EXPECT_EQ(openTarget({ panel, external }, std::nullopt, panel)->rawValue, panel.rawValue);
    EXPECT_EQ(openTarget({ external, panel }, std::nullopt, std::nullopt)->rawValue, external.rawValue);
}

TEST(DisplaySelection, OpeningNeverPicksADisabledDisplay)
{
    // The pointer rests on the disabled external display: the enabled built-in one opens.
    EXPECT_EQ(openTarget({ panel }, external, panel)->rawValue, panel.rawValue);
    // Only the external display is enabled (built-in disabled): it opens, wherever the pointer is.
    EXPECT_EQ(openTarget({ external }, panel, panel)->rawValue, external.rawValue);
    // Nothing enabled (built-in only, no built-in display): nothing opens.
    EXPECT_FALSE(openTarget({}, external, std::nullopt).has_value());
    EXPECT_FALSE(openTarget({}, panel, panel).has_value());
}
