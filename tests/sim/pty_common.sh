# Shared by the pseudo-terminal runs: the scratch folder $WORK, the zorsim
# run $SIM_PID ended on exit, and fail, which shows the runs' output.
# The including script sets WORK and SIM_PID first.
cleanup() {
    status=$?
    if [ -n "$SIM_PID" ]; then
        kill -TERM "$SIM_PID" 2>/dev/null
        # zorsim ends within a poll's 50 ms of SIGTERM; one that does not is
        # a fault of its own, said here rather than as the test's time-out.
        i=0
        while kill -0 "$SIM_PID" 2>/dev/null && [ $i -lt 100 ]; do
            i=$((i + 1))
            sleep 0.05
        done
        if kill -0 "$SIM_PID" 2>/dev/null; then
            echo "FAIL: zorsim (pid $SIM_PID) did not end on SIGTERM" >&2
            cat "/proc/$SIM_PID/stack" "/proc/$SIM_PID/wchan" 2>/dev/null >&2
            tail -n 20 "$WORK/zorsim.err" >&2 2>/dev/null
            kill -KILL "$SIM_PID" 2>/dev/null
            status=1
        fi
        wait "$SIM_PID" 2>/dev/null
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
