#!/usr/bin/env bash
# Figures for an idle Nimbra with nothing to show: how soon its notch windows are on screen
# after the start, its wake-ups per second while idle, and its resident memory. Printed, not
# asserted. Runs on $DISPLAY, or on a private Xvfb when there is none.
# The power code runs against the real upowerd on a private system bus, over a laptop faked
# with umockdev (a battery at 60 % discharging, the adapter out): the figures include what the
# power code costs while nothing changes (D-Bus messages it was woken for), and what one
# plug-in costs (readings made).
# Usage: bench/idle_app.sh [BUILD_DIR] [IDLE_SECONDS]
set -euo pipefail
top="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$top/build}"
idle="${2:-10}"
nimbra="$build/src/app/nimbra"
[[ -x "$nimbra" ]] || { echo "no executable at $nimbra (build first)" >&2; exit 1; }

source "$top/bench/support.sh"
bench_work idle

# A private system bus with upowerd over a umockdev testbed (tests/support/umockdev_bed.py).
start_service 20 '^unix:' "$work/system.log" \
    dbus-daemon --session --nofork --nopidfile --address="unix:path=$work/system_bus" --print-address=1
export DBUS_SYSTEM_BUS_ADDRESS="$ready_line"
# The testbed reads its commands from one pipe and answers on another.
mkfifo "$work/bed.in" "$work/bed.out"
umockdev-wrapper /usr/bin/python3 "$top/tests/support/umockdev_bed.py" <"$work/bed.in" >"$work/bed.out" 2>"$work/bed.err" &
pids+=($!)
exec 9>"$work/bed.in" 8<"$work/bed.out"
bed_failed() {
    echo "testbed did not answer: $1" >&2
    cat "$work/bed.err" >&2
    return 1
}
bed() { # one command to the testbed, waiting for its answer
    local answer
    # One command is one line, however it was written here.
    tr '\n' ' ' <<<"$1" >&9
    echo >&9
    IFS= read -r -t 20 -u 8 answer || bed_failed "$1"
}
IFS= read -r -t 20 -u 8 testbed || bed_failed "its folder"
bed '{"add": "power_supply", "name": "AC", "attributes": {"type": "Mains", "online": "0"}}'
battery='{"type": "Battery", "present": "1", "status": "Discharging", "energy_full": "60000000",'
battery+=' "energy_full_design": "80000000", "energy_now": "36000000", "voltage_now": "12000000"}'
bed '{"add": "power_supply", "name": "BAT0", "attributes": '"$battery"'}'
mkdir -p "$work/upower-history"
UMOCKDEV_DIR="$testbed" UPOWER_HISTORY_DIR="$work/upower-history" umockdev-wrapper /usr/libexec/upowerd \
    >/dev/null 2>&1 &
pids+=($!)
gdbus wait --address "$DBUS_SYSTEM_BUS_ADDRESS" --timeout 20 org.freedesktop.UPower ||
    { echo "upowerd did not take its name on the bus" >&2; exit 1; }

[[ -n "${DISPLAY:-}" ]] || bench_private_x --wm +extension RANDR

# A profile of its own: the notch on every display (a virtual screen is no built-in panel), not
# the first start (onboarding's figures are bench/onboarding_start.sh's), and a full shelf of 24
# pictures, whose files are watched the whole time.
mkdir -p "$work/config/nimbra" "$work/shelf"
shelf=""
for i in $(seq 1 24); do
    convert -size 640x480 "plasma:" "$work/shelf/photo-$i.jpg" 2>/dev/null || printf 'x' >"$work/shelf/photo-$i.jpg"
    shelf+="${shelf:+, }\"$work/shelf/photo-$i.jpg\""
done
printf '{ "display.showOnAll": true, "onboarding.seen": true, "shelf.paths": [ %s ] }\n' "$shelf" \
    >"$work/config/nimbra/settings.json"

started=$(date +%s%N)
XDG_CONFIG_HOME="$work/config" NIMBRA_DEBUG=1 "$nimbra" 2>"$work/log" &
app=$!
pids+=("$app")

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
# Every message the system bus hands Nimbra: UPower's signals (Nimbra follows every object of
# the service) and replies to its own calls.
nimbra_names=$(busctl --address="$DBUS_SYSTEM_BUS_ADDRESS" list --no-legend 2>/dev/null | awk -v pid="$app" '$2 == pid { print $1 }' | sort -u)
upowerd_name=$(busctl --address="$DBUS_SYSTEM_BUS_ADDRESS" status org.freedesktop.UPower 2>/dev/null | awk -F= '/^UniqueName=/ { print $2 }')
# Ready once it is a monitor: the bus then takes its name away, which it shows.
start_service 20 'NameLost' "$work/bus.log" dbus-monitor --address "$DBUS_SYSTEM_BUS_ADDRESS" --profile
messages_to_nimbra() {
    local names
    names=$(echo "$nimbra_names" | paste -sd'|')
    awk -v names="^(${names:-none})$" -v upower="$upowerd_name" '
        $1 == "sig" && $4 == upower { n++ }
        ($1 == "mr" || $1 == "err") && $5 ~ names { n++ }
        END { print n + 0 }' "$work/bus.log"
}
before=$(switches)
sleep "$idle"
after=$(switches)
idle_messages=$(messages_to_nimbra)
rss_kb=$(awk '/^VmRSS/ { print $2 }' /proc/"$app"/status)
echo "idle wake-ups: $(((after - before))) in ${idle} s ($(awk -v n=$((after - before)) -v s="$idle" 'BEGIN { printf "%.1f", n / s }')/s; goal: none of its own)"
echo "power code while on battery and idle: woken by $idle_messages D-Bus messages from UPower in ${idle} s, no timer, no reading (goal: 0 of its own; upowerd polls the battery itself every 30 s)"
echo "resident memory: $((rss_kb / 1024)) MB (goal: under 40 MB)"

# One plug-in: the adapter comes online and the battery starts charging in one hardware event.
readings_before=$(grep -c "power   battery " "$work/log" || true)
bed '{"set": ["/sys/devices/AC", "/sys/devices/BAT0"], "attributes": [{"online": "1"}, {"status": "Charging"}]}'
bench_wait_log 5 "$work/log" "power   battery " $((readings_before + 1)) >/dev/null || :
sleep 2 # anything that would follow the first reading has landed by now
readings=$(($(grep -c "power   battery " "$work/log" || true) - readings_before))
plug_messages=$(($(messages_to_nimbra) - idle_messages))
echo "one plug-in: $plug_messages D-Bus messages from UPower, $readings reading(s), shown as: $(grep "power   battery " "$work/log" | tail -n1 | sed 's/.*battery //') (goal: 1 reading, Charging)"
kill -TERM "$app"
wait "$app" && echo "stopped cleanly on SIGTERM" || echo "exit status $? on SIGTERM"
