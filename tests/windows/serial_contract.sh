#!/bin/sh
# Runs the serial port contract test against zorsim on a pseudo-terminal.
#   serial_contract.sh ZORSIM TEST_PROGRAM [RUNNER...]
# Natively the test opens the pty by the path zorsim links to it. With a
# runner (wine), zorsim links the pty at $ZOR_CONTRACT_LINK, which the Wine
# prefix maps to the COM port $ZOR_CONTRACT_PORT, and follows the
# link-control frames instead of the pty's speed (Wine's serial driver leaves
# a pty at 38400). zorsim must end without a protocol violation. Its
# identification text ends in XON and XOFF (0x11, 0x13), which only a line
# without software flow control carries.
set -u
ZORSIM=$1
PROGRAM=$2
shift 2
WORK=$(mktemp -d "${TMPDIR:-/tmp}/zor-contract.XXXXXX")
SIM_PID=
cleanup() {
    [ -n "$SIM_PID" ] && kill -TERM "$SIM_PID" 2>/dev/null && wait "$SIM_PID" 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT INT TERM

link="$WORK/pty"
port="$link"
sim_options=""
if [ $# -gt 0 ]; then
    link="$ZOR_CONTRACT_LINK"
    port="$ZOR_CONTRACT_PORT"
    sim_options="--trust-link-speed"
fi
identification=$(printf '007 Cronometro S/N 0412-0087 \021\023')
# shellcheck disable=SC2086
"$ZORSIM" --link "$link" --id "$identification" $sim_options \
    >"$WORK/zorsim.out" 2>"$WORK/zorsim.err" &
SIM_PID=$!
i=0
while [ ! -e "$link" ]; do
    i=$((i + 1))
    [ $i -gt 100 ] && { echo "zorsim made no pty" >&2; exit 1; }
    sleep 0.05
done

ZORLOAD_CONTRACT_PORT="$port" "$@" "$PROGRAM"
status=$?

kill -TERM "$SIM_PID" 2>/dev/null
wait "$SIM_PID"
sim_status=$?
SIM_PID=
if [ "$sim_status" -ne 0 ]; then
    echo "zorsim exited $sim_status:" >&2
    cat "$WORK/zorsim.err" >&2
    exit 1
fi
exit $status
