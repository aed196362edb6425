#!/usr/bin/env bash
# The bench window under Wine: zorload.exe /banco /avvia with the sample file,
# the user's positions "Posto 1" on COM1, "Posto 2" on COM12 and "Posto 3" on
# COM2 (zorsim's ptys mapped through Wine's Ports key), driven through its
# controls by zor_wizard_driver.exe on a virtual X display:
#   1. Posto 1's chronometer done, Posto 2's refusing its write once (error
#      103, with what to do and "Riprova");
#   2. "Riprova" on Posto 2: its chronometer, still plugged in, is done;
#   3. the session's list holds the three runs, the totals count them, "Copia"
#      puts them on the clipboard as tab-separated lines;
#   4. a slow chronometer on Posto 3: closing the window is refused while it
#      is written; pulling its cable fails it;
#   5. "Ferma", then "Posti...": a position added ("Posto 4", on COM3, the
#      first port no position has) and moved up one, "Salva": the tiles follow
#      and %APPDATA%\Zorload\banco.ini holds the four in that order; the
#      close box ends the program with 0, the zorsim runs unharmed;
#   6. the history the window kept (a file named by ZORLOAD_HISTORY) holds the
#      four runs as zorload's, at their positions, read by the Linux
#      zorload-cli beside ZORSIM (said and skipped when that is not built).
# Usage: station_window_wine.sh BUILD ZORSIM, with BUILD a Windows build
# folder (scripts/build-windows.sh) and ZORSIM the Linux simulator. The ports
# are mapped in a copy of $WINEPREFIX (else BUILD/wine). The display is the
# first free one from :82. With ZOR_BENCH_SHOT set to a PNG file, the window
# is also photographed there once both tiles show their result.
set -euo pipefail
build=$(cd "$1" && pwd)
zorsim=$2
exe=$build/wizard/win32/zorload.exe
driver=$build/tests/windows/zor_wizard_driver.exe
for f in "$exe" "$driver" "$zorsim"; do
  [ -f "$f" ] || { echo "station_window_wine.sh: $f missing" >&2; exit 1; }
done
echo "== bench window under Wine (Posto 1 on COM1, Posto 2 on COM12, Posto 3 on COM2) =="
command -v Xvfb >/dev/null || { echo "station_window_wine.sh: Xvfb missing (xvfb)" >&2; exit 1; }

# shellcheck source=scripts/wine-prefix.sh
. "$(dirname "$0")/../../scripts/wine-prefix.sh"
zor_wine_prefix "$build"
n=82
while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
export DISPLAY=:$n
work=$(mktemp -d "${TMPDIR:-/tmp}/zorload-bench.XXXXXX")
xvfb_pid='' app_pid='' sims=''
cleanup() {
  for p in $app_pid $sims; do kill "$p" 2>/dev/null || true; done
  WINEPREFIX=$work/wine wineserver -k 2>/dev/null || true
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT INT TERM
Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.txt" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.05; done
. "$(dirname "$0")/wine_ports.sh"
wine_ports_prefix COM1 COM2 COM12
# There is no window manager on the display: Wine draws the title bars.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1

fail() {
  echo "FAIL: $*" >&2
  for f in "$work"/*.txt; do [ -f "$f" ] || continue; echo "--- $(basename "$f")" >&2; cat "$f" >&2; done
  exit 1
}
drive() { wine "$driver" bench -- "$@" </dev/null 2>>"$work/driver.txt" || fail "driver: $(tail -4 "$work/driver.txt")"; }

# The positions where the program looks for them: %APPDATA%\Zorload.
appdata=$(winepath -u "$(wine cmd /c echo %APPDATA% 2>/dev/null | tr -d '\r')" 2>/dev/null)
mkdir -p "$appdata/Zorload"
printf '[posti]\r\nPosto 1=COM1\r\nPosto 2=COM12\r\nPosto 3=COM2\r\n' >"$appdata/Zorload/banco.ini"
# The sample where a technician keeps such files: on drive C:.
mkdir -p "$WINEPREFIX/drive_c/Aggiornamenti"
"$zorsim" --write-sample "$WINEPREFIX/drive_c/Aggiornamenti/esempio.upd" >/dev/null
sample='C:\Aggiornamenti\esempio.upd'

# COM1's chronometer leaves after its restart; COM12's refuses its second
# write command once and stays plugged in.
"$zorsim" --link "$work/COM1" --once --flash-step 5 --trust-link-speed \
  --id "007 Cronometro S/N 1000-0001 boot 1.30" >"$work/zorsim-COM1.txt" 2>&1 &
sims="$!"
"$zorsim" --link "$work/COM12" --flash-step 5 --trust-link-speed --fault C:2:wrong-code \
  --id "007 Cronometro S/N 1000-0002 boot 1.30" >"$work/zorsim-COM12.txt" 2>&1 &
sims="$sims $!"
for com in COM1 COM12; do
  for _ in $(seq 100); do [ -L "$work/$com" ] && break; sleep 0.05; done
  [ -L "$work/$com" ] || fail "zorsim did not link $work/$com"
done

# The program's stderr goes to a file: a full pipe would stall Wine.
ZORLOAD_HISTORY='C:\storico.sqlite' wine "$exe" /banco /avvia "$sample" </dev/null \
  >"$work/zorload.txt" 2>&1 &
app_pid=$!
drive wait-window 30 -- tile 0 name "Posto 1" -- tile 0 port COM1 -- tile 1 port COM12 \
  -- contains fileInfo "ID: 0214-002A" -- is start disabled -- is stop enabled \
  -- tile 0 state completato 60 -- tile 0 serial "S/N 1000-0001" \
  -- tile 0 frame "Posto 1, COM1: completato" -- tile 1 state "errore 103" 60 \
  -- tile 1 serial "S/N 1000-0002" -- tile 1 frame "Posto 2, COM12: errore 103" \
  -- tile 1 step "Ricollegarlo"
if [ -n "${ZOR_BENCH_SHOT:-}" ]; then
  read -r x y w h < <(wine "$driver" bench -- activate -- rect </dev/null | tr -d '\r')
  sleep 0.5
  import -window root -crop "${w}x${h}+${x}+${y}" +repage "$ZOR_BENCH_SHOT"
  echo "screenshot $ZOR_BENCH_SHOT"
fi
drive retry 1 -- tile 1 state completato 60 -- list-count session 3 \
  -- contains totals "Completati 2, falliti 1, già aggiornati 0" 5 -- click copy \
  -- clipboard $'Posto 2\t1000-0002\terrore 103 scrittura\t' \
  -- clipboard $'\t1000-0002\tcompletato\t' -- clipboard $'Secondi\r\n'
# Posto 3's chronometer comes and writes slowly: closing the window is
# refused while it is written; pulling its cable fails it.
"$zorsim" --link "$work/COM2" --flash-step 2000 --trust-link-speed \
  --id "007 Cronometro S/N 1000-0003 boot 1.30" >"$work/zorsim-COM2.txt" 2>&1 &
slow=$!
drive tile 2 state "trasferimento" 60 -- tile 2 serial "S/N 1000-0003" -- close \
  -- box benchCloseRefused -- ok
kill "$slow"
wait "$slow" 2>/dev/null || true
drive tile 2 state "errore" 60
drive click stop -- is start enabled 20 -- click positions -- list-count posList 3 \
  -- click posAdd -- wait-text posName "Posto 4" -- wait-text posPort COM3 -- click posUp \
  -- click posSave -- tile 2 name "Posto 4" -- tile 2 port COM3 -- tile 3 name "Posto 3"
cmp -s "$appdata/Zorload/banco.ini" <(printf '[posti]\r\nPosto 1=COM1\r\nPosto 2=COM12\r\nPosto 4=COM3\r\nPosto 3=COM2\r\n') ||
  fail "banco.ini after Salva: $(od -c "$appdata/Zorload/banco.ini")"
drive close
status=0
for _ in $(seq 200); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.05; done
kill -0 "$app_pid" 2>/dev/null && fail "zorload.exe did not end on the close box"
wait "$app_pid" || status=$?
app_pid=
[ "$status" -eq 0 ] || fail "zorload.exe exited $status, not 0"
for p in $sims; do kill "$p" 2>/dev/null || true; done
for p in $sims; do
  status=0
  wait "$p" || status=$?
  [ "$status" -eq 0 ] || fail "a zorsim exited $status (3: the protocol was broken)"
done
sims=''
cli=$(dirname "$zorsim")/../cli/zorload-cli
if [ -x "$cli" ]; then
  "$cli" history --history "$WINEPREFIX/drive_c/storico.sqlite" --json >"$work/history.txt" 2>&1 ||
    fail "zorload-cli history exited $?"
  [ "$(grep -c '"program": "zorload"' "$work/history.txt")" -eq 4 ] || fail "not four runs of zorload kept"
  for p in 1 2 3; do
    grep -q "\"position\": \"Posto $p\"" "$work/history.txt" || fail "no run kept at Posto $p"
  done
else
  echo "history not checked: $cli not built"
fi
echo "bench window under Wine: Posto 1 done, Posto 2 failed with 103 and done on Riprova, Posto 3 refused the close and failed unplugged, Posto 4 added, closed"
