#!/bin/bash
# A service centre's history on a real PostgreSQL server: two benches that
# connect to a new database at once (its layout made once), a station whose
# server goes away and comes back during its runs (every run arrives once,
# from the outbox, also without a new run to carry it), and `history`
# reading from the server, or from the bench when the server is down; a
# server that never answers holds up no update.
# Usage: server_history.sh ZORSIM ZORLOAD_CLI
set -u
ZORSIM=$1
CLI=$2
WORK=$(mktemp -d "${TMPDIR:-/tmp}/zor-server.XXXXXX")
SIMS=""

fail() {
    echo "FAIL: $*" >&2
    for f in "$WORK"/*.txt "$WORK"/srv/pg.log; do
        [ -f "$f" ] && { echo "--- $f" >&2; tail -n 30 "$f" >&2; }
    done
    exit 1
}

. "$(dirname "$0")/servers.sh"

stop_sims() {
    for pid in $SIMS; do kill -TERM "$pid" 2>/dev/null; done
    for pid in $SIMS; do wait "$pid" 2>/dev/null; done
    SIMS=""
}
trap 'status=$?; stop_sims; stop_servers; rm -rf "$WORK"; exit $status' EXIT INT TERM

sim() {  # PORT SERIAL zorsim options...
    port=$1 serial=$2
    shift 2
    "$ZORSIM" --link "$WORK/$port" --once --id "007 Cronometro S/N $serial boot 1.30" "$@" \
        >"$WORK/$port.sim.txt" 2>&1 &
    SIMS="$SIMS $!"
}

outbox() {  # STATE: runs waiting in that bench's outbox
    sqlite3 -cmd ".timeout 2000" "$1/zorload/storico.sqlite" "SELECT count(*) FROM outbox" 2>/dev/null || echo none
}

start_postgres || fail "PostgreSQL did not start"
"$ZORSIM" --write-sample "$WORK/sample.upd" >/dev/null || fail "sample file"
export ZORLOAD_HISTORY="$PG_URL"

# Two benches, each with its own outbox, update at the same time against a
# database that has no layout yet: one makes it, both runs arrive.
sim P1 3000-0001
sim P2 3000-0002
wait_for 5 test -e "$WORK/P1" -a -e "$WORK/P2" || fail "zorsim made no links"
for b in 1 2; do
    env XDG_STATE_HOME="$WORK/bench$b" "ZORLOAD_COM$b=$WORK/P$b" \
        "$CLI" update "COM$b" "$WORK/sample.upd" --select all >"$WORK/bench$b.txt" 2>&1 &
    eval "pid$b=\$!"
done
wait "$pid1" || fail "bench 1 exited $?"
wait "$pid2" || fail "bench 2 exited $?"
stop_sims
grep -q "storico" "$WORK"/bench[12].txt && fail "two benches: a warning"
[ "$(psql_value "SELECT count(*) FROM runs WHERE serial LIKE '3000-%'")" = 2 ] ||
    fail "two benches: not two runs on the server"
[ "$(psql_value "SELECT count(*) FROM zorload_schema")" = 1 ] || fail "two benches: layout"
[ "$(outbox "$WORK/bench1")$(outbox "$WORK/bench2")" = 00 ] || fail "two benches: outbox"

# A station of three chronometers; the server stops after the first run and
# starts again after the second, which waits in the outbox meanwhile and is
# sent by the retry, before the third run; the third goes straight on.
export ZORLOAD_HISTORY_RETRY=1
STATE="$WORK/station"
sim A 4000-0001
sim B 4000-0002 --plug-after 2500
sim C 4000-0003 --plug-after 9000
done_runs() {
    n=$(grep -c '"event": "done"' "$WORK/station.txt" 2>/dev/null)
    echo "${n:-0}"
}
runs_done() { [ "$(done_runs)" -ge "$1" ]; }
server_runs() { psql_value "SELECT count(*) FROM runs WHERE serial LIKE '4000-%'" 2>/dev/null; }
server_has() { [ "$(server_runs)" = "$1" ]; }
XDG_STATE_HOME="$STATE" timeout 60 "$CLI" station "$WORK/sample.upd" --select 2 \
    --ports "$WORK/A,$WORK/B,$WORK/C" --count 3 --json >"$WORK/station.txt" 2>"$WORK/station-err.txt" &
station=$!
wait_for 20 runs_done 1 || fail "station: no first run"
pause_postgres
wait_for 20 runs_done 2 || fail "station: no second run"
waiting() { [ "$(outbox "$STATE")" -ge 1 ] 2>/dev/null; }
wait_for 5 waiting || fail "station: the second run is not in the outbox"
resume_postgres || fail "PostgreSQL did not start again"
wait_for 5 server_has 2 || fail "station: the retry did not send the second run"
[ "$(done_runs)" -lt 3 ] || fail "station: the third run came before the retry (timing)"
wait "$station" || fail "station exited $?"
stop_sims
[ "$(done_runs)" = 3 ] || fail "station: not three runs"
[ "$(server_runs)" = 3 ] || fail "station: not three runs on the server"
[ "$(outbox "$STATE")" = 0 ] || fail "station: runs left in the outbox"
grep -q . "$WORK/station-err.txt" && fail "station: said something on stderr"
# The same runs, by id, on the bench and on the server.
sqlite3 "$STATE/zorload/storico.sqlite" "SELECT run_id FROM runs ORDER BY run_id" >"$WORK/ids-bench.txt"
psql_value "SELECT run_id FROM runs WHERE serial LIKE '4000-%' ORDER BY run_id" >"$WORK/ids-server.txt"
cmp -s "$WORK/ids-bench.txt" "$WORK/ids-server.txt" || fail "station: other runs on the server"

# history reads every bench's runs from the server; with the server down,
# the bench's own, after a warning.
XDG_STATE_HOME="$WORK/bench1" "$CLI" history --json >"$WORK/history.txt" 2>&1 ||
    fail "history exited $?"
[ "$(grep -c '"run_id"' "$WORK/history.txt")" = 5 ] || fail "history: not every bench's runs"
XDG_STATE_HOME="$WORK/bench1" "$CLI" history --table --serial 4000-0002 >"$WORK/history-serial.txt" 2>&1 ||
    fail "history --serial exited $?"
grep -q "^Cronometro S/N 4000-0002: ultimo aggiornamento riuscito" "$WORK/history-serial.txt" ||
    fail "history: the server's last update of 4000-0002"
pause_postgres
XDG_STATE_HOME="$WORK/bench1" "$CLI" history --json >"$WORK/history-down.txt" 2>"$WORK/history-down-err.txt" ||
    fail "history with the server down exited $?"
[ "$(grep -c '"run_id"' "$WORK/history-down.txt")" = 1 ] || fail "history: not the bench's own run"
grep -q "^Attenzione: storico postgresql://zorload@127.0.0.1:$PG_PORT/postgres non raggiungibile" \
    "$WORK/history-down-err.txt" || fail "history: no warning for the server"
[ "$(wc -l <"$WORK/history-down-err.txt")" = 1 ] || fail "history: not one line of warning"
# A server that takes the connection and never answers (its processes
# stopped): the update ends as usual, its run waits in the bench's outbox,
# and goes with the bench's next use of the history once the server answers.
resume_postgres || fail "PostgreSQL did not start again"
PG_PID=$(head -n 1 "$PG_DATA/postmaster.pid")
sim P3 3000-0003
wait_for 5 test -e "$WORK/P3" || fail "zorsim made no link P3"
kill -STOP "$PG_PID"
started=$(date +%s)
XDG_STATE_HOME="$WORK/bench1" ZORLOAD_COM3="$WORK/P3" "$CLI" update COM3 "$WORK/sample.upd" \
    --select 2 >"$WORK/hung.txt" 2>&1
status=$?
took=$(($(date +%s) - started))
kill -CONT "$PG_PID"
stop_sims
[ "$status" -eq 0 ] || fail "hung server: update exited $status"
[ "$took" -le 8 ] || fail "hung server: the update took $took s"
grep -q "^Attenzione: 1 esecuzione resta da inviare allo storico postgresql://" "$WORK/hung.txt" ||
    fail "hung server: no warning"
[ "$(outbox "$WORK/bench1")" = 1 ] || fail "hung server: the run is not in the outbox"
: >"$WORK/empty.jsonl"
XDG_STATE_HOME="$WORK/bench1" "$CLI" history import "$WORK/empty.jsonl" >/dev/null 2>&1 ||
    fail "history import exited $?"
[ "$(psql_value "SELECT count(*) FROM runs WHERE serial = '3000-0003'")" = 1 ] ||
    fail "hung server: the run did not arrive later"
[ "$(outbox "$WORK/bench1")" = 0 ] || fail "hung server: the outbox is not empty"
echo "PASS"
