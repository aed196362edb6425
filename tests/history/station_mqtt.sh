#!/bin/bash
# The bench station's events on a real mosquitto broker: each event as the
# same JSON object --json prints, on PREFIX/<bench>/<port>/<event>; the
# broker stopped after the first chronometer and started again after the
# second: the station goes on meanwhile, the events come again, and every
# port's retained state is its last one, also for a port that said nothing
# since; the bench's status online, then offline at the end.
# Usage: station_mqtt.sh ZORSIM ZORLOAD_CLI
set -u
ZORSIM=$1
CLI=$2
WORK=$(mktemp -d "${TMPDIR:-/tmp}/zor-mqtt.XXXXXX")
SIMS=""
SUBS=""

. "$(dirname "$0")/servers.sh"

stop_all() {
    for pid in $SIMS $SUBS; do kill -TERM "$pid" 2>/dev/null; done
    for pid in $SIMS $SUBS; do wait "$pid" 2>/dev/null; done
    SIMS="" SUBS=""
}
trap 'status=$?; stop_all; stop_servers; rm -rf "$WORK"; exit $status' EXIT INT TERM

sim() {  # PORT SERIAL zorsim options...
    port=$1 serial=$2
    shift 2
    "$ZORSIM" --link "$WORK/$port" --once --id "007 Cronometro S/N $serial boot 1.30" "$@" \
        >"$WORK/$port.sim.txt" 2>&1 &
    SIMS="$SIMS $!"
}

subscribe() {  # FILE: every message under the prefix, "topic payload" per line
    mosquitto_sub -h 127.0.0.1 -p "$MQTT_PORT" -v -t 'zt/#' >"$1" 2>&1 &
    SUBS="$SUBS $!"
}

done_runs() {
    n=$(grep -c '"event": "done"' "$WORK/station.txt" 2>/dev/null)
    echo "${n:-0}"
}
runs_done() { [ "$(done_runs)" -ge "$1" ]; }

start_mosquitto || fail "mosquitto did not start"
"$ZORSIM" --write-sample "$WORK/sample.upd" >/dev/null || fail "sample file"
BENCH=$(hostname | tr '/+#' '___')
level() { printf '%s' "$WORK/$1" | tr '/+#' '___'; }
subscribe "$WORK/before.txt"
# Subscribed once a message of the test's own comes back.
probe() { mosquitto_pub -h 127.0.0.1 -p "$MQTT_PORT" -t zt/probe -m here && has "^zt/probe here" "$WORK/before.txt"; }
wait_for 5 probe || fail "mosquitto_sub did not subscribe"

sim A 5000-0001
sim B 5000-0002 --plug-after 2000
sim C 5000-0003 --plug-after 7000
XDG_STATE_HOME="$WORK/state" timeout 60 "$CLI" station "$WORK/sample.upd" --select 2 \
    --ports "$WORK/A,$WORK/B,$WORK/C" --count 3 --json --mqtt "mqtt://127.0.0.1:$MQTT_PORT/zt" \
    >"$WORK/station.txt" 2>"$WORK/station-err.txt" &
station=$!
wait_for 20 runs_done 1 || fail "no first run"
wait_for 5 has "^zt/$BENCH/$(level A)/done " "$WORK/before.txt" || fail "A's done event not published"
has "^zt/$BENCH/status online$" "$WORK/before.txt" || fail "the bench not online"
# The broker goes away (it keeps nothing); B is updated meanwhile.
stop_mosquitto
wait_for 20 runs_done 2 || fail "the station stopped with the broker"
start_mosquitto || fail "mosquitto did not start again"
subscribe "$WORK/after.txt"
wait_for 5 has "^zt/$BENCH/status online$" "$WORK/after.txt" || fail "the bench not online again"
wait "$station" || fail "station exited $?"
[ "$(done_runs)" = 3 ] || fail "not three runs"
grep -q . "$WORK/station-err.txt" && fail "the station said something on stderr"

# The same objects as --json, on their topics.
for p in A C; do
    f=$([ $p = A ] && echo before || echo after)
    want=$(grep '"event": "done", "port": "'"$WORK/$p"'"' "$WORK/station.txt")
    grep -qxF "zt/$BENCH/$(level $p)/done $want" "$WORK/$f.txt" || fail "$p's done event differs"
done
grep -q "^zt/$BENCH/$(level C)/connected " "$WORK/after.txt" || fail "C's events did not come again"
wait_for 5 has "^zt/$BENCH/summary " "$WORK/after.txt" || fail "no summary"
wait_for 5 has "^zt/$BENCH/status offline$" "$WORK/after.txt" || fail "the bench not offline at the end"

# What the broker keeps: each port's last state, A's sent again after the
# broker came back though A said nothing since.
mosquitto_sub -h 127.0.0.1 -p "$MQTT_PORT" -v -t "zt/$BENCH/+/state" --retained-only -W 3 \
    >"$WORK/retained.txt" 2>&1
last_state() {  # PORT: the state --json last gave for it, or the end of its run
    grep '"port": "'"$WORK/$1"'"' "$WORK/station.txt" |
        grep -E '"event": "(state|done|failed|current|known)"' | tail -n 1 |
        sed -E 's/.*"event": "(done|failed|current)".*/\1/; s/.*"state": "([a-z]+)".*/\1/'
}
for p in A B C; do
    grep -q "^zt/$BENCH/$(level $p)/state {\"event\": \"state\", .*\"state\": \"$(last_state $p)\"}$" \
        "$WORK/retained.txt" || fail "$p's retained state is not $(last_state $p)"
done
echo PASS
