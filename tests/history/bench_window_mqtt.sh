#!/bin/bash
# The bench window keeps its runs and sends its events: the Qt zorload
# -banco -avvia, offscreen, on two positions wired to zorsim chronometers,
# with [storico] naming a history file and a real mosquitto broker. Each
# chronometer's end reaches the broker as the station's done event, its
# state kept there; SIGTERM closes the window as its close box does (the
# summary, the bench offline), and the history holds both runs as
# zorload's, at their positions.
# Usage: bench_window_mqtt.sh ZORSIM ZORLOAD ZORLOAD_CLI
set -u
ZORSIM=$1
ZORLOAD=$2
CLI=$3
WORK=$(mktemp -d "${TMPDIR:-/tmp}/zor-bench.XXXXXX")
SIMS=""
SUBS=""
WINDOW=""

. "$(dirname "$0")/servers.sh"

stop_all() {
    for pid in $WINDOW $SIMS $SUBS; do kill -TERM "$pid" 2>/dev/null; done
    for pid in $WINDOW $SIMS $SUBS; do wait "$pid" 2>/dev/null; done
    WINDOW="" SIMS="" SUBS=""
}
trap 'status=$?; stop_all; stop_servers; rm -rf "$WORK"; exit $status' EXIT INT TERM

start_mosquitto || fail "mosquitto did not start"
"$ZORSIM" --write-sample "$WORK/sample.upd" >/dev/null || fail "sample file"
BENCH=$(hostname | tr '/+#' '___')
level() { printf '%s' "$WORK/$1" | tr '/+#' '___'; }
mosquitto_sub -h 127.0.0.1 -p "$MQTT_PORT" -v -t 'zt/#' >"$WORK/events.txt" 2>&1 &
SUBS=$!
probe() { mosquitto_pub -h 127.0.0.1 -p "$MQTT_PORT" -t zt/probe -m here && has "^zt/probe here" "$WORK/events.txt"; }
wait_for 5 probe || fail "mosquitto_sub did not subscribe"

for p in A B; do
    "$ZORSIM" --link "$WORK/$p" --once --id "007 Cronometro S/N 5100-000$([ $p = A ] && echo 1 || echo 2) boot 1.30" \
        >"$WORK/$p.sim.txt" 2>&1 &
    SIMS="$SIMS $!"
done
wait_for 5 test -e "$WORK/A" -a -e "$WORK/B" || fail "zorsim made no ports"
cat >"$WORK/banco.ini" <<EOF
[posti]
Posto A=$WORK/A
Posto B=$WORK/B

[storico]
percorso=$WORK/storico.sqlite
mqtt=mqtt://127.0.0.1:$MQTT_PORT/zt
EOF

# Boxes are answered at once and written on stderr: none is expected.
ZORLOAD_POSITIONS="$WORK/banco.ini" QT_QPA_PLATFORM=offscreen ZORLOAD_ANSWER_BOXES=1 \
    XDG_STATE_HOME="$WORK/state" XDG_CONFIG_HOME="$WORK/config" ZORLOAD_HISTORY= \
    timeout 40 "$ZORLOAD" -banco -avvia "$WORK/sample.upd" >"$WORK/window.txt" 2>&1 &
WINDOW=$!
for p in A B; do
    wait_for 25 has "^zt/$BENCH/$(level $p)/done " "$WORK/events.txt" || fail "no done event for $p"
done
has "^zt/$BENCH/$(level A)/done {\"event\": \"done\", \"port\": \"$WORK/A\", \"position\": \"Posto A\"," \
    "$WORK/events.txt" || fail "A's done event is not the station's"
has "^zt/$BENCH/status online$" "$WORK/events.txt" || fail "the bench not online"

# Closed as by its close box: the station's summary, the bench offline.
kill -TERM "$WINDOW"
wait "$WINDOW"
status=$?
WINDOW=""
[ $status -eq 124 ] && fail "the window did not close on SIGTERM"
has "Zorload - banco:" "$WORK/window.txt" && fail "the window showed a box"
wait_for 5 has "^zt/$BENCH/summary {\"event\": \"summary\", \"done\": 2," "$WORK/events.txt" ||
    fail "no summary of two runs"
wait_for 5 has "^zt/$BENCH/status offline$" "$WORK/events.txt" || fail "the bench not offline"

mosquitto_sub -h 127.0.0.1 -p "$MQTT_PORT" -v -t "zt/$BENCH/+/state" --retained-only -W 2 \
    >"$WORK/retained.txt" 2>&1
for p in A B; do
    has "^zt/$BENCH/$(level $p)/state {\"event\": \"state\", .*\"state\": \"done\"}$" \
        "$WORK/retained.txt" || fail "$p's retained state is not done"
done

"$CLI" history --history "$WORK/storico.sqlite" --json >"$WORK/history.txt" 2>&1 ||
    fail "history exited $?"
[ "$(grep -c '"program": "zorload"' "$WORK/history.txt")" = 2 ] || fail "not two runs of zorload"
for p in A B; do
    has "\"position\": \"Posto $p\".*\"file_id\": \"0214-002A\".*\"code\": 0," "$WORK/history.txt" ||
        fail "no run at Posto $p"
done
echo PASS
