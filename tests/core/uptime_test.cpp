#include "core/uptime.h"

#include <ctime>
#include <gtest/gtest.h>

namespace {
double monotonicSeconds()
{
    timespec ts {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}
} // namespace

// Seconds of the monotonic clock, which is what every rule's `now` and the diagnostics stamps
// are compared in: not milliseconds, not wall-clock time.
TEST(Uptime, IsTheMonotonicClockInSeconds)
{
    const double before = monotonicSeconds();
    const double reading = nimbra::uptime();
    const double after = monotonicSeconds();
    EXPECT_GE(reading, before);
    EXPECT_LE(reading, after);
}
