#!/usr/bin/env bash
# The bench station under Wine: zorload-cli.exe station --json with two
# chronometers at once, zorsim's ptys mapped through Wine's Ports key as COM1
# and COM12 (an adapter beyond COM4, which the system's serial-port map
# lists), each updated on its own port:
#   1. --ports COM1,COM12;
#   2. no --ports: COM1 to COM4 watched, then COM12 found in the serial-port
#      map, its chronometer plugged in a second after the station started.
# Each run: both ports connected once and done with code 0, each with the S/N
# of the chronometer on it, nothing failed, the summary last (done 2,
# failed 0), exit status 0, every line one JSON event, and neither zorsim saw
# the protocol broken.
# Usage: station_wine.sh BUILD ZORSIM, with BUILD a Windows build folder
# (scripts/build-windows.sh) and ZORSIM the Linux simulator. The ports are
# mapped in a copy of $WINEPREFIX (else BUILD/wine, made as
# scripts/test-windows.sh makes it), so no other test ever sees them.
set -euo pipefail
build=$(cd "$1" && pwd)
zorsim=$2
cli=$build/cli/zorload-cli.exe
for f in "$cli" "$zorsim"; do
  [ -f "$f" ] || { echo "station_wine.sh: $f missing" >&2; exit 1; }
done
echo "== bench station under Wine (COM1, COM12) =="

# shellcheck source=scripts/wine-prefix.sh
. "$(dirname "$0")/../../scripts/wine-prefix.sh"
zor_wine_prefix "$build"
work=$(mktemp -d "${TMPDIR:-/tmp}/zorload-station.XXXXXX")
sims=''
stop_sims() {
  for p in $sims; do kill "$p" 2>/dev/null || true; done
  for p in $sims; do wait "$p" 2>/dev/null || true; done
  sims=''
}
cleanup() {
  stop_sims
  WINEPREFIX=$work/wine wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT INT TERM
. "$(dirname "$0")/wine_ports.sh"
wine_ports_prefix COM1 COM12

fail() {
  echo "FAIL: $*" >&2
  for f in "$work"/*.txt; do [ -f "$f" ] || continue; echo "--- $(basename "$f")" >&2; cat "$f" >&2; done
  exit 1
}
"$zorsim" --write-sample "$work/esempio.upd" >/dev/null
sample=$(winepath -w "$work/esempio.upd" 2>/dev/null)

declare -A serial  # the S/N's last digit of the chronometer on each port
sim() {  # COM N zorsim options...: chronometer S/N 1000-000N, which leaves
  local com=$1 n=$2   # after its restart
  shift 2
  serial[$com]=$n
  # Wine's serial driver leaves a pty at 38400: zorsim follows the
  # link-control frames instead of the pty's speed.
  "$zorsim" --link "$work/$com" --once --flash-step 5 --trust-link-speed \
    --id "007 Cronometro S/N 1000-000$n boot 1.30" "$@" \
    >"$work/$run-$com-zorsim.txt" 2>&1 &
  sims="$sims $!"
}

# station options...: the station until both chronometers finished, its
# events in $work/$run.txt, checked.
station() {
  local out=$work/$run.txt status=0 com p
  timeout 45 wine "$cli" station "$sample" --select all --count 2 --json "$@" \
    >"$out" 2>"$work/$run-stderr.txt" </dev/null || status=$?
  [ "$status" -eq 0 ] || fail "$run: exit $status, not 0"
  tr -d '\r' <"$out" >"$out.lf" && mv "$out.lf" "$out"
  grep -qv '^{"event": "[a-z]*", .*}$' "$out" && fail "$run: a line that is no JSON event"
  for com in COM1 COM12; do
    [ "$(grep -c "^{\"event\": \"connected\", \"port\": \"$com\"," "$out")" -eq 1 ] ||
      fail "$run: $com not connected once"
    grep -q "^{\"event\": \"done\", \"port\": \"$com\",.*S/N 1000-000${serial[$com]} .* \"code\": 0," \
      "$out" || fail "$run: $com's chronometer (S/N 1000-000${serial[$com]}) not done with code 0"
  done
  grep -q '^{"event": "failed"' "$out" && fail "$run: a port failed"
  tail -n 1 "$out" | grep -q '^{"event": "summary", "done": 2, "failed": 0, "current": 0,' ||
    fail "$run: the summary is not last, or not done 2, failed 0"
  # Each chronometer has left after its restart, unharmed.
  for p in $sims; do
    status=0
    timeout 10 tail --pid="$p" -f /dev/null || fail "$run: a zorsim stayed after its restart"
    wait "$p" || status=$?
    [ "$status" -eq 0 ] || fail "$run: a zorsim exited $status (3: the protocol was broken)"
  done
  sims=''
  echo "$run: COM1 and COM12 done, $(tail -n 1 "$out" | grep -o '"seconds": [0-9.]*')"
}

run=ports
sim COM1 1
sim COM12 2
for com in COM1 COM12; do
  for _ in $(seq 100); do [ -L "$work/$com" ] && break; sleep 0.05; done
  [ -L "$work/$com" ] || fail "zorsim did not link $work/$com"
done
station --ports COM1,COM12

# Every port watched: COM12 comes from the serial-port map and is plugged in
# after the station started.
run=all
sim COM1 3
sim COM12 4 --plug-after 1000
station
added=$(grep -o '^{"event": "added", "port": "[^"]*"' "$work/all.txt" | cut -d'"' -f8 | tr '\n' ' ')
case "$added" in
  "COM1 COM2 COM3 COM4 "*"COM12 "*) ;;
  *) fail "all: the ports watched are $added, not COM1 to COM4 then COM12 among the others" ;;
esac
