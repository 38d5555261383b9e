# Shared by the benchmark scripts (sourced, after `set -euo pipefail`).

# bench_work NAME: a work folder in $work that goes at exit, together with every process whose
# PID the script adds to $pids (stopped by PID, last added first when put in front).
bench_work() {
    work="$(mktemp -d "/tmp/nimbra-$1.XXXXXX")"
    pids=()
    trap bench_cleanup EXIT
}

bench_cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}

# bench_private_x [--wm] [XVFB_ARGUMENTS...]: an Xvfb of the script's own (1512x982) on
# $DISPLAY, with openbox managing its windows when --wm is given (waited for until it runs).
bench_private_x() {
    local wm=0
    if [[ "${1:-}" == "--wm" ]]; then
        wm=1
        shift
    fi
    Xvfb -displayfd 3 -screen 0 1512x982x24 -nolisten tcp "$@" 3>"$work/display" >/dev/null 2>&1 &
    pids+=($!)
    for _ in $(seq 100); do [[ -s "$work/display" ]] && break; sleep 0.1; done
    export DISPLAY=":$(head -n1 "$work/display")"
    if ((wm)); then
        # Waited for until it has finished starting (it runs its start-up command then): a
        # window mapped earlier can stay unmanaged until some later event.
        openbox --sm-disable --startup "touch $work/openbox.ready" >/dev/null 2>&1 &
        pids=($! "${pids[@]}")
        for _ in $(seq 100); do
            [[ -e "$work/openbox.ready" ]] && break
            sleep 0.1
        done
    fi
}
