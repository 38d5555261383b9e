#!/usr/bin/env bash
# Wake-ups of an idle notch: one controller per screen with nothing shown and the pointer away,
# counted as the main thread's voluntary context switches over 30 s (each timer expiry or event
# that wakes the event loop is one). Prints the count; an idle display should show (nearly) none.
# Usage: bench/idle_wakeups.sh [BUILD_DIR] [SECONDS]
set -euo pipefail
top="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$top/build}"
seconds="${2:-30}"
demo="$build/tests/ui/notch_demo"
[[ -x "$demo" ]] || { echo "build $demo first (cmake --build $build --target notch_demo)" >&2; exit 1; }
[[ -n "${DISPLAY:-}" ]] || export QT_QPA_PLATFORM=offscreen

"$demo" --state dormant >/dev/null 2>&1 &
pid=$!
trap 'kill "$pid" 2>/dev/null || true' EXIT
sleep 2 # start-up settles
switches() { awk '/^voluntary_ctxt_switches/ {print $2}' "/proc/$pid/task/$pid/status"; }
before="$(switches)"
sleep "$seconds"
after="$(switches)"
echo "idle wake-ups of the notch main thread over ${seconds} s: $((after - before)) (platform: ${QT_QPA_PLATFORM:-xcb})"
