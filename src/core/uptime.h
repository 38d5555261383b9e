#pragma once

namespace nimbra {

// Seconds since boot from CLOCK_MONOTONIC: the one time base of every rule.
// Only controllers, monitors, views and the diagnostics log read it; rules take `now`.
double uptime();

} // namespace nimbra
