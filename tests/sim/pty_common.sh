# Shared by the pseudo-terminal runs: the scratch folder $WORK, the zorsim
# run $SIM_PID ended on exit, and fail, which shows the runs' output.
# The including script sets WORK and SIM_PID first.
cleanup() {
    if [ -n "$SIM_PID" ]; then
        kill -TERM "$SIM_PID" 2>/dev/null
        wait "$SIM_PID" 2>/dev/null
    fi
    rm -rf "$WORK"
}
trap cleanup EXIT INT TERM

fail() {
    echo "FAIL: $*" >&2
    for f in "$WORK"/*.txt "$WORK"/zorsim.err; do
        [ -f "$f" ] && { echo "--- $f" >&2; tail -n 40 "$f" >&2; }
    done
    exit 1
}
