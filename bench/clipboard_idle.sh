#!/usr/bin/env bash
# Wake-ups of an idle Nimbra with the clipboard history on, on a private Xvfb: every thread's
# context switches over IDLE_SECONDS, first right after the start, then again after one copy
# (which armed one capture and started the clipboard reader thread). Both should be none of
# its own: changes of the clipboard are announced, never polled. Printed, not asserted.
# Usage: bench/clipboard_idle.sh [BUILD_DIR] [IDLE_SECONDS]
set -euo pipefail
top="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$top/build}"
idle="${2:-10}"
nimbra="$build/src/app/nimbra"
[[ -x "$nimbra" ]] || { echo "no executable at $nimbra (build first)" >&2; exit 1; }

source "$top/bench/support.sh"
bench_work clipboard-idle

bench_private_x

mkdir -p "$work/config/nimbra"
printf '{ "display.showOnAll": true, "clipboard.enabled": true, "onboarding.seen": true }\n' \
    >"$work/config/nimbra/settings.json"
XDG_CONFIG_HOME="$work/config" NIMBRA_DEBUG=1 "$nimbra" 2>"$work/log" &
app=$!
pids+=("$app")
bench_wait_log 10 "$work/log" "watching clipboard" >/dev/null || :

switches() { # voluntary + involuntary context switches of every thread
    local total=0 n
    for status in /proc/"$app"/task/*/status; do
        n=$(awk '/^(voluntary|nonvoluntary)_ctxt_switches/ { s += $2 } END { print s + 0 }' "$status" 2>/dev/null || echo 0)
        total=$((total + n))
    done
    echo "$total"
}
measure() {
    local before after
    before=$(switches)
    sleep "$idle"
    after=$(switches)
    echo $((after - before))
}

sleep 2 # start-up settles
fresh=$(measure)
echo "idle with the clipboard on: $fresh wake-ups in ${idle} s (goal: 0 of its own)"

printf 'one copy' | xclip -selection clipboard
bench_wait_log 5 "$work/log" "clipboa captured one copy" >/dev/null ||
    { echo "the copy was not captured" >&2; cat "$work/log" >&2; exit 1; }
sleep 1 # the capture's own work has ended
threads=$(ls /proc/"$app"/task | wc -l)
after_copy=$(measure)
echo "idle after one copy ($threads threads): $after_copy wake-ups in ${idle} s (goal: 0 of its own)"
kill -TERM "$app"
wait "$app" && echo "stopped cleanly on SIGTERM" || echo "exit status $? on SIGTERM"
