#include "support/nimbra_process.h"

#include <gtest/gtest.h>

using nimbra::test::NimbraProcess;

TEST(NimbraProcess, RunsOnTheXServerAndStopsCleanlyOnSigterm)
{
    NimbraProcess nimbra;
    ASSERT_TRUE(nimbra.start());
    // Still alive a moment later: it is an accessory with no window to close.
    EXPECT_FALSE(nimbra.process().waitForFinished(700)) << nimbra.log().toStdString();
    EXPECT_TRUE(nimbra.terminate()) << nimbra.log().toStdString();
}
