#include "core/uptime.h"

#include <ctime>

namespace nimbra {

double uptime()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

} // namespace nimbra
