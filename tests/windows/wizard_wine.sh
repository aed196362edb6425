#!/usr/bin/env bash
# zorload.exe end to end under Wine, driven through its own controls by
# zor_wizard_driver.exe on a virtual X display:
#   1. the wizard with the sample file from the start page to "Aggiornamento
#      completato" against zorsim on COM1, the components ticked with the
#      keyboard;
#   2. the single instance, on the "Cronometro successivo" page: a second
#      start exits 0 and brings the minimised window back to the front, also
#      when a second window of the wizard's class is there (both are woken);
#      the message with wParam 2 leaves a minimised window alone;
#   3. a second chronometer (a fresh zorsim) to "Aggiornamento completato",
#      then "Fine": zorload.exe and both zorsim runs exit 0.
# Usage: wizard_wine.sh BUILD ZORSIM, with BUILD a Windows build folder
# (scripts/build-windows.sh) and ZORSIM the Linux simulator. Uses $WINEPREFIX
# when set (its COM1 must be mapped to a path), else BUILD/wine, made as
# scripts/test-windows.sh makes it. The display is the first free one from :72.
# With ZOR_WIZARD_SHOTS set to a folder, the run also takes screenshots of the
# file, component and transfer pages there (scripts/screenshots-windows.sh);
# ZOR_SIM_FLASH_STEP slows the simulated flash (ms per progress report).
set -euo pipefail
build=$(cd "$1" && pwd)
zorsim=$2
exe=${ZOR_WIZARD_EXE:-$build/wizard/win32/zorload.exe}
driver=$build/tests/windows/zor_wizard_driver.exe
for f in "$exe" "$driver" "$zorsim"; do
  [ -f "$f" ] || { echo "wizard_wine.sh: $f missing" >&2; exit 1; }
done
started=$(date +%s)
echo "== zorload.exe driven through its window under Wine =="

if ! command -v Xvfb >/dev/null; then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  [ -n "${ZOR_APT_UPDATED:-}" ] || $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends xvfb
fi

# shellcheck source=scripts/wine-prefix.sh
. "$(dirname "$0")/../../scripts/wine-prefix.sh"
zor_wine_prefix "$build"
# The Wine server and its desktop start afresh on our display.
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true

n=72
while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
export DISPLAY=:$n
work=$(mktemp -d "${TMPDIR:-/tmp}/zorload-wizard.XXXXXX")
xvfb_pid='' sim_pid='' app_pid='' listen_pid=''
cleanup() {
  for p in $listen_pid $app_pid $sim_pid; do kill "$p" 2>/dev/null || true; done
  wineserver -k 2>/dev/null || true
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
  rm -rf "$work" "${files:-}"
}
trap cleanup EXIT INT TERM
Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.txt" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.05; done
[ -e "/tmp/.X11-unix/X$n" ] || { echo "wizard_wine.sh: Xvfb did not start on $DISPLAY" >&2; exit 1; }
if [ -n "${ZOR_WIZARD_SHOTS:-}" ] && [ ! -f "$WINEPREFIX/drive_c/windows/Fonts/marlett.ttf" ]; then
  # The title bar's buttons are drawn with Wine's Marlett font (fonts-wine),
  # which Wine finds only in the prefix's own font folder.
  cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
fi
# The server's device manager maps the COM ports from the registry as the
# first program starts.
wineserver -p 60 >/dev/null 2>&1 </dev/null
wine cmd /c exit >/dev/null 2>&1 </dev/null
# There is no window manager on the display: Wine draws the title bars.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
# zorsim replaces the file at COM1's path with a link to its pty: never a
# device of this machine.
link=$(readlink "$WINEPREFIX/dosdevices/com1") || link=
case "$link" in
  /dev/* | "") echo "wizard_wine.sh: COM1 of $WINEPREFIX is not mapped to a path of ours ($link)" >&2
    exit 1 ;;
esac

fail() {
  echo "FAIL: $*" >&2
  if command -v import >/dev/null; then
    import -window root "$build/wizard-wine-failure.png" 2>/dev/null &&
      echo "screen at the failure: $build/wizard-wine-failure.png" >&2
  fi
  for f in "$work"/*.txt; do echo "--- $(basename "$f")" >&2; cat "$f" >&2; done
  exit 1
}
drive() { wine "$driver" "$@" </dev/null 2>>"$work/driver.txt" || fail "driver: $(tail -1 "$work/driver.txt")"; }

start_sim() {  # one chronometer; it ends after its restart (--once)
  rm -f "$link"
  "$zorsim" --link "$link" --flash-step "${ZOR_SIM_FLASH_STEP:-5}" --trust-link-speed --once >>"$work/zorsim.txt" 2>&1 &
  sim_pid=$!
  for _ in $(seq 100); do [ -L "$link" ] && break; sleep 0.05; done
  [ -L "$link" ] || fail "zorsim did not link $link"
}
end_sim() {  # the chronometer was restarted: its simulator ends by itself
  local status=0
  for _ in $(seq 100); do kill -0 "$sim_pid" 2>/dev/null || break; sleep 0.05; done
  kill -0 "$sim_pid" 2>/dev/null && fail "zorsim is still running: the chronometer was not restarted"
  wait "$sim_pid" || status=$?
  sim_pid=
  [ "$status" -eq 0 ] || fail "zorsim exited $status (3: the program broke the protocol)"
}
second_start() {  # a second zorload.exe with a file: it must end at once, with 0
  local t0 ms status=0
  t0=$(date +%s%N)
  timeout 30 wine "$exe" "$sample" </dev/null >>"$work/second.txt" 2>&1 || status=$?
  ms=$((($(date +%s%N) - t0) / 1000000))
  [ "$status" -eq 0 ] || fail "the second start exited $status"
  [ "$ms" -lt 10000 ] || fail "the second start took $ms ms"
  echo "second start ended in $ms ms"
}

shots=${ZOR_WIZARD_SHOTS:-}
shot() {  # NAME.png: the wizard's window, when screenshots are asked for
  [ -n "$shots" ] || return 0
  local x y w h
  # Activated, as after a click on it: nothing else on this display does that.
  read -r x y w h < <(wine "$driver" activate -- rect </dev/null | tr -d '\r')
  sleep 0.3  # the title bar repainted
  import -window root -crop "${w}x${h}+${x}+${y}" +repage "$shots/$1.png"
  echo "screenshot $shots/$1.png"
}

# The sample update file where a technician keeps such files: on drive C:.
files=$WINEPREFIX/drive_c/Aggiornamenti
mkdir -p "$files"
"$zorsim" --write-sample "$files/esempio.upd" >/dev/null
sample='C:\Aggiornamenti\esempio.upd'
start_sim

echo "-- first chronometer"
wine "$exe" "$sample" </dev/null >"$work/zorload.txt" 2>&1 &
app_pid=$!
ticks=()
for row in 0 1 2 3; do ticks+=(-- check-row lvSelLang "$row"); done
drive wait-window 30 -- wait-visible lblPresentaTitle -- click btnAvanti \
  -- wait-text lblStepTitle "Selezione del file da caricare" -- wait-text FileName "$sample" \
  -- click btnAvanti -- wait-text lblStepTitle "Preparazione del cronometro"
if [ -n "$shots" ]; then  # the file page once more, now with the file's description
  drive click btnIndietro -- wait-visible pnlVersione
  shot win32-2-file
  drive click btnAvanti -- wait-text lblStepTitle "Preparazione del cronometro"
fi
drive click btnAvanti -- wait-text lblStepTitle "Selezione della porta seriale" \
  -- list-count lwPorte 4 -- click btnAvanti \
  -- wait-text lblStepTitle "Selezione dei componenti" 30 -- list-count lvSelLang 4 \
  -- wait-text lbErroreLingua "Situazione preesistente:" "${ticks[@]}" \
  -- wait-text lbErroreLingua "Aggiornamento completo"
shot win32-4-components
drive click btnAvanti -- wait-text lblStepTitle "Trasferimento dati" -- wait-visible barProgresso
if [ -n "$shots" ]; then
  drive wait-bar barProgresso 30 60 -- wait-bar barFase 20 30
  shot win32-5-transfer
fi
drive wait-text lblStepTitle "Aggiornamento completato" 60 -- wait-text btnAvanti "&Fine" \
  -- click btnAltro -- wait-text lblStepTitle "Cronometro successivo"
end_sim

echo "-- single instance"
drive minimise
second_start
drive wait-minimised no 10
# A second window of the class, in front: both windows are woken, and the
# wizard comes back from the task bar to the front.
drive minimise
wine "$driver" listen 30 </dev/null >"$work/listen.txt" 2>&1 &
listen_pid=$!
for _ in $(seq 200); do grep -qs listening "$work/listen.txt" && break; sleep 0.05; done
drive window-count 2 -- is-front no 0
second_start
status=0
wait "$listen_pid" || status=$?
listen_pid=
[ "$status" -eq 0 ] || fail "the second start did not wake every window of the class"
drive wait-minimised no 10 -- is-front yes 10 -- minimise -- notify 2 -- wait-minimised yes 0 \
  -- notify 1 -- wait-minimised no 10

echo "-- second chronometer"
start_sim
drive wait-text lblStepTitle "Cronometro successivo" -- click btnAvanti \
  -- wait-text lblStepTitle "Selezione dei componenti" 30 \
  -- wait-text lbErroreLingua "Aggiornamento completo" -- click btnAvanti \
  -- wait-text lblStepTitle "Aggiornamento completato" 60 -- click btnAvanti
status=0
wait "$app_pid" || status=$?
app_pid=
[ "$status" -eq 0 ] || fail "zorload.exe exited $status after Fine"
end_sim
echo "zorload.exe under Wine: two chronometers updated, single instance kept" \
  "($(($(date +%s) - started)) s)"
