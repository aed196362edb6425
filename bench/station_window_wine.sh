#!/usr/bin/env bash
# The Win32 bench window's figures under Wine, with 16 positions (Posto 1..16
# on COM1..COM16 in the Wine user's banco.ini) and zorload.exe /banco /avvia
# on the sample file, so that the station watches all 16 while they wait:
#   - first paint: from the launch of "wine zorload.exe" until its window is
#     viewable on the X display (the tiles are made before the window shows,
#     and it paints as it shows); Wine's own start is in it. For scale, the
#     time a trivial Win32 program (the driver) takes from launch to exit;
#   - resident memory (VmRSS) of the zorload.exe process, and of the Wine
#     server that runs beside it for this prefix alone;
#   - CPU over 10 s while the 16 positions wait (utime + stime from
#     /proc/PID/stat), of zorload.exe and of the Wine server, which does the
#     message, timer and serial calls' work on the program's behalf.
# Each COM port is a pty where a zorsim holds the line and answers nothing
# (a cable on the bench with no chronometer at its end); with ZOR_ABSENT=1
# the ports are not there at all, and the station looks for each once a
# second. Not part of the test run.
# Usage: bench/station_window_wine.sh BUILD ZORSIM [RUNS]   (RUNS: 3)
set -euo pipefail
build=$(cd "$1" && pwd)
zorsim=$2
runs=${3:-3}
exe=$build/wizard/win32/zorload.exe
driver=$build/tests/windows/zor_wizard_driver.exe
for f in "$exe" "$driver" "$zorsim"; do
  [ -f "$f" ] || { echo "station_window_wine.sh: $f missing" >&2; exit 1; }
done
for t in Xvfb xwininfo; do
  command -v "$t" >/dev/null || { echo "station_window_wine.sh: $t missing (xvfb, x11-utils)" >&2; exit 1; }
done

here=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=scripts/wine-prefix.sh
. "$here/scripts/wine-prefix.sh"
zor_wine_prefix "$build"
n=90
while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
export DISPLAY=:$n
work=$(mktemp -d "${TMPDIR:-/tmp}/zorload-bench-window.XXXXXX")
xvfb_pid='' app_pid='' sims=()
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
  for p in "${sims[@]}"; do kill "$p" 2>/dev/null || true; done
  WINEPREFIX=$work/wine wineserver -k 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT INT TERM
Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.txt" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.05; done

coms=()
for i in $(seq 16); do coms+=("COM$i"); done
. "$here/tests/windows/wine_ports.sh"
wine_ports_prefix "${coms[@]}"
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
appdata=$(winepath -u "$(wine cmd /c echo %APPDATA% 2>/dev/null | tr -d '\r')" 2>/dev/null)
mkdir -p "$appdata/Zorload"
{
  printf '[posti]\r\n'
  for i in $(seq 16); do printf 'Posto %d=COM%d\r\n' "$i" "$i"; done
} >"$appdata/Zorload/banco.ini"
"$zorsim" --write-sample "$WINEPREFIX/drive_c/esempio.upd" >/dev/null

if [ "${ZOR_ABSENT:-0}" = 1 ]; then
  ports="absent ports"
else
  ports="ptys, nothing answering"
  for com in "${coms[@]}"; do
    "$zorsim" --link "$work/$com" --fault test:0:silence >/dev/null 2>&1 &
    sims+=($!)
  done
  for com in "${coms[@]}"; do
    for _ in $(seq 100); do [ -L "$work/$com" ] && break; sleep 0.05; done
  done
fi
server=
for p in $(pgrep -f wineserver); do
  tr '\0' '\n' 2>/dev/null <"/proc/$p/environ" | grep -qx "WINEPREFIX=$WINEPREFIX" && server=$p
done
[ -n "$server" ] || { echo "station_window_wine.sh: no Wine server for $WINEPREFIX" >&2; exit 1; }

ms() { echo $(($(date +%s%N) / 1000000)); }
ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
hz=$(getconf CLK_TCK)

# Wine's own share, for scale: a trivial Win32 window (the driver's
# listening one) from launch to viewable, and its resident memory.
viewable() {  # TITLE START_MS: waits until the window is viewable
  until xwininfo -name "$1" 2>/dev/null | grep -q IsViewable; do
    [ $(($(ms) - $2)) -lt 30000 ] || { echo "no window \"$1\" after 30 s" >&2; exit 1; }
    sleep 0.002
  done
}
t0=$(ms)
wine "$driver" bench -- listen 4 </dev/null >/dev/null 2>&1 &
app_pid=$!
viewable zor_wizard_driver "$t0"
floor=$(($(ms) - t0))
sleep 1.5
floor_rss=$(awk '/^VmRSS/ { printf "%.1f", $2 / 1024 }' "/proc/$app_pid/status")
kill "$app_pid" 2>/dev/null || true
wait "$app_pid" 2>/dev/null || true
app_pid=

echo "== Win32 bench window under Wine: 16 positions on $ports =="
echo "(a trivial Win32 window under the same Wine: viewable after $floor ms, $floor_rss MB resident)"
printf '%-4s %14s %12s %16s %12s %16s\n' run first_paint_ms rss_exe_mb rss_server_mb cpu_exe_% cpu_server_%
for run in $(seq "$runs"); do
  t0=$(ms)
  wine "$exe" /banco /avvia 'C:\esempio.upd' </dev/null >"$work/zorload.txt" 2>&1 &
  app_pid=$!
  # Viewable: mapped, with every ancestor mapped.
  viewable "Zorload - banco" "$t0"
  paint=$(($(ms) - t0))
  wine "$driver" bench -- tile 15 name "Posto 16" -- is stop enabled </dev/null >/dev/null 2>"$work/driver.txt" ||
    { echo "the window has no 16 waiting positions: $(cat "$work/driver.txt")" >&2; exit 1; }
  # The Linux process that is zorload.exe (wine may hand over to another).
  pid=$app_pid
  grep -q zorload.exe "/proc/$pid/cmdline" 2>/dev/null || pid=$(pgrep -n -f "zorload.exe /banco")
  sleep 2
  e0=$(ticks "$pid") s0=$(ticks "$server")
  sleep 10
  e1=$(ticks "$pid") s1=$(ticks "$server")
  rss=$(awk '/^VmRSS/ { print $2 }' "/proc/$pid/status")
  srss=$(awk '/^VmRSS/ { print $2 }' "/proc/$server/status")
  awk -v r="$run" -v p="$paint" -v rss="$rss" -v srss="$srss" -v e="$((e1 - e0))" \
    -v s="$((s1 - s0))" -v hz="$hz" 'BEGIN {
      printf "%-4d %14d %12.1f %16.1f %12.2f %16.2f\n", r, p, rss / 1024, srss / 1024,
        e * 100 / (hz * 10), s * 100 / (hz * 10) }'
  wine "$driver" bench -- close </dev/null >/dev/null 2>&1 || true
  for _ in $(seq 200); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.05; done
  kill "$app_pid" 2>/dev/null || true
  wait "$app_pid" 2>/dev/null || true
  app_pid=
done
