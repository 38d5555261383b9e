#include "support/nimbra_process.h"

#include <gtest/gtest.h>

using nimbra::test::NimbraProcess;

TEST(NimbraProcess, RunsOnTheXServerAndStopsCleanlyOnSigterm)
{
    NimbraProcess nimbra;
    ASSERT_TRUE(nimbra.start());
    // Still alive once the launch has run to its end: it is an accessory with no window to close.
    EXPECT_TRUE(nimbra.waitForLog("level   accessibility trusted = ", 10000)) << nimbra.log().toStdString();
    EXPECT_EQ(nimbra.process().state(), QProcess::Running);
    EXPECT_TRUE(nimbra.terminate()) << nimbra.log().toStdString();
}
