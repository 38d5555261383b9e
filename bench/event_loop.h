#pragma once

// Driving Qt's event loop from a benchmark, and reading what the process spent.
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <functional>
#include <sys/resource.h>

namespace nimbra::bench {

// Runs the event loop until `condition` holds, sleeping only inside it (unlike the tests' wait,
// which sleeps between rounds and would itself stall the loop it measures).
inline bool runUntil(const std::function<bool()>& condition, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    return true;
}

// The process's CPU time so far, user and system, in seconds.
inline double cpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace nimbra::bench
