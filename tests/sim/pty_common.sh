# Shared by the pseudo-terminal runs: the scratch folder $WORK, the zorsim
# run $SIM_PID ended on exit, and fail, which shows the runs' output.
# The including script sets WORK and SIM_PID first.
cleanup() {
    status=$?
    if [ -n "$SIM_PID" ]; then
        kill -TERM "$SIM_PID" 2>/dev/null
        # zorsim ends within a poll's 50 ms of SIGTERM; one that does not is
        # a fault of its own, said here rather than as the test's time-out.
        # (kill -0 cannot tell: it succeeds on a child that ended and waits
        # to be reaped, so a watchdog kills it and wait tells how it ended.)
        (
            sleep 5 >/dev/null 2>&1
            if kill -0 "$SIM_PID" 2>/dev/null; then
                cat "/proc/$SIM_PID/stack" "/proc/$SIM_PID/wchan" 2>/dev/null >&2
                kill -KILL "$SIM_PID" 2>/dev/null
            fi
        ) &
        watchdog=$!
        wait "$SIM_PID" 2>/dev/null
        ended=$?
        kill "$watchdog" 2>/dev/null
        wait "$watchdog" 2>/dev/null
        if [ "$ended" -eq 137 ]; then
            echo "FAIL: zorsim (pid $SIM_PID) did not end on SIGTERM" >&2
            tail -n 20 "$WORK/zorsim.err" >&2 2>/dev/null
            status=1
        fi
    fi
    rm -rf "$WORK"
    exit $status
}
trap cleanup EXIT INT TERM

fail() {
    echo "FAIL: $*" >&2
    for f in "$WORK"/*.txt "$WORK"/zorsim.err; do
        [ -f "$f" ] && { echo "--- $f" >&2; tail -n 40 "$f" >&2; }
    done
    exit 1
}
