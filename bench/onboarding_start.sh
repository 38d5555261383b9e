#!/usr/bin/env bash
# The first start with onboarding: how soon the notch windows are on screen, and how soon the
# onboarding window is (it waits 0.4 s after launch by design). Printed, not asserted. Runs on
# an Xvfb with openbox of its own, so that the window it opens takes no one else's focus.
# Usage: bench/onboarding_start.sh [BUILD_DIR]
set -euo pipefail
top="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$top/build}"
nimbra="$build/src/app/nimbra"
[[ -x "$nimbra" ]] || { echo "no executable at $nimbra (build first)" >&2; exit 1; }

source "$top/bench/support.sh"
bench_work onboarding

bench_private_x --wm +extension RANDR

# A first start: no onboarding seen; the notch on every display (a virtual screen is no
# built-in panel), so that it has windows to show.
mkdir -p "$work/config/nimbra"
printf '{ "display.showOnAll": true }\n' >"$work/config/nimbra/settings.json"

started=$(date +%s%N)
XDG_CONFIG_HOME="$work/config" NIMBRA_DEBUG=1 "$nimbra" 2>"$work/log" &
app=$!
pids+=("$app")

notch="" onboarding=""
for _ in $(seq 2000); do
    windows=$(xdotool search --onlyvisible --pid "$app" 2>/dev/null || true)
    if [[ -n "$windows" && -z "$notch" ]]; then
        notch=$(date +%s%N)
    fi
    for window in $windows; do
        if xdotool getwindowgeometry "$window" 2>/dev/null | grep -q "Geometry: 580x"; then
            onboarding=$(date +%s%N)
        fi
    done
    [[ -n "$onboarding" ]] && break
    kill -0 "$app" 2>/dev/null || break
    sleep 0.005
done
if [[ -z "$notch" || -z "$onboarding" ]]; then
    echo "the windows did not appear" >&2
    cat "$work/log" >&2
    exit 1
fi
echo "first start: notch windows shown after $(((notch - started) / 1000000)) ms (goal: 300 ms)"
echo "first start: onboarding shown after $(((onboarding - started) / 1000000)) ms (it waits 400 ms after launch)"
kill -TERM "$app"
wait "$app" && echo "stopped cleanly on SIGTERM" || echo "exit status $? on SIGTERM"
