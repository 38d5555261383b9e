#!/usr/bin/env bash
# The settings window of a running Nimbra, on a private Xvfb with a window manager: the time
# from a request (a second start, which hands over) to the window's first painted frame, cold
# (the first opening of the run) and warm (a later one); resident memory before opening, while
# open and after closing; and the main thread's wake-ups while the window shows the music page
# (whose scene animates), once it is minimised and once it is closed. Printed, not asserted.
# Usage: bench/settings_window.sh [BUILD_DIR] [SECONDS]
set -euo pipefail
top="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$top/build}"
seconds="${2:-5}"
nimbra="$build/src/app/nimbra"
[[ -x "$nimbra" ]] || { echo "no executable at $nimbra (build first)" >&2; exit 1; }

source "$top/bench/support.sh"
bench_work settings-window

bench_private_x --wm
if [[ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ]]; then
    start_service 20 '^unix:' "$work/bus.log" \
        dbus-daemon --session --nofork --nopidfile --address="unix:path=$work/bus" --print-address=1
    export DBUS_SESSION_BUS_ADDRESS="$ready_line"
fi

export XDG_CONFIG_HOME="$work/config" NIMBRA_DEBUG=1 NIMBRA_SETTINGS_PAGE=music
# Not the first start: onboarding's window would be measured too.
mkdir -p "$XDG_CONFIG_HOME/nimbra"
printf '{ "onboarding.seen": true }\n' >"$XDG_CONFIG_HOME/nimbra/settings.json"
"$nimbra" 2>"$work/log" &
app=$!
pids+=("$app")
bench_wait_log 10 "$work/log" "accessibility trusted" >/dev/null || :
sleep 1 # start-up settles

rss() { awk '/^VmRSS/ { printf "%.1f", $2 / 1024 }' "/proc/$app/status"; }
wakeups() { # the main thread's voluntary context switches over $seconds
    local before after
    before=$(awk '/^voluntary_ctxt_switches/ {print $2}' "/proc/$app/task/$app/status")
    sleep "$seconds"
    after=$(awk '/^voluntary_ctxt_switches/ {print $2}' "/proc/$app/task/$app/status")
    echo $((after - before))
}
started() { awk '{ print $1 }' /proc/uptime; }
since() { # milliseconds from an uptime to the n-th first frame's log stamp
    grep "settings window first frame" "$work/log" | sed -n "$2p" | sed 's/^\[ *\([0-9.]*\)\].*/\1/' |
        awk -v t0="$1" '{ printf "%.0f", ($1 - t0) * 1000 }'
}
frame_after() { # waits for the n-th first-frame line and prints its figure
    { bench_wait_log 10 "$work/log" "settings window first frame" "$1" || :; } | sed -n "$1p" |
        sed 's/.*first frame \([0-9.]*\) ms.*/\1/'
}
window() { xdotool search --onlyvisible --name '^Nimbra Settings$' 2>/dev/null | head -n1; }

idle=$(wakeups)
before=$(rss)
t0=$(started)
"$nimbra" 2>/dev/null
cold=$(frame_after 1)
cold_total=$(since "$t0" 1)
sleep 1
open_rss=$(rss)
open_wakeups=$(wakeups)
id=$(window)
# Closed through the window manager's close button, just above the client's top right corner.
x=$(xwininfo -id "$id" | awk '/Absolute upper-left X/ {print $4}')
y=$(xwininfo -id "$id" | awk '/Absolute upper-left Y/ {print $4}')
w=$(xwininfo -id "$id" | awk '/Width:/ {print $2}')
for _ in $(seq 20); do
    [[ -z "$(window)" ]] && break
    xdotool mousemove $((x + w - 11)) $((y - 11)) click 1
    sleep 0.25
done
[[ -z "$(window)" ]] || echo "the window did not close" >&2
sleep 1
closed_rss=$(rss)
closed_wakeups=$(wakeups)
t0=$(started)
"$nimbra" 2>/dev/null
warm=$(frame_after 2)
warm_total=$(since "$t0" 2)
sleep 1
xdotool windowminimize --sync "$(window)"
minimised_wakeups=$(wakeups)

echo "settings window, request to first painted frame: cold ${cold} ms, warm ${warm} ms (goal: under 200 ms cold)"
echo "  the same from launching a second nimbra (its start, the hand-over, then the request): cold ${cold_total} ms, warm ${warm_total} ms"
echo "resident memory: ${before} MB before opening, ${open_rss} MB open, ${closed_rss} MB after closing ($(awk -v a="$closed_rss" -v b="$before" 'BEGIN { printf "%.1f", a - b }') MB kept; goal: at most 15)"
echo "main-thread wake-ups over ${seconds} s: ${idle} idle before opening, ${open_wakeups} open on the music page, ${minimised_wakeups} minimised, ${closed_wakeups} closed (goal: none from the previews when minimised or closed)"
