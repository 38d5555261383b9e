#!/usr/bin/env bash
# What now playing costs while nothing moves and while music plays, against a real player (mpv
# with mpv-mpris) on a private session bus:
#   - wake-ups of the monitor's main thread with no player, and with a paused player;
#   - wake-ups and CPU (share of one core) over 30 s of playback with the resident readout on
#     screen (only the drift check every 15 s and the equaliser's frames should run).
# Wake-ups are the main thread's voluntary context switches (each timer expiry or event that
# wakes its loop is one). Printed, not asserted. Plays to $PULSE_SERVER when set, else to no
# sound device at all.
# Usage: bench/now_playing_idle.sh [BUILD_DIR] [SECONDS]
set -euo pipefail
top="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$top/build}"
seconds="${2:-30}"
probe="$build/bench/now_playing_idle_bench"
[[ -x "$probe" ]] || { echo "build $probe first (cmake --build $build --target now_playing_idle_bench)" >&2; exit 1; }

source "$top/bench/support.sh"
bench_work now-playing

start_service 20 '^unix:' "$work/bus.log" \
    dbus-daemon --session --nofork --nopidfile --address="unix:path=$work/bus" --print-address=1
export DBUS_SESSION_BUS_ADDRESS="$ready_line"
sox -n -r 8000 -c 1 --comment "TITLE=Bench Tone" --add-comment "ARTIST=Nimbra" "$work/tone.flac" \
    synth $((seconds * 3 + 60)) sine 440 vol 0.1
ao=null
[[ -n "${PULSE_SERVER:-}" ]] && ao=pulse

switches() { awk '/^voluntary_ctxt_switches/ {print $2}' "/proc/$1/task/$1/status"; }
ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }

# Starts the probe, waits for its first track (or 5 s without one), then measures.
measure() { # label, probe argument...
    local label="$1"; shift
    "$probe" "$@" >"$work/probe.out" 2>/dev/null &
    local pid=$!
    pids+=("$pid")
    bench_wait_log 5 "$work/probe.out" '^track' >/dev/null || :
    sleep 2 # start-up settles
    local s0 t0 s1 t1
    s0="$(switches "$pid")"; t0="$(ticks "$pid")"
    sleep "$seconds"
    s1="$(switches "$pid")"; t1="$(ticks "$pid")"
    local hz; hz="$(getconf CLK_TCK)"
    local cpu; cpu="$(awk -v t="$((t1 - t0))" -v hz="$hz" -v s="$seconds" 'BEGIN { printf "%.2f", 100 * t / hz / s }')"
    echo "$label: $((s1 - s0)) wake-ups of the main thread over ${seconds} s; CPU ${cpu} % of one core"
    kill "$pid"
    wait "$pid" 2>/dev/null || true
}

measure "no player"

mpv --no-config --script=/usr/lib/mpv-mpris/mpris.so --no-video --ao="$ao" --no-terminal --pause "$work/tone.flac" \
    >/dev/null 2>&1 &
mpv=$!
pids+=("$mpv")
measure "paused player"
kill "$mpv"; wait "$mpv" 2>/dev/null || true

mpv --no-config --script=/usr/lib/mpv-mpris/mpris.so --no-video --ao="$ao" --no-terminal "$work/tone.flac" \
    >/dev/null 2>&1 &
mpv=$!
pids+=("$mpv")
measure "playing, resident readout on screen" --resident
