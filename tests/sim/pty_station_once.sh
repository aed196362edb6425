#!/bin/sh
# The bench station updates each chronometer once: it holds its port for its
# whole run (a check or a second station meanwhile is told who has it), a
# restarted chronometer that misses a probe is not taken again, one plugged
# again is recognised by its identification and not written again (unless
# --again), and a failed one plugged again is retried.
# Usage: pty_station_once.sh ZORSIM ZORLOAD_CLI
set -u
ZORSIM=$1
CLI=$2
WORK=$(mktemp -d "${TMPDIR:-/tmp}/zorsim-once.XXXXXX")
SIM_PID=
. "$(dirname "$0")/pty_common.sh"

STATIONS=""
stop_all() {
    [ -n "$SIM_PID" ] && kill -TERM "$SIM_PID" 2>/dev/null && wait "$SIM_PID" 2>/dev/null
    SIM_PID=
    for pid in $STATIONS; do kill -KILL "$pid" 2>/dev/null; done
    return 0
}
trap 'status=$?; stop_all; (exit $status); cleanup' EXIT INT TERM

plug() {  # ID zorsim options...: a chronometer on $WORK/A
    id=$1
    shift
    [ -n "$SIM_PID" ] && { kill -TERM "$SIM_PID"; wait "$SIM_PID" 2>/dev/null; }
    "$ZORSIM" --link "$WORK/A" --id "007 Cronometro S/N $id boot 1.30" "$@" \
        >>"$WORK/sim.txt" 2>&1 &
    SIM_PID=$!
}
unplug() {
    kill -TERM "$SIM_PID"
    wait "$SIM_PID" 2>/dev/null
    SIM_PID=
}
count() {  # PATTERN FILE (0 while FILE is not there yet)
    n=$(grep -c "$1" "$2" 2>/dev/null)
    echo "${n:-0}"
}
until_seen() {  # N PATTERN FILE WHAT: until FILE holds N lines matching
    i=0
    until [ "$(count "$2" "$3")" -ge "$1" ]; do
        i=$((i + 1))
        [ $i -gt 600 ] && fail "$4"
        sleep 0.05
    done
}

"$ZORSIM" --write-sample "$WORK/sample.upd" >/dev/null || fail "sample file"
OUT=$WORK/station.txt
"$CLI" station "$WORK/sample.upd" --select all --ports "$WORK/A" --json >"$OUT" 2>"$WORK/station-err.txt" &
STATION=$!
STATIONS=$STATION

# Updated, restarted, still answering, and missing the first probe after its
# restart: written once.
plug 1000-0001 --fault test:3:silence
until_seen 1 '"event": "done"' "$OUT" "first: not done"

# Meanwhile the port is the station's: a check is refused and told who has
# it, a second station sees it held.
"$CLI" check "$WORK/A" >"$WORK/check.txt" 2>&1
status=$?
[ "$status" -eq 4 ] || fail "check during the wait: exit $status"
grep -q "dal processo $STATION (zorload-cli station)" "$WORK/check.txt" || fail "check: holder not named"
"$CLI" station "$WORK/sample.upd" --select all --ports "$WORK/A" --json >"$WORK/second.txt" 2>&1 &
SECOND=$!
STATIONS="$STATIONS $SECOND"
until_seen 1 '"state": "held"' "$WORK/second.txt" "second station: port not held"
kill -TERM "$SECOND"
wait "$SECOND"
grep -q '"connected"' "$WORK/second.txt" && fail "second station reached the chronometer"
sleep 3
[ "$(count '"event": "connected"' "$OUT")" -eq 1 ] || fail "first: written again while on its port"

# Unplugged and plugged again: known, not written.
absent=$(count '"state": "absent"' "$OUT")
unplug
until_seen $((absent + 1)) '"state": "absent"' "$OUT" "first: never left"
plug 1000-0001 --once
until_seen 1 '"event": "known"' "$OUT" "again: not recognised"
grep -q '"event": "known", .*"state": "done"' "$OUT" || fail "again: not shown as done"

# Another chronometer that fails, then plugged again: retried and done.
# Swapped at once for another chronometer: taken at once.
plug 1000-0002 --once --fault C:2:wrong-code
until_seen 1 '"event": "failed"' "$OUT" "failing: not failed"
absent=$(count '"state": "absent"' "$OUT")
unplug
until_seen $((absent + 1)) '"state": "absent"' "$OUT" "failing: never left"
plug 1000-0002 --once
until_seen 2 '"event": "done"' "$OUT" "retry: not done"
kill -INT "$STATION"
wait "$STATION"
status=$?
[ "$status" -eq 6 ] || fail "station: exit $status"
tail -n 1 "$OUT" | grep -q '"done": 2, "failed": 1, "current": 0' || fail "station: summary"

# --again writes a chronometer that comes back.
unplug
OUT=$WORK/again.txt
plug 1000-0001 --once
"$CLI" station "$WORK/sample.upd" --select all --ports "$WORK/A" --json --again --count 2 \
    >"$OUT" 2>&1 &
STATION=$!
STATIONS="$STATIONS $STATION"
until_seen 1 '"event": "done"' "$OUT" "--again: first not done"
absent=$(count '"state": "absent"' "$OUT")
unplug
until_seen $((absent + 1)) '"state": "absent"' "$OUT" "--again: never left"
plug 1000-0001 --once
wait "$STATION"
status=$?
[ "$status" -eq 0 ] || fail "--again: exit $status"
[ "$(count '"event": "done"' "$OUT")" -eq 2 ] || fail "--again: not written twice"
echo "station once: all passed"
