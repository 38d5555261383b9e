#!/usr/bin/env bash
# The menu-bar eyes against xeyes, in a nested Xephyr (XTest moves on the outer Xvfb reach it as
# real device input, so both see XInput2 raw events) with trayer as the tray host:
#   1. the pointer circles at 60 moves/s: CPU of Nimbra (eyes on), of xeyes and of the tray host;
#   2. the pointer rests: Nimbra's wake-ups per second while the eyes doze (waiting for the next
#      blink), while drowsy and once asleep (the eyes' own share should then be none).
# Printed, not asserted. Usage: bench/eyes_pointer.sh [BUILD_DIR] [SECONDS]
set -euo pipefail
top="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$top/build}"
seconds="${2:-10}"
nimbra="$build/src/app/nimbra"
[[ -x "$nimbra" ]] || { echo "no executable at $nimbra (build first)" >&2; exit 1; }

work="$(mktemp -d /tmp/nimbra-eyes.XXXXXX)"
pids=()
cleanup() {
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

display_of() { # file
    for _ in $(seq 100); do [[ -s "$1" ]] && break; sleep 0.1; done
    echo ":$(head -n1 "$1")"
}
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp +extension XTEST 3>"$work/outer" >/dev/null 2>&1 &
pids+=($!)
outer="$(display_of "$work/outer")"
DISPLAY="$outer" Xephyr -displayfd 3 -screen 1200x760 -nolisten tcp -noreset 3>"$work/inner" >/dev/null 2>&1 &
pids+=($!)
inner="$(display_of "$work/inner")"
window=""
for _ in $(seq 100); do
    window="$(DISPLAY="$outer" xdotool search --class Xephyr 2>/dev/null | head -n1 || true)"
    [[ -n "$window" ]] && break
    sleep 0.1
done
[[ -n "$window" ]] || { echo "Xephyr did not show its window" >&2; exit 1; }

export DISPLAY="$inner"
trayer --edge top --align right --widthtype request --height 24 --SetDockType true >/dev/null 2>&1 &
tray=$!
pids+=($tray)
xeyes -geometry 60x40+0+0 >/dev/null 2>&1 &
xeyes=$!
pids+=($xeyes)

# A profile of its own: eyes on, drowsy after 6 s of rest and asleep after 14 s.
mkdir -p "$work/config/nimbra"
printf '{ "eyes.enabled": true, "eyes.drowsyAfter": 6, "eyes.asleepAfter": 14, "onboarding.seen": true }\n' \
    >"$work/config/nimbra/settings.json"
XDG_CONFIG_HOME="$work/config" NIMBRA_DEBUG=1 "$nimbra" 2>"$work/log" &
app=$!
pids+=($app)
for _ in $(seq 100); do grep -q "status item created" "$work/log" 2>/dev/null && break; sleep 0.1; done
sleep 1

ticks() { # nanoseconds on a CPU, all threads
    cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ s += $1 } END { printf "%d\n", s }'
}
switches() { # voluntary context switches (sleeps that ended in a wake-up) of every thread; a
    # preemption on a busy machine is none
    local total=0 n
    for status in /proc/"$1"/task/*/status; do
        n=$(awk '/^voluntary_ctxt_switches/ { s += $2 } END { print s + 0 }' "$status" 2>/dev/null || echo 0)
        total=$((total + n))
    done
    echo "$total"
}

# 1. Circling: one xdotool chain of moves 1/60 s apart around the middle of the nested screen.
moves=$((seconds * 60))
chain=()
for ((i = 0; i < moves; i++)); do
    read -r x y < <(awk -v i="$i" 'BEGIN { a = i * 6.2831853 / 120; printf "%d %d\n", 600 + 300 * cos(a), 380 + 250 * sin(a) }')
    chain+=(mousemove --window "$window" "$x" "$y" sleep 0.0166)
done
declare -A cpu0 woke0
for pid in "$app" "$xeyes" "$tray"; do cpu0[$pid]=$(ticks "$pid"); woke0[$pid]=$(switches "$pid"); done
[[ -n "${NIMBRA_PERF:-}" ]] && { perf record -g -o "$NIMBRA_PERF" -p "$app" >/dev/null 2>&1 & perfpid=$!; }
started=$(date +%s%N)
DISPLAY="$outer" xdotool "${chain[@]}"
[[ -n "${NIMBRA_PERF:-}" ]] && { kill -INT "$perfpid"; wait "$perfpid" || true; }
elapsed_ms=$((($(date +%s%N) - started) / 1000000))
usage() { # name pid
    awk -v name="$1" -v t=$(($(ticks "$2") - cpu0[$2])) -v n=$(($(switches "$2") - woke0[$2])) -v ms="$elapsed_ms" \
        'BEGIN { printf "  %-18s %.2f%% CPU, %.0f wake-ups/s\n", name ":", 100 * t / 1e6 / ms, n / ms * 1000 }'
}
echo "pointer circling at 60 moves/s for ${elapsed_ms} ms:"
usage "Nimbra (eyes on)" "$app"
usage "xeyes" "$xeyes"
usage "trayer (host)" "$tray"

# 2. Resting: wake-ups per second in each stage of the eyes, timed by their own log lines.
main_switches() { awk '/^voluntary_ctxt_switches/ { s += $2 } END { print s + 0 }' "/proc/$app/status"; }
rate() { # seconds; the main thread's, where every timer of the eyes runs (threads may come and go)
    local before after
    before=$(main_switches)
    sleep "$1"
    after=$(main_switches)
    awk -v n=$((after - before)) -v s="$1" 'BEGIN { printf "%.1f", n / s }'
}
sleep 1.5 # the eyes settle and start to doze
echo "pointer at rest, wake-ups per second of Nimbra's main thread:"
echo "  awake, waiting for the next blink: $(rate 3)"
for _ in $(seq 200); do grep -q "drowsy after" "$work/log" && break; sleep 0.1; done
sleep 0.5
echo "  drowsy:                            $(rate 4)"
for _ in $(seq 200); do grep -q "asleep after" "$work/log" && break; sleep 0.1; done
sleep 2 # the lids finish closing and the clock stops
echo "  asleep:                            $(rate 5)"
