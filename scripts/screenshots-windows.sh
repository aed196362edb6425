#!/usr/bin/env bash
# Screenshots of zorload.exe under Wine for the README: the file page, the
# component page with its chart and the transfer page with its bars, into
# docs/screenshots/win32-*.png, and the bench window with one chronometer
# done and one failed, into docs/banco-win32.png. Runs
# tests/windows/wizard_wine.sh with a slow simulated flash so that the
# transfer can be caught half-way, and tests/windows/station_window_wine.sh. Uses the
# Windows build in build-win32/ (or the folder given as $1), building it when
# zorload.exe is missing. Not part of the tests.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${1:-build-win32}
case "$build" in /*) ;; *) build=$root/$build ;; esac

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
# ImageMagick takes the pictures; Wine's own fonts draw the title bar's
# buttons and the dialog font as on Windows.
missing=()
for p in imagemagick xvfb fonts-wine; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -ne 0 ]; then
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
[ -f "$build/wizard/win32/zorload.exe" ] || scripts/build-windows.sh "$build"
cmake -S . -B "$build/native" -DZORLOAD_QT=OFF -DZORLOAD_BENCH=OFF >/dev/null
cmake --build "$build/native" -j 2 --target zorsim >/dev/null

mkdir -p docs/screenshots
ZOR_WIZARD_SHOTS=$root/docs/screenshots ZOR_SIM_FLASH_STEP=60 \
  tests/windows/wizard_wine.sh "$build" "$build/native/sim/zorsim"
ZOR_BENCH_SHOT=$root/docs/banco-win32.png \
  tests/windows/station_window_wine.sh "$build" "$build/native/sim/zorsim"
