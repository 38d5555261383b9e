#!/usr/bin/env bash
# Installs what is missing, builds, and starts Nimbra. Without a DISPLAY it first starts a
# virtual one (Xvfb 1512x982, openbox, xcompmgr, trayer) and runs Nimbra there with its own
# settings profile in the build tree (taking the media keys), never the user's settings.
# However the run ends (Ctrl+C, SIGTERM, a closed terminal), everything it started is stopped.
# NIMBRA_BUILD_DIR names another build folder to use (default: build/).
set -euo pipefail
top="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$top/scripts/setup.sh"

build="${NIMBRA_BUILD_DIR:-$top/build}"
# An existing build folder keeps the configuration it has.
[[ -f "$build/CMakeCache.txt" ]] || cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)" --target nimbra

if [[ -n "${DISPLAY:-}" ]]; then
    exec "$build/src/app/nimbra" "$@"
fi

# Stops Nimbra first, while its X server and buses are still there, then the rest, last started
# first, and any job not yet listed (a signal may land between a start and its listing); one
# that has not gone within 5 s is killed.
source "$top/scripts/services.sh"
app=""
pids=()
cleanup() {
    trap '' INT TERM HUP QUIT
    set +e
    local pid
    for pid in $(jobs -p); do
        [[ " ${pids[*]} $app " == *" $pid "* ]] || pids=("$pid" "${pids[@]}")
    done
    [[ -n "$app" ]] && pids+=("$app")
    stop_services
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP
trap 'exit 131' QUIT

profile="$build/run-profile"
mkdir -p "$profile/config/nimbra" "$profile/home" "$profile/runtime"
chmod 700 "$profile/runtime"
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$profile/runtime}"
settings="$profile/config/nimbra/settings.json"
# Take the volume keys so that a readout can be called up. The virtual screen shows the notch
# with the defaults, as a desktop's primary display does.
[[ -f "$settings" ]] || printf '{\n    "module.hud.replacement": true\n}\n' >"$settings"

# Xvfb prints its display number once it listens.
start_service 20 '^[0-9]+$' "$profile/xvfb.log" Xvfb -displayfd 1 -screen 0 1512x982x24 -nolisten tcp +extension RANDR
export DISPLAY=":$ready_line"
# Nimbra's windows are mapped once openbox has finished starting (it runs its start-up command
# then): one mapped earlier can stay unmanaged until some later event.
start_service 20 '^openbox-ready$' /dev/null \
    env HOME="$profile/home" openbox --sm-disable --startup "echo openbox-ready"
xcompmgr >/dev/null 2>&1 &
pids+=($!)
# A light panel of its own colour: "transparent" shows the root window's picture, which a bare
# server does not have, so the tray would be black and the dark tray mark unseen.
trayer --edge top --align right --widthtype request --height 24 --transparent true --alpha 0 --tint 0xdedede >/dev/null 2>&1 &
pids+=($!)

# A session bus of its own when there is none, for the players (MPRIS), the tray's
# StatusNotifier host and the hand-over to a running Nimbra.
if [[ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ]] && command -v dbus-daemon >/dev/null; then
    rm -f "$profile/bus"
    start_service 10 '^unix:' /dev/null dbus-daemon --session --nofork --address="unix:path=$profile/bus" --print-address=1
    export DBUS_SESSION_BUS_ADDRESS="unix:path=$profile/bus"
fi

# A sound server with one null sink of its own, so that the volume keys have a level to change.
if command -v pulseaudio >/dev/null; then
    mkdir -p "$profile/pulse"
    rm -f "$profile/pulse/native"
    start_service 20 'Daemon startup complete' "$profile/pulse.log" \
        env -u DISPLAY pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --disable-shm=yes \
        --log-target=stderr --log-level=info \
        -L "module-native-protocol-unix socket=$profile/pulse/native auth-anonymous=1" \
        -L "module-null-sink sink_name=nimbra_null sink_properties=device.description=Null"
    export PULSE_SERVER="unix:$profile/pulse/native"
    # Half way, so that a volume key visibly moves it either way.
    pactl set-sink-volume nimbra_null 50% || true
fi

echo "Nimbra runs on the virtual display $DISPLAY. To call up a volume readout and look at it:"
echo "    DISPLAY=$DISPLAY xdotool key XF86AudioRaiseVolume; DISPLAY=$DISPLAY $top/scripts/screenshot.sh /tmp/nimbra.png"
echo "(the screenshot waits until the readout has finished growing)"
[[ -S "$profile/bus" ]] && echo "A player started with DBUS_SESSION_BUS_ADDRESS=$DBUS_SESSION_BUS_ADDRESS${PULSE_SERVER:+ PULSE_SERVER=$PULSE_SERVER} shows under now playing."
echo "Stop with Ctrl+C."
XDG_CONFIG_HOME="$profile/config" "$build/src/app/nimbra" "$@" &
app=$!
wait "$app"
