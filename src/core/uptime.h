#pragma once

#include <functional>

namespace nimbra {

// Seconds since boot from CLOCK_MONOTONIC, which stands still while the machine sleeps: the time
// base of every rule but a user's timers (hover, animations, readout durations, the log).
// Only controllers, monitors, views and the diagnostics log read it; rules take `now`.
double uptime();

// Seconds since boot from CLOCK_BOOTTIME, which counts the time asleep too: the time base of a
// user's timers, so a countdown ends on time across a suspend and a stopwatch keeps counting.
double uptimeWithSleep();

// The two clocks a timer's controller or view reads, replaceable together in tests (a suspend
// moves `withSleep` alone).
struct Clocks {
    std::function<double()> awake = uptime;
    std::function<double()> withSleep = uptimeWithSleep;
};

} // namespace nimbra
