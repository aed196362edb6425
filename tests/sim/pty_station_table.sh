#!/bin/sh
# The bench station's table in terminals of known size (detached tmux panes),
# all three at once against zorsim chronometers with real device timing:
# - tall: 24x80, 30 ports (28 absent, 2 chronometers listed last). The table
#   fits, the working ports come first, the rest are counted on one line and
#   the redraws leave nothing in the scrollback. Ctrl-C mid-transfer: the stop
#   line stays under the table until the summary, exit status 0.
# - w60, w40: one chronometer each. No line wraps; at 60 columns port, state
#   with percent, S/N and time left stay, at 40 port and state.
# Usage: pty_station_table.sh ZORSIM ZORLOAD_CLI
set -u
ZORSIM=$1
CLI=$2
WORK=$(mktemp -d "${TMPDIR:-/tmp}/zorsim-table.XXXXXX")
SIM_PID=
SIMS=""

. "$(dirname "$0")/pty_common.sh"
command -v tmux >/dev/null || fail "tmux is missing (scripts/setup.sh installs it)"

unset TMUX  # a tmux run inside another
tm() { tmux -u -S "$WORK/tmux.sock" -f /dev/null "$@"; }

# The stations (should a failure leave one running), the tmux server and every
# zorsim end with the script; the failure's status is kept for cleanup.
stop_all() {
    for f in "$WORK"/*.pid; do
        [ -f "$f" ] && [ ! -f "${f%.pid}.rc" ] && kill -KILL "$(cat "$f")" 2>/dev/null
    done
    tm kill-server 2>/dev/null
    for pid in $SIMS; do kill -TERM "$pid" 2>/dev/null; done
    for pid in $SIMS; do wait "$pid" 2>/dev/null; done
}
on_exit() {
    st=$?
    stop_all
    (exit "$st")
    cleanup
}
trap on_exit EXIT
trap 'exit 1' INT TERM

sim() {  # PORT zorsim options...
    port=$1
    shift
    "$ZORSIM" --link "$WORK/$port" --once --realistic "$@" >"$WORK/$port.sim.txt" 2>&1 &
    SIMS="$SIMS $!"
}

# A pane running the station: the wrapper writes the station's pid to
# NAME.pid and its exit status to NAME.rc; Ctrl-C reaches the station alone.
# The wrapper then holds the terminal until the tmux server ends: a pane whose
# process leaves at once may lose its last output unread by tmux.
cat >"$WORK/run.sh" <<'EOF'
rc=$1
shift
trap : INT
sh -c 'echo $$ >"$0.pid"; exec "$@"' "${rc%.rc}" "$@"
echo $? >"$rc"
exec sleep 60
EOF
pane() {  # NAME COLS ROWS PORTS [station options...]
    name=$1 cols=$2 rows=$3 ports=$4
    shift 4
    tm new-session -d -x "$cols" -y "$rows" -s "$name" sh "$WORK/run.sh" "$WORK/$name.rc" \
        "$CLI" station "$WORK/sample.upd" --select all --ports "$ports" "$@" || fail "$name: tmux"
}

# The pane with its scrollback in $WORK/NAME.txt, joined where lines wrapped;
# H its scrollback's size, taken first.
snap() {
    H=$(tm display -p -t "$1" '#{history_size}') || fail "$1: tmux display"
    tm capture-pane -p -J -S - -t "$1" >"$WORK/$1.txt" || fail "$1: tmux capture"
}

"$ZORSIM" --write-sample "$WORK/sample.upd" >/dev/null || fail "sample file"
sim A --id "007 Cronometro S/N 0100-0001 boot 1.30"
sim B --id "007 Cronometro S/N 0100-0002 boot 1.30"
sim C --id "007 Cronometro S/N 0600-0060 boot 1.30"
sim D --id "007 Cronometro S/N 0400-0040 boot 1.30"
for p in A B C D; do
    i=0
    until [ -e "$WORK/$p" ]; do
        i=$((i + 1))
        [ $i -gt 200 ] && fail "zorsim made no link $p"
        sleep 0.05
    done
done
PORTS=
for n in $(seq -w 1 28); do PORTS="$PORTS$WORK/n$n,"; done
pane tall 80 24 "$PORTS$WORK/A,$WORK/B"
pane w60 60 24 "$WORK/C" --count 1
pane w40 40 24 "$WORK/D" --count 1

# What every capture of a running table must show; WHY says what it lacks.
# Once the summary is there the station has ended: the end's checks apply.
running() {  # NAME COLS
    f="$WORK/$1.txt"
    grep -q '^Riepilogo' "$f" && return 0
    [ "$H" -eq 0 ] || { WHY="$H lines of scrollback"; return 1; }
    grep -q . "$f" || return 0  # nothing drawn yet
    head -n 1 "$f" | grep -q '^Porta ' || { WHY="the header is not the top line"; return 1; }
    [ "$(grep -c '^Porta ' "$f")" -eq 1 ] || { WHY="more than one header"; return 1; }
    grep -q '^Completati [0-9]' "$f" || { WHY="no totals"; return 1; }
    # Characters, not bytes: UTF-8 continuation bytes are not counted.
    long=$(LC_ALL=C awk -v cols="$2" '{ gsub(/[\200-\277]/, "") } length > cols' "$f")
    [ -z "$long" ] || { WHY="wrapped: $long"; return 1; }
    case $1 in
        tall)
            # Every port is either a row or counted.
            shown=$(grep -cE '^(n[0-9][0-9]|A|B) ' "$f")
            hidden=$(sed -nE 's/^\+([0-9]+) (in attesa|altre porte)$/\1/p' "$f")
            case $hidden in
                '' | *[!0-9]*) WHY="no single '+N' line"; return 1 ;;
            esac
            [ $((shown + hidden)) -eq 30 ] || { WHY="$shown rows and +$hidden for 30 ports"; return 1; }
            if [ -n "$STOP_SEEN" ]; then
                grep -A 1 '^Completati' "$f" | tail -n 1 | grep -q '^Arresto: nessun nuovo cronometro' ||
                    { WHY="the stop line went"; return 1; }
            fi ;;
        w60) grep -qE '^Porta +Stato +Cronometro +Resta$' "$f" || { WHY="60 columns' header"; return 1; } ;;
        w40) grep -qE '^Porta +Stato$' "$f" || { WHY="40 columns' header"; return 1; } ;;
    esac
}

STOP_SEEN='' TRANSFERS_AT='' INTERRUPTED_AT='' W60_SEEN='' W40_SEEN=''
START=$(date +%s)
while [ ! -f "$WORK/tall.rc" ] || [ ! -f "$WORK/w60.rc" ] || [ ! -f "$WORK/w40.rc" ]; do
    [ $(($(date +%s) - START)) -gt 36 ] && fail "the stations did not end within 36 s"
    sleep 0.15
    now=$(date +%s)
    for s in tall:80 w60:60 w40:40; do
        name=${s%:*}
        [ -f "$WORK/$name.rc" ] && continue
        snap "$name"
        # A capture may fall within a redraw: a fault must last.
        if ! running "$name" "${s#*:}"; then
            sleep 0.1
            snap "$name"
            running "$name" "${s#*:}" || fail "$name: $WHY"
        fi
        f="$WORK/$name.txt"
        case $name in
            tall)
                # Listed last, the working ports are shown first.
                if [ -z "$TRANSFERS_AT" ] && grep -qE '^A +[^ ]+ +trasferimento [0-9]+%' "$f" &&
                    grep -qE '^B +[^ ]+ +trasferimento [0-9]+%' "$f"; then
                    TRANSFERS_AT=$now
                fi
                [ -z "$TRANSFERS_AT" ] && [ $((now - START)) -gt 10 ] && fail "tall: no transfers shown"
                # A few seconds of redraws, then Ctrl-C mid-transfer.
                if [ -n "$TRANSFERS_AT" ] && [ -z "$INTERRUPTED_AT" ] && [ $((now - TRANSFERS_AT)) -ge 3 ]; then
                    tm send-keys -t tall C-c
                    INTERRUPTED_AT=$now
                fi
                if [ -n "$INTERRUPTED_AT" ] && [ -z "$STOP_SEEN" ]; then
                    if grep -q '^Arresto' "$f"; then
                        grep -q '^Arresto: nessun nuovo cronometro, 2 trasferimenti in corso$' "$f" ||
                            fail "tall: the stop line's first count"
                        STOP_SEEN=1
                    fi
                    [ $((now - INTERRUPTED_AT)) -gt 2 ] && fail "tall: no stop line 2 s after Ctrl-C"
                fi ;;
            w60)
                grep -qE '^C +trasferimento [0-9]+% fase [0-9]/[0-9] +0600-0060 +[0-9]+:[0-9]{2}$' "$f" &&
                    W60_SEEN=1 ;;
            w40)
                grep -qE '^D +trasferimento [0-9]+% fase [0-9]/[0-9]$' "$f" && W40_SEEN=1 ;;
        esac
    done
done

# The ends: status 0, the summary, one table in the whole scrollback.
for name in tall w60 w40; do
    [ "$(cat "$WORK/$name.rc")" = 0 ] || fail "$name: exit $(cat "$WORK/$name.rc")"
    i=0
    until snap "$name" && grep -q '^Riepilogo' "$WORK/$name.txt"; do
        i=$((i + 1))
        [ $i -gt 20 ] && fail "$name: no summary"
        sleep 0.1
    done
    [ "$(grep -c '^Porta ' "$WORK/$name.txt")" -eq 1 ] || fail "$name: table copies in the scrollback"
done
[ -n "$STOP_SEEN" ] || fail "tall: the stop line never shown"
grep -A 1 '^Arresto: nessun nuovo cronometro, 0 trasferimenti in corso$' "$WORK/tall.txt" |
    grep -q '^Riepilogo: completati 2, falliti 0' || fail "tall: the stop line or the summary at the end"
grep -q '^Riepilogo: completati 1, falliti 0' "$WORK/w60.txt" || fail "w60: summary"
grep -q '^Riepilogo: completati 1, falliti 0' "$WORK/w40.txt" || fail "w40: summary"
[ -n "$W60_SEEN" ] || fail "w60: never port, state with percent, S/N and time left"
[ -n "$W40_SEEN" ] || fail "w40: never port and state with percent"
echo "station table: all passed"
