# Starting and stopping the background services a script needs (an X server, a window manager,
# buses, a sound server), sourced by scripts/run.sh, tests/support/harness.sh and
# bench/support.sh. Every process started goes into the caller's array $pids.
# Nothing here polls: a service is waited for until it says it is ready, and stopping waits for
# the processes' ends; the time limits only keep a broken service from hanging the caller.

# start_service SECONDS PATTERN LOG COMMAND...: starts COMMAND in the background with its output
# (standard output and error) going to LOG, and returns once it prints a line matching the
# extended regular expression PATTERN: its own word that it is ready. That line is left in
# $ready_line. Fails as soon as the service ends without saying it, or after SECONDS.
start_service() {
    local seconds=$1 pattern=$2 log=$3 fifo line out end
    shift 3
    fifo="$(mktemp -u "${TMPDIR:-/tmp}/nimbra-service.XXXXXX")"
    mkfifo -m 600 "$fifo"
    "$@" >"$fifo" 2>&1 &
    pids+=($!)
    # Opening the reading end waits for the writing one, which the service opens before it
    # runs; then the name is no longer needed.
    exec {out}<"$fifo"
    rm -f "$fifo"
    ready_line=""
    end=$((SECONDS + seconds))
    while ((SECONDS < end)) && IFS= read -r -t $((end - SECONDS)) -u "$out" line; do
        printf '%s\n' "$line" >>"$log"
        if [[ $line =~ $pattern ]]; then
            ready_line=$line
            # The rest of its output, for as long as it writes; it ends with the service.
            cat <&"$out" >>"$log" 2>/dev/null &
            exec {out}<&-
            return 0
        fi
    done
    exec {out}<&-
    echo "$(basename "$1") did not say that it was ready; its output is in $log" >&2
    return 1
}

# stop_services: stops every process in $pids, last started first, and waits for each to end;
# one still running after 5 s is killed outright.
stop_services() {
    local i stopping=()
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        stopping+=("${pids[i]}")
    done
    pids=()
    ((${#stopping[@]})) || return 0
    # The limit runs from before the first signal. It is a process of its own that ends its
    # sleep when told, so that nothing of it outlives this call.
    (
        trap 'kill "$nap" 2>/dev/null; exit 0' TERM
        sleep 5 &
        nap=$!
        wait "$nap"
        kill -9 "${stopping[@]}" 2>/dev/null
    ) >/dev/null 2>&1 &
    local limit=$!
    kill "${stopping[@]}" 2>/dev/null || :
    # `wait PID` finds a child however early it ended (bash keeps its status), unlike `wait -n`.
    for i in "${stopping[@]}"; do
        wait "$i" 2>/dev/null || :
    done
    kill "$limit" 2>/dev/null || :
    wait "$limit" 2>/dev/null || :
    return 0
}
