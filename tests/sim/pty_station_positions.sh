#!/bin/sh
# The bench station with positions: two zorsim chronometers on the ports the
# user's positions file binds to "Posto 1" and "Posto 2". The station watches
# exactly those ports and names each by its place in the JSON events, the
# lines and the records; a positions file with a fault keeps it from
# starting, and --ports leaves the file aside.
# Usage: pty_station_positions.sh ZORSIM ZORLOAD_CLI
set -u
ZORSIM=$1
CLI=$2
WORK=$(mktemp -d "${TMPDIR:-/tmp}/zorsim-positions.XXXXXX")
SIM_PID=
SIMS=""

. "$(dirname "$0")/pty_common.sh"

stop_sims() {
    for pid in $SIMS; do kill -TERM "$pid" 2>/dev/null; done
    for pid in $SIMS; do wait "$pid" 2>/dev/null; done
    SIMS=""
}
trap 'status=$?; stop_sims; (exit $status); cleanup' EXIT INT TERM

sim() {  # PORT: a chronometer of its own S/N on $WORK/PORT
    "$ZORSIM" --link "$WORK/$1" --once --id "007 Cronometro S/N 3000-000$1 boot 1.30" \
        >"$WORK/$1.sim.txt" 2>&1 &
    SIMS="$SIMS $!"
}

count() {  # PATTERN FILE
    grep -c "$1" "$2" || true
}

"$ZORSIM" --write-sample "$WORK/sample.upd" >/dev/null || fail "sample file"
# COM1..COM4 lead nowhere: were they watched, they would show up as added.
for n in 1 2 3 4; do export "ZORLOAD_COM$n=$WORK/none$n"; done
export XDG_CONFIG_HOME="$WORK/config"
mkdir -p "$XDG_CONFIG_HOME/zorload"
printf '; il banco di prova\r\n[posti]\r\nPosto 1=%s\r\n  Posto 2 = %s\r\n\r\n[altro]\r\nx=1\r\n' \
    "$WORK/A" "$WORK/B" >"$XDG_CONFIG_HOME/zorload/banco.ini"

# JSON and records: every event about a port, and every record, with its place.
sim A
sim B
timeout 60 "$CLI" station "$WORK/sample.upd" --select all --count 2 --json \
    --record "$WORK/record.jsonl" >"$WORK/json.txt" 2>"$WORK/json-err.txt"
status=$?
stop_sims
[ "$status" -eq 0 ] || fail "json: exit $status"
[ "$(count '"event": "added"' "$WORK/json.txt")" -eq 2 ] || fail "json: not exactly the two ports"
grep -q "\"event\": \"added\", \"port\": \"$WORK/A\", \"position\": \"Posto 1\", \"device\"" \
    "$WORK/json.txt" || fail "json: A's place"
grep -q '"event": "done", "port": "[^"]*/B", "position": "Posto 2"' "$WORK/json.txt" ||
    fail "json: B's place"
[ "$(grep -v '"event": "summary"' "$WORK/json.txt" | grep -vc '"position": "Posto [12]"')" -eq 0 ] ||
    fail "json: an event without its place"
[ "$(wc -l <"$WORK/record.jsonl")" -eq 2 ] || fail "json: record lines"
for p in "A 1" "B 2"; do
    set -- $p
    grep -q "\"port\": \"$WORK/$1\", \"position\": \"Posto $2\", \"device\"" "$WORK/record.jsonl" ||
        fail "json: $1's record"
done

# ZORLOAD_POSITIONS names another file; off a terminal each line names the place.
printf '[posti]\nBanco è=%s\n' "$WORK/A" >"$WORK/other.ini"
sim A
ZORLOAD_POSITIONS="$WORK/other.ini" timeout 60 "$CLI" station "$WORK/sample.upd" --select all \
    --count 1 >"$WORK/lines.txt" 2>&1
status=$?
stop_sims
[ "$status" -eq 0 ] || fail "lines: exit $status"
grep -q "Z Banco è ($WORK/A): completato, " "$WORK/lines.txt" || fail "lines: the place"
grep -q "Posto" "$WORK/lines.txt" && fail "lines: the user's file was read"

# A fault: the station does not start, and says the file, the line and why;
# with --ports the file is left aside (the missing update file is what fails).
printf '[posti]\nPosto 1=%s\n\nPosto 1=%s\n' "$WORK/A" "$WORK/B" >"$WORK/bad.ini"
ZORLOAD_POSITIONS="$WORK/bad.ini" timeout 10 "$CLI" station "$WORK/sample.upd" --select all \
    --json >"$WORK/bad.txt" 2>&1
status=$?
[ "$status" -eq 2 ] || fail "fault: exit $status"
grep -q "^{\"event\": \"error\", \"error\": \"file dei posti $WORK/bad.ini, riga 4: un posto con questo nome c'è già\", \"exit_status\": 2}" \
    "$WORK/bad.txt" || fail "fault: not said"
ZORLOAD_POSITIONS="$WORK/bad.ini" timeout 10 "$CLI" station "$WORK/none.upd" --select all \
    --ports "$WORK/A" >"$WORK/ports.txt" 2>&1
status=$?
[ "$status" -eq 3 ] || fail "--ports: exit $status, the positions file read"
echo "station positions: all passed"
