# Shared by the benchmark scripts (sourced, after `set -euo pipefail`).
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/services.sh"

# bench_work NAME: a work folder in $work that goes at exit, together with every process whose
# PID the script adds to $pids (stopped last started first, see stop_services).
bench_work() {
    work="$(mktemp -d "/tmp/nimbra-$1.XXXXXX")"
    pids=()
    trap bench_cleanup EXIT
}

bench_cleanup() {
    # A failed kill of a process that has already ended must not become the script's status.
    set +e
    stop_services
    rm -rf "$work"
}

# bench_wait_log SECONDS LOG PATTERN [COUNT]: waits until LOG has COUNT (by default one) lines
# matching the extended regular expression PATTERN and prints them; fails after SECONDS.
bench_wait_log() {
    local seconds=$1 log=$2 pattern=$3 count=${4:-1} lines
    # tail ends as soon as grep has what it waited for.
    lines=$(timeout "$seconds" tail -n +1 -f "$log" 2>/dev/null | grep -E -m "$count" -- "$pattern") || :
    [[ -n $lines ]] && printf '%s\n' "$lines"
    (($(grep -c -E -- "$pattern" <<<"$lines") >= count))
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
