#!/usr/bin/env bash
# Cross-builds the Windows programs (scripts/build-windows.sh) and runs them
# under Wine, on a fresh Debian 12 machine as on one that has run this
# before (packages and the Wine prefix are made only when missing):
#   1. the unit tests built for Windows (CTest runs each program under Wine);
#   2. the serial port contract over a pseudo-terminal mapped as COM2;
#   3. zorload-cli.exe -v, ports, check, update (through the port left with
#      XON/XOFF on) and check again against zorsim (built for Linux) on a
#      pseudo-terminal mapped as COM1.
# The Wine prefix lives in build-win32/wine (scripts/wine-prefix.sh); its
# COM1 and COM2 are mapped to build-win32/wine-com/COM1 and COM2.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$root/build-win32

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive

echo "== packages =="
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
  $SUDO apt-get update
  export ZOR_APT_UPDATED=1
fi
# Wine for 32-bit programs, and what the Linux side (zorsim) is built with.
missing=()
for p in wine wine32:i386 build-essential cmake libgtest-dev libgmock-dev; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -ne 0 ]; then
  echo "Installing: ${missing[*]}"
  [ -n "${ZOR_APT_UPDATED:-}" ] || $SUDO apt-get update
  export ZOR_APT_UPDATED=1
  $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi

echo "== build for Windows (build-win32/) =="
scripts/build-windows.sh "$build"
echo "== build zorsim for Linux (build-win32/native/) =="
cmake -S . -B "$build/native" -DZORLOAD_QT=OFF -DZORLOAD_BENCH=OFF >/dev/null
cmake --build "$build/native" -j "$(nproc)" --target zorsim >/dev/null
zorsim=$build/native/sim/zorsim

echo "== Wine prefix (build-win32/wine) =="
export WINEPREFIX=$build/wine
# shellcheck source=scripts/wine-prefix.sh
. scripts/wine-prefix.sh
zor_wine_prefix "$build"
com=$build/wine-com
# One server for the whole run; its device manager maps the COM ports from
# the registry as it starts.
wineserver -k 2>/dev/null || true
wineserver -p 300 >/dev/null 2>&1 </dev/null
wine cmd /c exit >/dev/null 2>&1 </dev/null
work=$(mktemp -d "${TMPDIR:-/tmp}/zorload-wine.XXXXXX")
sim_pid=
cleanup() {
  if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; fi
  wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT INT TERM
for n in 1 2; do
  [ "$(readlink "$WINEPREFIX/dosdevices/com$n")" = "$com/COM$n" ] ||
    { echo "Wine maps com$n to $(readlink "$WINEPREFIX/dosdevices/com$n"), not $com/COM$n" >&2; exit 1; }
done

echo "== unit tests under Wine =="
(cd "$build" && ctest --output-on-failure -j "$(nproc)")

echo "== benchmarks under Wine (a short run each) =="
for b in "$build"/bench/bench_*.exe; do
  [ -f "$b" ] || continue # a build configured without the benchmarks
  wine "$b" --benchmark_min_time=0.01 </dev/null 2>/dev/null | grep "^BM_" | sed "s|^|$(basename "$b"): |"
done

echo "== serial port contract under Wine (COM2) =="
rm -f "$com/COM2"
ZOR_CONTRACT_LINK=$com/COM2 ZOR_CONTRACT_PORT=COM2 \
  sh tests/windows/serial_contract.sh "$zorsim" "$build/tests/windows/zor_tests_serial_contract.exe" \
  wine

echo "== zorload-cli.exe against zorsim on COM1 =="
cli=$build/cli/zorload-cli.exe
fail() {
  echo "FAIL: $*" >&2
  for f in "$work"/*.txt; do echo "--- $f" >&2; cat "$f" >&2; done
  exit 1
}
run() {  # name args...: zorload-cli.exe under Wine, output in $work/name.txt
  local name=$1
  shift
  wine "$cli" "$@" >"$work/$name.txt" 2>&1 </dev/null
}

run version -v || fail "-v"
diff <(tr -d '\r' <"$work/version.txt") - <<'EOF' || fail "-v does not show the version resource"
Informazioni sulla versione:

Morvanti Zorload
Versione 2.1.0.155
EOF

"$zorsim" --write-sample "$work/esempio.upd" >/dev/null
sample=$(winepath -w "$work/esempio.upd" 2>/dev/null)
rm -f "$com/COM1"
"$zorsim" --link "$com/COM1" --flash-step 5 --trust-link-speed >"$work/zorsim.txt" 2>&1 &
sim_pid=$!
for _ in $(seq 100); do [ -L "$com/COM1" ] && break; sleep 0.05; done

run ports ports || fail "ports"
cat "$work/ports.txt"
# A pty has no modem lines to tell a cable by: plain "Disponibile".
tr -d '\r' <"$work/ports.txt" | grep -q $'^COM1\tDisponibile\t' || fail "COM1 (zorsim) is not available"
[ "$(tr -d '\r' <"$work/ports.txt" | cut -f1 | tr '\n' ' ')" = "COM1 COM2 COM3 COM4 " ] ||
  fail "ports does not list COM1 to COM4"

run check1 check COM1 || fail "first check"
grep -q "Programma base VERS 2.10 BUILD 35" "$work/check1.txt" || fail "check: the starting table"
# The update goes through a port another program left with XON/XOFF on (Wine
# reports the pty's IXON as fOutX): the data blocks hold 0x11 and 0x13, which
# only a line without software flow control carries.
stty -F "$com/COM1" ixon ixoff || fail "stty on COM1's pty"
run update update COM1 "$sample" --select all || fail "update"
grep -q "Aggiornamento completato." "$work/update.txt" || fail "update did not complete"
run check2 check COM1 || fail "second check"
grep -q "Programma base VERS 2.20 BUILD 41" "$work/check2.txt" || fail "check: the new table"
cat "$work/check2.txt"

kill "$sim_pid"
status=0
wait "$sim_pid" || status=$?
sim_pid=
[ "$status" -eq 0 ] || fail "zorsim exited $status (3: the program broke the protocol)"

run info info "$sample" || fail "info"
grep -q "ID: 0214-002A" "$work/info.txt" && grep -q "Programma base VERS 2.20 BUILD 41" "$work/info.txt" ||
  fail "info does not list the sample's components"

# Our texts reach the console as UTF-8, untouched by any code page.
run refused info "$sample.none" || true
grep -q "non è un file di aggiornamento" "$work/refused.txt" || fail "Italian text garbled"

tests/windows/wizard_wine.sh "$build" "$zorsim"
tests/windows/install_wine.sh "$build"
tests/windows/com_beyond4_wine.sh "$build" "$zorsim"
tests/windows/station_wine.sh "$build" "$zorsim"
tests/windows/station_window_wine.sh "$build" "$zorsim"
echo "== Windows build: all tests passed under Wine =="
