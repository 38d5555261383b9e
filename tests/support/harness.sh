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
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/services.sh"

cleanup() {
    stop_services
    rm -rf "$root"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

mkdir -p "$root/home" "$root/config" "$root/cache" "$root/runtime" "$root/pulse"
chmod 700 "$root/runtime"
export HOME="$root/home" XDG_CONFIG_HOME="$root/config" XDG_CACHE_HOME="$root/cache"
export XDG_RUNTIME_DIR="$root/runtime"
export NIMBRA_HARNESS_ROOT="$root"
# python3-dbusmock is installed for Debian's own interpreter, which may not be first on PATH.
export NIMBRA_PYTHON=/usr/bin/python3
unset WAYLAND_DISPLAY SESSION_MANAGER

# X server (it prints its display number once it listens), window manager, compositor.
start_service 20 '^[0-9]+$' "$root/xvfb.log" \
    Xvfb -displayfd 1 -screen 0 1512x982x24 -nolisten tcp +extension RANDR +extension XTEST || exit 1
export DISPLAY=":$ready_line"
# A window mapped while openbox is still starting can stay unmanaged until some later event:
# the tests begin once it has finished starting (it runs its start-up command then).
start_service 20 '^openbox-ready$' "$root/openbox.log" \
    openbox --sm-disable --startup "echo openbox-ready" || exit 1
if [[ "${NIMBRA_HARNESS_COMPOSITOR:-}" != none ]]; then
    xcompmgr >"$root/xcompmgr.log" 2>&1 &
    pids+=($!)
fi

# Session and "system" buses; each prints its address once it listens.
start_service 10 '^unix:' "$root/session.log" \
    dbus-daemon --session --nofork --nopidfile --address="unix:path=$root/session_bus" --print-address=1 || exit 1
export DBUS_SESSION_BUS_ADDRESS="$ready_line"
start_service 10 '^unix:' "$root/system.log" \
    dbus-daemon --session --nofork --nopidfile --address="unix:path=$root/system_bus" --print-address=1 || exit 1
export DBUS_SYSTEM_BUS_ADDRESS="$ready_line"

# Sound server with one null sink, away from the X server and any other bus; it says when it
# has started, its modules loaded.
start_service 20 'Daemon startup complete' "$root/pulse.log" \
    env -u DISPLAY -u DBUS_SESSION_BUS_ADDRESS pulseaudio -n --daemonize=no --exit-idle-time=-1 \
    --use-pid-file=no --disable-shm=yes --log-target=stderr --log-level=info \
    -L "module-native-protocol-unix socket=$root/pulse/native auth-anonymous=1" \
    -L "module-null-sink sink_name=nimbra_null sink_properties=device.description=Null" || exit 1
export PULSE_SERVER="unix:$root/pulse/native"

"$@"
