# Shared by the benchmark scripts (sourced, after `set -euo pipefail`).
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/services.sh"

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
    start_service 20 '^[0-9]+$' /dev/null Xvfb -displayfd 1 -screen 0 1512x982x24 -nolisten tcp "$@"
    export DISPLAY=":$ready_line"
    if ((wm)); then
        # Waited for until it has finished starting (it runs its start-up command then): a
        # window mapped earlier can stay unmanaged until some later event.
        start_service 20 '^openbox-ready$' /dev/null openbox --sm-disable --startup "echo openbox-ready"
    fi
}
