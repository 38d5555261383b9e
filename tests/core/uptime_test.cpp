#include "core/uptime.h"

#include <gtest/gtest.h>

TEST(Uptime, IsPositiveAndNeverGoesBack)
{
    const double first = nimbra::uptime();
    const double second = nimbra::uptime();
    EXPECT_GT(first, 0.0);
    EXPECT_GE(second, first);
}
