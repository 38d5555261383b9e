#include "platform/quit_deadline.h"

#include <gtest/gtest.h>
#include <unistd.h>

using nimbra::QuitDeadline;

TEST(QuitDeadlineDeathTest, AStopStuckPastTheLimitEndsTheProcessWithItsStatusAndSaysSo)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            QuitDeadline deadline(std::chrono::milliseconds(20));
            deadline.setExitStatus(3);
            deadline.arm();
            for (;;)
                ::pause(); // a worker pool waiting on a file that never answers
        },
        ::testing::ExitedWithCode(3), "nimbra: quitting took longer than 20 ms; ending now\n");
}
