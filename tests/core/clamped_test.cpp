#include "core/clamped.h"

#include <gtest/gtest.h>
#include <limits>

using nimbra::clamped;

TEST(Clamped, KeepsInsideAndPinsOutside)
{
    EXPECT_EQ(clamped(5, 0, 10), 5);
    EXPECT_EQ(clamped(-3, 0, 10), 0);
    EXPECT_EQ(clamped(12, 0, 10), 10);
    EXPECT_DOUBLE_EQ(clamped(0.5, 0.0, 1.0), 0.5);
}

TEST(Clamped, NonFiniteValuesLandOnABound)
{
    constexpr double inf = std::numeric_limits<double>::infinity();
    EXPECT_DOUBLE_EQ(clamped(std::nan(""), 2.0, 4.0), 2.0);
    EXPECT_DOUBLE_EQ(clamped(inf, 2.0, 4.0), 4.0);
    EXPECT_DOUBLE_EQ(clamped(-inf, 2.0, 4.0), 2.0);
}
