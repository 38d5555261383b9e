#include "support/nimbra_process.h"

#include <gtest/gtest.h>

using nimbra::test::NimbraProcess;

TEST(SingleInstance, ASecondStartHandsOverToTheRunningOneAndExits)
{
    NimbraProcess first;
    ASSERT_TRUE(first.start());
    // Give the first run the time to claim its name on the bus.
    ASSERT_FALSE(first.process().waitForFinished(1500)) << first.log().toStdString();

    NimbraProcess second;
    ASSERT_TRUE(second.start({ "XDG_CONFIG_HOME=" + first.configHome() }));
    ASSERT_TRUE(second.process().waitForFinished(5000)) << "the second start kept running";
    EXPECT_EQ(second.process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.process().exitCode(), 0);

    // The first one reacts as to being opened again, and runs on; another profile runs beside it.
    EXPECT_TRUE(first.waitForLog("] display reopened by another start\n")) << first.log().toStdString();
    EXPECT_EQ(first.process().state(), QProcess::Running);
    NimbraProcess otherProfile;
    ASSERT_TRUE(otherProfile.start());
    EXPECT_FALSE(otherProfile.process().waitForFinished(1500)) << otherProfile.log().toStdString();

    EXPECT_TRUE(otherProfile.terminate());
    EXPECT_TRUE(first.terminate()) << first.log().toStdString();
}
