#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and UndefinedBehaviorSanitizer,
# and runs every test (labels unit, ui, integration) inside the test harness, and every
# benchmark once, briefly (label bench), so that none of them rots.
# Extra arguments go to ctest, e.g. `scripts/test.sh -L unit` or `-R Presentation`.
# NIMBRA_JOBS caps the build's and ctest's parallel jobs (default: every core).
set -euo pipefail
top="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$top/scripts/setup.sh"

build="$top/build-asan"
export CCACHE_BASEDIR="$top"
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DNIMBRA_SANITIZE=ON -DNIMBRA_BENCHMARKS=ON -DNIMBRA_WERROR=ON >/dev/null
jobs="${NIMBRA_JOBS:-$(nproc)}"
cmake --build "$build" -j "$jobs"

export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
cd "$build"
exec "$top/tests/support/harness.sh" ctest --output-on-failure --timeout 300 -j "$jobs" "$@"
