#!/bin/sh
# A chronometer that never stops answering, over a pseudo-terminal: zorsim
# trickles bytes under every idle wait, lists its partitions without end or
# reports progress without end; zorload-cli check and update still end, within
# their limits, with the exit status of a silent chronometer.
# Usage: pty_limits.sh ZORSIM ZORLOAD_CLI
set -u
ZORSIM=$1
CLI=$2
WORK=$(mktemp -d "${TMPDIR:-/tmp}/zorsim-limits.XXXXXX")
SIM_PID=

. "$(dirname "$0")/pty_common.sh"

start_sim() {  # zorsim options...
    if [ -n "$SIM_PID" ]; then
        kill -TERM "$SIM_PID" 2>/dev/null
        wait "$SIM_PID"
        status=$?
        SIM_PID=
        [ "$status" -eq 0 ] || fail "zorsim exited $status"
    fi
    "$ZORSIM" --link "$WORK/COM1" "$@" >"$WORK/zorsim.out" 2>"$WORK/zorsim.err" &
    SIM_PID=$!
    i=0
    until grep -q "^zorsim: cronometro su" "$WORK/zorsim.out" 2>/dev/null; do
        i=$((i + 1))
        [ $i -gt 100 ] && fail "zorsim $* made no link"
        sleep 0.05
    done
}

# expect NAME STATUS MIN_MS MAX_MS command...: the command's exit status and
# how long it took. The longest times are far above what a run takes here
# (a sanitized build on a loaded machine is slow) and far below the limit
# the fault would run into without its own.
expect() {
    name=$1 want=$2 min=$3 max=$4
    shift 4
    started=$(date +%s%N)
    "$@" >"$WORK/$name.txt" 2>&1
    got=$?
    elapsed=$((($(date +%s%N) - started) / 1000000))
    [ "$got" -eq "$want" ] || fail "$name: exit $got, expected $want"
    [ "$elapsed" -ge "$min" ] && [ "$elapsed" -le "$max" ] ||
        fail "$name: took $elapsed ms, expected $min to $max"
}

"$ZORSIM" --write-sample "$WORK/sample.upd" >/dev/null || fail "sample file"
ZORLOAD_COM1="$WORK/COM1"
export ZORLOAD_COM1

# A byte every 100 ms in place of the identification: its 2 s limit ends it,
# as silence would.
start_sim --fault I:1:trickle --trickle 100
expect trickle 4 2000 12000 "$CLI" check COM1
grep -q "Nessuna risposta dal cronometro" "$WORK/trickle.txt" || fail "trickle: no message"

# The listing over and over: 64 lines end it, long before its 32 s.
start_sim --fault B:1:endless-listing
expect endless-listing 4 0 16000 "$CLI" check COM1
grep -q "tabella delle partizioni non è arrivata completa" "$WORK/endless-listing.txt" ||
    fail "endless-listing: no message"

# Progress reports without end after the write command: 400 frames end it
# with the outcome of a write that never finished, long before its 10 minutes.
start_sim --fault C:1:endless-progress --flash-step 5
expect endless-progress 103 0 30000 "$CLI" update COM1 "$WORK/sample.upd" --select 2
grep -q "Codice errore: 103" "$WORK/endless-progress.txt" || fail "endless-progress: no outcome"

start_sim
echo "pty limits: ok"
