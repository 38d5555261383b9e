#!/usr/bin/env bash
# Figures for an idle Nimbra with nothing to show: how soon its notch windows are on screen
# after the start, its wake-ups per second while idle, and its resident memory. Printed, not
# asserted. Runs on $DISPLAY, or on a private Xvfb when there is none.
# Usage: bench/idle_app.sh [BUILD_DIR] [IDLE_SECONDS]
set -euo pipefail
top="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$top/build}"
idle="${2:-10}"
nimbra="$build/src/app/nimbra"
[[ -x "$nimbra" ]] || { echo "no executable at $nimbra (build first)" >&2; exit 1; }

work="$(mktemp -d /tmp/nimbra-idle.XXXXXX)"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

if [[ -z "${DISPLAY:-}" ]]; then
    Xvfb -displayfd 3 -screen 0 1512x982x24 -nolisten tcp +extension RANDR 3>"$work/display" >/dev/null 2>&1 &
    pids+=($!)
    for _ in $(seq 100); do [[ -s "$work/display" ]] && break; sleep 0.1; done
    export DISPLAY=":$(head -n1 "$work/display")"
    openbox --sm-disable >/dev/null 2>&1 &
    pids+=($!)
    sleep 0.5
fi

# A profile of its own: the notch on every display (a virtual screen is no built-in panel).
mkdir -p "$work/config/nimbra"
printf '{ "display.showOnAll": true }\n' >"$work/config/nimbra/settings.json"

started=$(date +%s%N)
XDG_CONFIG_HOME="$work/config" NIMBRA_DEBUG=1 "$nimbra" 2>"$work/log" &
app=$!
pids=("$app" "${pids[@]}")

shown=""
for _ in $(seq 1000); do
    if xdotool search --onlyvisible --pid "$app" >/dev/null 2>&1; then
        shown=$(date +%s%N)
        break
    fi
    kill -0 "$app" 2>/dev/null || break
    sleep 0.005
done
if [[ -z "$shown" ]]; then
    echo "no window of Nimbra appeared" >&2
    cat "$work/log" >&2
    exit 1
fi
echo "windows shown after start: $(((shown - started) / 1000000)) ms (goal: 300 ms)"

switches() { # voluntary + involuntary context switches of every thread
    local total=0 n
    for status in /proc/"$app"/task/*/status; do
        n=$(awk '/^(voluntary|nonvoluntary)_ctxt_switches/ { s += $2 } END { print s + 0 }' "$status" 2>/dev/null || echo 0)
        total=$((total + n))
    done
    echo "$total"
}

sleep 2 # let start-up work settle
before=$(switches)
sleep "$idle"
after=$(switches)
rss_kb=$(awk '/^VmRSS/ { print $2 }' /proc/"$app"/status)
echo "idle wake-ups: $(((after - before))) in ${idle} s ($(awk -v n=$((after - before)) -v s="$idle" 'BEGIN { printf "%.1f", n / s }')/s; goal: none of its own)"
echo "resident memory: $((rss_kb / 1024)) MB (goal: under 40 MB)"
kill -TERM "$app"
wait "$app" && echo "stopped cleanly on SIGTERM" || echo "exit status $? on SIGTERM"
