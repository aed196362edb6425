#!/usr/bin/env bash
# Takes the README's screenshots from the real window: Xvfb, zorsim on a
# pseudo-terminal as COM1, zorload driven with mouse clicks, each page
# captured with ImageMagick into docs/screenshots/.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh xvfb xdotool imagemagick x11-utils
scripts/build.sh build

out=docs/screenshots
mkdir -p "$out"
ZORSIM_OPTIONS="--flash-step 150"
. scripts/simulated-com1.sh

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display XDG_RUNTIME_DIR=$work
for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.05; done

export ZORLOAD_COM2=$work/none ZORLOAD_COM3=$work/none ZORLOAD_COM4=$work/none

build/wizard/qt/zorload "$work/esempio.upd" >"$work/zorload.log" 2>&1 &
pids+=($!)
wid=
for _ in $(seq 100); do
  wid=$(xdotool search --name '^Zorload$' 2>/dev/null | head -1) && [ -n "$wid" ] && break
  sleep 0.1
done
[ -n "$wid" ] || { echo "the window did not appear" >&2; exit 1; }

# Positions in the window's client area (the form is laid out in pixels).
click() { xdotool mousemove --window "$wid" "$1" "$2" click 1; sleep "${3:-0.6}"; }
next() { click 361 340 "${1:-0.6}"; }
shot() { sleep 0.3; import -window "$wid" "$out/$1.png"; echo "$out/$1.png"; }

sleep 1
shot 1-start
next; next; click 287 340          # load the file, then back to the file page
shot 2-file
next; next 1.5
shot 3-ports
next 3                              # the connection check
for y in 136 150 164 178; do click 41 "$y" 0.3; done
shot 4-components
next 1.5
shot 5-transfer
sleep 40
shot 6-done

# The bench window (docs/banco-qt.png): four positions, started at once with
# -avvia. One chronometer written, one that refused its write, one still
# being written, and a position with nothing plugged in.
bench_sim() {  # LINK SERIAL OPTIONS...
  build/sim/zorsim --link "$work/$1" --id "007 Cronometro S/N $2 boot 1.30" "${@:3}" \
    >"$work/$1.log" 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do [ -L "$work/$1" ] && break; sleep 0.05; done
}
bench_sim banco1 0412-0087 --flash-step 5
bench_sim banco2 0412-0088 --flash-step 5 --fault C:1:wrong-code
bench_sim banco3 0412-0089 --flash-step 400
printf '[posti]\nPosto 1=%s\nPosto 2=%s\nPosto 3=%s\nPosto 4=%s\n' \
  "$work/banco1" "$work/banco2" "$work/banco3" "$work/banco4" >"$work/banco.ini"
ZORLOAD_POSITIONS=$work/banco.ini build/wizard/qt/zorload -banco -avvia "$work/esempio.upd" \
  >"$work/banco.log" 2>&1 &
pids+=($!)
wid=
for _ in $(seq 100); do
  wid=$(xdotool search --name '^Zorload - banco$' 2>/dev/null | head -1) && [ -n "$wid" ] && break
  sleep 0.1
done
[ -n "$wid" ] || { echo "the bench window did not appear" >&2; exit 1; }
sleep 6
import -window "$wid" docs/banco-qt.png
echo docs/banco-qt.png
