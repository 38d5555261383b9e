#include "core/uptime.h"

#include <ctime>

namespace nimbra {

namespace {
double seconds(clockid_t clock)
{
    timespec ts {};
    clock_gettime(clock, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}
} // namespace

double uptime()
{
    return seconds(CLOCK_MONOTONIC);
}

double uptimeWithSleep()
{
    return seconds(CLOCK_BOOTTIME);
}

} // namespace nimbra
