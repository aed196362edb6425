#!/bin/sh
# End to end over a pseudo-terminal: zorsim plays the chronometer, zorload-cli
# checks it, updates it with zorsim's sample file and checks the new table.
# Usage: pty_e2e.sh ZORSIM ZORLOAD_CLI
set -u
ZORSIM=$1
CLI=$2
WORK=$(mktemp -d "${TMPDIR:-/tmp}/zorsim-e2e.XXXXXX")
SIM_PID=

. "$(dirname "$0")/pty_common.sh"

# Ends the running zorsim and checks its exit status (default 0; it exits 3
# when the host broke the protocol during its session).
stop_sim() {
    kill -TERM "$SIM_PID" 2>/dev/null
    wait "$SIM_PID"
    status=$?
    SIM_PID=
    [ "$status" -eq "${1:-0}" ] || fail "zorsim exited $status, expected ${1:-0}"
}

# Table rows of check: "blocco F" or "blocchi F-L", the type name, the name.
expect_row() {  # file type first count name
    if [ "$4" -gt 1 ]; then blocks="blocchi $3-$(($3 + $4 - 1))"; else blocks="blocco $3"; fi
    tr -d '\r' <"$1" | grep -Eq "^$blocks +${2#*=}( +$5)? *\$" ||
        fail "$1: no row $2 $3+$4 $5"
}

"$ZORSIM" --write-sample "$WORK/sample.upd" >/dev/null || fail "sample file"
"$ZORSIM" --version | grep -Eqx "zorsim [0-9]+(\.[0-9]+)*" || fail "--version"

"$ZORSIM" --link "$WORK/COM1" --flash-step 5 --trace >"$WORK/zorsim.out" 2>"$WORK/zorsim.err" &
SIM_PID=$!
i=0
while [ ! -L "$WORK/COM1" ]; do
    i=$((i + 1))
    [ $i -gt 100 ] && fail "zorsim made no link"
    sleep 0.05
done

ZORLOAD_COM1="$WORK/COM1"
ZORLOAD_HISTORY="$WORK/storico.sqlite"
export ZORLOAD_COM1 ZORLOAD_HISTORY

# A second zorsim on the same link is refused and leaves the first one's link
# as it was.
first_pty=$(readlink "$WORK/COM1")
"$ZORSIM" --link "$WORK/COM1" >"$WORK/second.txt" 2>&1
status=$?
[ "$status" -eq 1 ] || fail "a second zorsim on the link exited $status"
grep -q "in uso da un altro zorsim (pid $SIM_PID)" "$WORK/second.txt" || fail "second zorsim: no reason"
[ "$(readlink "$WORK/COM1")" = "$first_pty" ] || fail "the second zorsim touched the link"

"$CLI" check COM1 >"$WORK/check1.txt" 2>&1 || fail "first check exited $?"
grep -qx "zorsim: cronometro su $first_pty (collegamento $WORK/COM1)" "$WORK/zorsim.out" ||
    fail "zorsim did not name its pseudo-terminal"
expect_row "$WORK/check1.txt" "08=MILO" 0 1 "Boot VERS 1.00 BUILD 12"
expect_row "$WORK/check1.txt" "00=PGM" 1 3 "Programma base VERS 2.10 BUILD 35"
expect_row "$WORK/check1.txt" "01=DATAREL" 6 1 "Tabelle gare VERS 1.0 BUILD 2"

"$CLI" update COM1 "$WORK/sample.upd" --select all >"$WORK/update.txt" 2>&1 ||
    fail "update exited $?"

"$CLI" check COM1 >"$WORK/check2.txt" 2>&1 || fail "second check exited $?"
expect_row "$WORK/check2.txt" "08=MILO" 0 1 "Boot VERS 1.01 BUILD 14"
expect_row "$WORK/check2.txt" "00=PGM" 1 3 "Programma base VERS 2.20 BUILD 41"
expect_row "$WORK/check2.txt" "01=DATAREL" 4 1 "Lingua italiano VERS 1.3 BUILD 5"
expect_row "$WORK/check2.txt" "01=DATAREL" 5 1 "Lingua inglese VERS 1.3 BUILD 5"
expect_row "$WORK/check2.txt" "09=FREE" 6 2 ""
grep -q "Tabelle gare" "$WORK/check2.txt" && fail "the old data release survived"

# The update is in the history, and the history says what the chronometer
# now holds, from that run.
"$CLI" history --table --serial 0412-0087 >"$WORK/history.txt" 2>&1 || fail "history exited $?"
grep -q "^Cronometro S/N 0412-0087: ultimo aggiornamento riuscito .*(COM1), file .*/sample.upd (ID " \
    "$WORK/history.txt" || fail "history: no last update"
for c in "Boot VERS 1.01 BUILD 14" "Programma base VERS 2.20 BUILD 41" \
    "Lingua italiano VERS 1.3 BUILD 5" "Lingua inglese VERS 1.3 BUILD 5"; do
    grep -q "^  $c  (scritto" "$WORK/history.txt" || fail "history: $c not held"
done
grep -q "Tabelle gare" "$WORK/history.txt" && fail "history: the removed release is held"
"$CLI" history --json >"$WORK/history.jsonl" || fail "history --json exited $?"
[ "$(wc -l <"$WORK/history.jsonl")" -eq 1 ] || fail "history: not one run"
grep -q '"meaning": "done"' "$WORK/history.jsonl" || fail "history: the run is not done"
grep -q '"file_sha256": "'"$(sha256sum "$WORK/sample.upd" | cut -d' ' -f1)"'"' \
    "$WORK/history.jsonl" || fail "history: not the file's SHA-256"

# A history that cannot be kept never fails an update: another user's link
# planted at its name is refused with one warning, the update goes on, and
# the file the link points to is untouched. --no-history keeps nothing.
if [ "$(id -u)" -eq 0 ] && command -v setpriv >/dev/null; then
    chmod 711 "$WORK" && mkdir "$WORK/shared" && chmod 1777 "$WORK/shared"
    echo keep >"$WORK/victim"
    setpriv --reuid=nobody --regid=nogroup --clear-groups \
        ln -s "$WORK/victim" "$WORK/shared/storico.sqlite" || fail "no planted link"
    ZORLOAD_HISTORY="$WORK/shared/storico.sqlite" "$CLI" update COM1 "$WORK/sample.upd" \
        --select 2 >"$WORK/planted.txt" 2>&1 || fail "planted history: update exited $?"
    [ "$(grep -c "storico" "$WORK/planted.txt")" -eq 1 ] || fail "planted history: not one warning"
    grep -q "^Attenzione: l'esecuzione non è stata registrata nello storico $WORK/shared/storico.sqlite: " \
        "$WORK/planted.txt" || fail "planted history: no warning"
    grep -q "Aggiornamento completato" "$WORK/planted.txt" || fail "planted history: no update"
    [ "$(cat "$WORK/victim")" = keep ] || fail "planted history: the victim was written"
fi
"$CLI" update COM1 "$WORK/sample.upd" --select 2 --no-history >/dev/null 2>&1 ||
    fail "--no-history: update exited $?"
[ "$("$CLI" history --json | wc -l)" -eq 1 ] || fail "a run kept in the history by mistake"

# The chronometer saw the erases of the freed blocks and one restart.
grep -q "host->crono 01 46 44 06 01" "$WORK/zorsim.err" || fail "block 6 not erased"
grep -q "host->crono 01 46 44 07 01" "$WORK/zorsim.err" || fail "block 7 not erased"
grep -q "host->crono 01 46 4A 01" "$WORK/zorsim.err" || fail "no restart"
# Failures reach the shell as their exit statuses. A second chronometer with a
# full flash and a write that ends badly.
restart_sim() {  # zorsim options...
    stop_sim
    "$ZORSIM" --link "$WORK/COM1" "$@" >"$WORK/zorsim.out" 2>"$WORK/zorsim.err" &
    SIM_PID=$!
    i=0
    while [ ! -L "$WORK/COM1" ] || ! "$CLI" check COM1 >/dev/null 2>&1; do
        i=$((i + 1))
        [ $i -gt 100 ] && fail "zorsim $* does not answer"
        sleep 0.05
    done
}
restart_sim --flash-step 5 --fault C:1:wrong-code \
    --table "MILO:0+1:Boot VERS 1.00 BUILD 12,PGM:1+7:Programma base VERS 2.10 BUILD 35"

expect_status() {  # status name command...
    want=$1 name=$2
    shift 2
    "$@" >"$WORK/$name.txt" 2>&1
    got=$?
    [ "$got" -eq "$want" ] || fail "$name: exit $got, expected $want"
}
expect_status 5 no-room "$CLI" update COM1 "$WORK/sample.upd" --select 2 --dry-run
grep -q "I componenti scelti non possono essere installati" "$WORK/no-room.txt" ||
    fail "no-room: no message"
expect_status 103 write-fails "$CLI" update COM1 "$WORK/sample.upd" --select 0
grep -q "Codice errore: 103" "$WORK/write-fails.txt" || fail "write-fails: no outcome code"
grep -q "completata" "$WORK/write-fails.txt" && fail "write-fails: a failed phase shown as done"
expect_status 4 no-port "$CLI" check "$WORK/absent"
head -c 700 "$WORK/sample.upd" >"$WORK/cut.upd"
expect_status 3 cut-file "$CLI" update COM1 "$WORK/cut.upd" --select all
grep -q "non è un file di aggiornamento" "$WORK/cut-file.txt" || fail "cut-file: no message"

# A late answer is never taken for the next command's: a damaged frame ahead
# of the answer to "Riavvio..." and a restart that the chronometer never
# acknowledges is a failure; noise ahead of the write display's answer still
# lets the component be written.
restart_sim --flash-step 5 --fault H:0:bad-frame-first --fault J:1:silence
expect_status 104 late-restart-answer "$CLI" update COM1 "$WORK/sample.upd" --select 2
grep -q "Messaggio: Mancata risposta da parte del cronometro." "$WORK/late-restart-answer.txt" ||
    fail "late-restart-answer: wrong last answer"
restart_sim --flash-step 5 --fault H:0:noise-first
expect_status 0 noisy-display "$CLI" update COM1 "$WORK/sample.upd" --select 2

# A chronometer's own times: the data blocks at the line's pace (12 of 262
# bytes and more at 19200 bit/s: over 1.6 s), flash steps and a restart with a
# reboot, which the check that follows has to wait out.
restart_sim --realistic
started=$(date +%s%N)
expect_status 0 realistic "$CLI" update COM1 "$WORK/sample.upd" --select 2
elapsed=$((($(date +%s%N) - started) / 1000000))
[ "$elapsed" -ge 1600 ] || fail "realistic: the update took $elapsed ms, faster than the line"
"$CLI" check COM1 >"$WORK/check3.txt" 2>&1 || fail "realistic check exited $?"
expect_row "$WORK/check3.txt" "01=DATAREL" 5 1 "Lingua italiano VERS 1.3 BUILD 5"

# A frame that breaks the protocol ('J' with 00 instead of 01) is reported as
# it arrives and fails zorsim's session.
printf '\176\001\106\112\000\334\213\176' >"$WORK/COM1"
i=0
until grep -q "violazione del protocollo: .* 01 46 4A 00; atteso 'J' 01" "$WORK/zorsim.err"; do
    i=$((i + 1))
    [ $i -gt 40 ] && fail "the broken frame was not reported"
    sleep 0.05
done
stop_sim 3

# A zorsim that dies without cleaning up leaves its link and lock file; the
# next one takes the link over.
"$ZORSIM" --link "$WORK/COM1" >/dev/null 2>&1 &
SIM_PID=$!
i=0
until [ -L "$WORK/COM1" ]; do
    i=$((i + 1))
    [ $i -gt 100 ] && fail "zorsim made no link"
    sleep 0.05
done
kill -KILL "$SIM_PID"
wait "$SIM_PID" 2>/dev/null
SIM_PID=
[ -L "$WORK/COM1" ] && [ -f "$WORK/COM1.lock" ] || fail "no leftovers of the killed zorsim"
"$ZORSIM" --link "$WORK/COM1" >"$WORK/zorsim.out" 2>"$WORK/zorsim.err" &
SIM_PID=$!
i=0
until "$CLI" check COM1 >/dev/null 2>&1; do
    i=$((i + 1))
    [ $i -gt 100 ] && fail "zorsim did not take over a dead one's link"
    sleep 0.05
done
stop_sim
if [ -L "$WORK/COM1" ] || [ -e "$WORK/COM1.lock" ]; then
    fail "zorsim left its link or lock file behind"
fi
echo "pty end-to-end: ok"
