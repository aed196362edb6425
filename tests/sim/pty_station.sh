#!/bin/sh
# The bench station over pseudo-terminals: zorsim chronometers plugged in one
# after another (the link appears late) and leaving after their restart;
# zorload-cli station updates each on its own port at once. One fails its
# write, one is unplugged mid-transfer, one is up to date; an interrupt during
# the transfers lets them end before the summary.
# Usage: pty_station.sh ZORSIM ZORLOAD_CLI
set -u
ZORSIM=$1
CLI=$2
WORK=$(mktemp -d "${TMPDIR:-/tmp}/zorsim-station.XXXXXX")
SIM_PID=
SIMS=""
SERIAL=0

. "$(dirname "$0")/pty_common.sh"

# Every zorsim started here ends with the script.
stop_sims() {
    for pid in $SIMS; do kill -TERM "$pid" 2>/dev/null; done
    for pid in $SIMS; do wait "$pid" 2>/dev/null; done
    SIMS=""
}
trap 'status=$?; stop_sims; (exit $status); cleanup' EXIT INT TERM

sim() {  # PORT zorsim options...: each chronometer with an S/N of its own
    port=$1
    shift
    SERIAL=$((SERIAL + 1))
    "$ZORSIM" --link "$WORK/$port" --once --id "007 Cronometro S/N 2000-$SERIAL boot 1.30" "$@" \
        >"$WORK/$port.sim.txt" 2>&1 &
    SIMS="$SIMS $!"
}

wait_link() {  # PORT: until zorsim has made the link
    i=0
    until [ -e "$WORK/$1" ]; do
        i=$((i + 1))
        [ $i -gt 200 ] && fail "zorsim made no link $1"
        sleep 0.05
    done
}

count() {  # PATTERN FILE
    grep -c "$1" "$2" || true
}

"$ZORSIM" --write-sample "$WORK/sample.upd" >/dev/null || fail "sample file"
ZORLOAD_HISTORY="$WORK/storico.sqlite"
export ZORLOAD_HISTORY
PORTS="$WORK/A,$WORK/B,$WORK/C,$WORK/D"

# Four chronometers plugged in one after another; B's write is refused.
sim A --id "007 Cronometro S/N 1000-0001 boot 1.30"
sim B --plug-after 700 --id "007 Cronometro S/N 1000-0002 boot 1.30" --fault C:2:wrong-code
sim C --plug-after 1400 --id "007 Cronometro S/N 1000-0003 boot 1.30"
sim D --plug-after 2100 --id "007 Cronometro S/N 1000-0004 boot 1.30"
timeout 120 "$CLI" station "$WORK/sample.upd" --select all --ports "$PORTS" --count 4 --json \
    --record "$WORK/record.jsonl" --trace-dir "$WORK" >"$WORK/four.txt" 2>"$WORK/four-err.txt"
status=$?
stop_sims
[ "$status" -eq 6 ] || fail "four: exit $status, expected 6"
[ "$(count '"event": "connected"' "$WORK/four.txt")" -eq 4 ] || fail "four: connected events"
[ "$(count '"event": "done".*"code": 0' "$WORK/four.txt")" -eq 3 ] || fail "four: done events"
grep -q '"event": "failed", "port": "[^"]*/B".*"code": 103, "last_answer": "[^"]' "$WORK/four.txt" ||
    fail "four: B's failure"
tail -n 1 "$WORK/four.txt" | grep -q '^{"event": "summary", "done": 3, "failed": 1, "current": 0,' ||
    fail "four: summary"
[ "$(wc -l <"$WORK/record.jsonl")" -eq 4 ] || fail "four: record lines"
[ "$(count '"code": 103' "$WORK/record.jsonl")" -eq 1 ] || fail "four: B's record"
# The same plan for each: every component written over the default table.
[ "$(count '"outcome": "Aggiornamento completo"' "$WORK/record.jsonl")" -eq 4 ] ||
    fail "four: the plans"
for p in A B C D; do
    grep -q "^\[" "$WORK"/*"_$p.trace" || fail "four: no trace for $p"
done
# Every chronometer's run is in the history as in the record, once.
"$CLI" history --json >"$WORK/history.jsonl" || fail "history exited $?"
[ "$(wc -l <"$WORK/history.jsonl")" -eq 4 ] || fail "four: history runs"
[ "$(count '"meaning": "done"' "$WORK/history.jsonl")" -eq 3 ] || fail "four: history done"
"$CLI" history --failed --json >"$WORK/history-failed.jsonl" || fail "history --failed exited $?"
grep -q '"serial": "1000-0002".*"code": 103, "meaning": "transfer_failed"' \
    "$WORK/history-failed.jsonl" || fail "four: B's failure in the history"
"$CLI" history --table --serial 1000-0003 >"$WORK/history-c.txt" || fail "history --serial exited $?"
grep -q "^Cronometro S/N 1000-0003: ultimo aggiornamento riuscito " "$WORK/history-c.txt" ||
    fail "four: C's last update"
grep -q "^  Programma base VERS 2.20 BUILD 41  (scritto" "$WORK/history-c.txt" ||
    fail "four: what C holds"
"$CLI" history --table --serial 1000-0002 >"$WORK/history-b.txt" || fail "history --serial exited $?"
grep -q "^Cronometro S/N 1000-0002: nessun aggiornamento riuscito" "$WORK/history-b.txt" ||
    fail "four: B has no successful update"
for p in A C D; do
    grep -q "violazione" "$WORK/$p.sim.txt" && fail "four: $p saw the protocol broken"
done

# outdated: C has every component of the file, D the old ones.
CURRENT="MILO:0+1:Boot VERS 1.01 BUILD 14,PGM:1+3:Programma base VERS 2.20 BUILD 41"
CURRENT="$CURRENT,DATAREL:4+1:Lingua italiano VERS 1.3 BUILD 5,DATAREL:5+1:Lingua inglese VERS 1.3 BUILD 5"
sim C --table "$CURRENT"
sim D
timeout 60 "$CLI" station "$WORK/sample.upd" --select outdated --ports "$WORK/C,$WORK/D" \
    --count 2 >"$WORK/outdated.txt" 2>&1
status=$?
stop_sims
[ "$status" -eq 0 ] || fail "outdated: exit $status"
grep -q "/C: già aggiornato" "$WORK/outdated.txt" || fail "outdated: C not current"
grep -q "/D: completato" "$WORK/outdated.txt" || fail "outdated: D not done"
grep -q "completati 1, falliti 0, già aggiornati 1" "$WORK/outdated.txt" || fail "outdated: summary"

# update --select outdated on a chronometer that has it all: nothing written.
sim C --table "$CURRENT"
wait_link C
timeout 30 "$CLI" update "$WORK/C" "$WORK/sample.upd" --select outdated >"$WORK/update-current.txt" 2>&1
status=$?
stop_sims
[ "$status" -eq 0 ] || fail "update outdated: exit $status"
grep -q "già aggiornato: nessun componente" "$WORK/update-current.txt" || fail "update outdated: text"
grep -q "Trasferimento" "$WORK/update-current.txt" && fail "update outdated: something was sent"

# An adapter unplugged mid-transfer: its port fails, the other is done.
sim A --fault E:8:close-line
sim B
timeout 60 "$CLI" station "$WORK/sample.upd" --select all --ports "$WORK/A,$WORK/B" --count 2 \
    --json >"$WORK/unplug.txt" 2>&1
status=$?
stop_sims
[ "$status" -eq 6 ] || fail "unplug: exit $status"
grep -q '"event": "failed", "port": "[^"]*/A".*"code": 10[0-9]' "$WORK/unplug.txt" ||
    fail "unplug: A not failed with its code"
grep -q '"event": "done", "port": "[^"]*/B"' "$WORK/unplug.txt" || fail "unplug: B not done"

# Ctrl-C while two transfers run: the stop is said, both end, the summary,
# status 0.
sim A --realistic
sim B --realistic
timeout 120 "$CLI" station "$WORK/sample.upd" --select all --ports "$WORK/A,$WORK/B" \
    >"$WORK/interrupt.txt" 2>&1 &
STATION=$!
i=0
until [ "$(count 'fase 1/' "$WORK/interrupt.txt")" -ge 2 ]; do
    i=$((i + 1))
    [ $i -gt 400 ] && { kill "$STATION"; fail "interrupt: no transfers"; }
    sleep 0.05
done
kill -INT "$STATION"
wait "$STATION"
status=$?
stop_sims
[ "$status" -eq 0 ] || fail "interrupt: exit $status"
grep -q "Arresto: nessun nuovo cronometro, 2 trasferimenti in corso" "$WORK/interrupt.txt" ||
    fail "interrupt: the stop is not said"
grep -q "non può essere interrotto" "$WORK/interrupt.txt" && fail "interrupt: refused as in update"
[ "$(count ': completato' "$WORK/interrupt.txt")" -eq 2 ] || fail "interrupt: not both done"
grep -q "Riepilogo: completati 2" "$WORK/interrupt.txt" || fail "interrupt: summary"
# An adapter plugged in while the station watches every port joins, is
# updated, and leaves when it is unplugged. COM1..COM4 lead nowhere here, and
# the bench has no positions.
mkdir -p "$WORK/dev/serial/by-id"
for n in 1 2 3 4; do export "ZORLOAD_COM$n=$WORK/none$n"; done
export ZORLOAD_POSITIONS="$WORK/none.ini"
ZORLOAD_DEV_ROOT="$WORK/dev" timeout 60 "$CLI" station "$WORK/sample.upd" --select all --json \
    >"$WORK/hotplug.txt" 2>&1 &
STATION=$!
sleep 1
sim Z
wait_link Z
ADAPTER="$WORK/dev/serial/by-id/usb-Banco_Adattatore_0001-if00-port0"
ln -s "$WORK/Z" "$ADAPTER"
i=0
until grep -q '"event": "done", "port": "[^"]*usb-Banco' "$WORK/hotplug.txt"; do
    i=$((i + 1))
    [ $i -gt 400 ] && { kill "$STATION"; fail "hotplug: the adapter was not updated"; }
    sleep 0.05
done
rm "$ADAPTER"
i=0
until grep -q '"event": "removed", "port": "[^"]*usb-Banco' "$WORK/hotplug.txt"; do
    i=$((i + 1))
    [ $i -gt 100 ] && { kill "$STATION"; fail "hotplug: the adapter did not leave"; }
    sleep 0.05
done
kill -TERM "$STATION"
wait "$STATION"
status=$?
stop_sims
[ "$status" -eq 0 ] || fail "hotplug: exit $status"
grep -q '"event": "added", "port": "[^"]*usb-Banco' "$WORK/hotplug.txt" || fail "hotplug: not added"
tail -n 1 "$WORK/hotplug.txt" | grep -q '"done": 1, "failed": 0' || fail "hotplug: summary"
echo "station: all passed"
