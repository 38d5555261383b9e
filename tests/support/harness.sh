#!/usr/bin/env bash
# Runs a command inside the services the tests need, and always stops them (by PID):
#   - Xvfb at 1512x982 with openbox and xcompmgr        -> DISPLAY
#     (NIMBRA_HARNESS_COMPOSITOR=none leaves the compositor out, as many X11 desktops run none)
#   - a private D-Bus session bus                        -> DBUS_SESSION_BUS_ADDRESS
#   - a private D-Bus "system" bus (for dbusmock/upowerd) -> DBUS_SYSTEM_BUS_ADDRESS
#   - PulseAudio with a null sink on a private socket    -> PULSE_SERVER
# Everything writes below one temporary folder that is removed afterwards; the caller's
# HOME, settings and buses are never touched.
# Usage: harness.sh COMMAND [ARGS...]
set -uo pipefail

root="$(mktemp -d /tmp/nimbra-harness.XXXXXX)"
pids=()

cleanup() {
    local pid
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        pid="${pids[i]}"
        kill "$pid" 2>/dev/null
    done
    for pid in "${pids[@]}"; do
        for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
        kill -9 "$pid" 2>/dev/null
    done
    rm -rf "$root"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

wait_for() { # seconds, test command...
    local limit=$(($1 * 10)); shift
    for ((n = 0; n < limit; n++)); do "$@" && return 0; sleep 0.1; done
    echo "harness: timed out waiting for: $*" >&2
    return 1
}

mkdir -p "$root/home" "$root/config" "$root/cache" "$root/runtime" "$root/pulse"
chmod 700 "$root/runtime"
export HOME="$root/home" XDG_CONFIG_HOME="$root/config" XDG_CACHE_HOME="$root/cache"
export XDG_RUNTIME_DIR="$root/runtime"
export NIMBRA_HARNESS_ROOT="$root"
# python3-dbusmock is installed for Debian's own interpreter, which may not be first on PATH.
export NIMBRA_PYTHON=/usr/bin/python3
unset WAYLAND_DISPLAY SESSION_MANAGER

# X server, window manager, compositor.
Xvfb -displayfd 3 -screen 0 1512x982x24 -nolisten tcp +extension RANDR +extension XTEST \
    3>"$root/display" >"$root/xvfb.log" 2>&1 &
pids+=($!)
wait_for 20 test -s "$root/display" || exit 1
export DISPLAY=":$(head -n1 "$root/display")"
# A window mapped while openbox is still starting can stay unmanaged until some later event:
# the tests begin once it has finished starting (it runs its start-up command then).
openbox --sm-disable --startup "touch $root/openbox.ready" >"$root/openbox.log" 2>&1 &
pids+=($!)
wait_for 20 test -e "$root/openbox.ready" || exit 1
if [[ "${NIMBRA_HARNESS_COMPOSITOR:-}" != none ]]; then
    xcompmgr >"$root/xcompmgr.log" 2>&1 &
    pids+=($!)
fi

# Session and "system" buses.
start_bus() { # name
    dbus-daemon --session --nofork --nopidfile --address="unix:path=$root/$1_bus" --print-address=3 \
        3>"$root/$1.address" >"$root/$1.log" 2>&1 &
    pids+=($!)
    wait_for 10 test -s "$root/$1.address" || exit 1
}
start_bus session
start_bus system
export DBUS_SESSION_BUS_ADDRESS="$(head -n1 "$root/session.address")"
export DBUS_SYSTEM_BUS_ADDRESS="$(head -n1 "$root/system.address")"

# Sound server with one null sink, away from the X server and any other bus.
env -u DISPLAY -u DBUS_SESSION_BUS_ADDRESS pulseaudio -n --daemonize=no --exit-idle-time=-1 \
    --use-pid-file=no --disable-shm=yes \
    -L "module-native-protocol-unix socket=$root/pulse/native auth-anonymous=1" \
    -L "module-null-sink sink_name=nimbra_null sink_properties=device.description=Null" \
    >"$root/pulse.log" 2>&1 &
pids+=($!)
export PULSE_SERVER="unix:$root/pulse/native"
wait_for 20 pactl info >/dev/null 2>&1 || { cat "$root/pulse.log" >&2; exit 1; }
wait_for 20 xdpyinfo >/dev/null 2>&1 || exit 1

"$@"
