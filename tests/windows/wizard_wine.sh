#!/usr/bin/env bash
# zorload.exe end to end under Wine, driven through its own controls by
# zor_wizard_driver.exe on a virtual X display:
#   1. the wizard with the sample file from the start page to "Aggiornamento
#      completato" against zorsim on COM1, the components ticked with the
#      keyboard; on every page the texts shown are those of
#      tests/support/window_texts.h; Enter, Esc and the Alt accelerators, the
#      file dialog, the verdict and the chart after each change of the
#      component list (fill colours, edges, bold labels of what changes), and
#      the refused close during the transfer; Next, Back and Next again on
#      the start page end the session log and begin it anew, and the file
#      loaded again (Back to the file page, Next) clears every tick;
#   2. the single instance, on the "Cronometro successivo" page: a second
#      start exits 0 and brings the minimised window back to the front, also
#      when a second window of the wizard's class is there (both are woken);
#      the message with wParam 2 leaves a minimised window alone;
#   3. a second chronometer (a fresh zorsim, its flash full) to "Aggiornamento
#      completato", past the notice that the components do not fit, then
#      "Fine": the port is closed before the log gets its end banner (the
#      program's calls recorded with strace), and zorload.exe and both zorsim
#      runs exit 0;
#   4. two more starts: a port that cannot be set up, then Esc ends the
#      program with 0; an unknown option shows its box and ends with 1.
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

if ! command -v Xvfb >/dev/null || ! command -v strace >/dev/null; then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  [ -n "${ZOR_APT_UPDATED:-}" ] || $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends xvfb strace
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
xvfb_pid='' sim_pid='' app_pid='' listen_pid='' trace_pid=''
cleanup() {
  for p in $trace_pid $listen_pid $app_pid $sim_pid; do kill "$p" 2>/dev/null || true; done
  wineserver -k 2>/dev/null || true
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
  rm -rf "$work" "${files:-}" "${log:-}"
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
drive() { wine "$driver" "$@" </dev/null 2>>"$work/driver.txt" || fail "driver: $(tail -4 "$work/driver.txt")"; }
app_exit() {  # STATUS: zorload.exe ends by itself with that status
  local status=0
  for _ in $(seq 200); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.05; done
  kill -0 "$app_pid" 2>/dev/null && fail "zorload.exe is still running"
  wait "$app_pid" || status=$?
  app_pid=
  [ "$status" -eq "$1" ] || fail "zorload.exe exited $status, not $1"
}
# The session log beside the program: one planner run adds one "New
# allocation" to it.
log=${exe%.*}.LOG
plans() { grep -c "New allocation" "$log" 2>/dev/null || true; }
wait_plans() {  # N: more than N planner runs logged
  for _ in $(seq 40); do [ "$(plans)" -gt "$1" ] && return 0; sleep 0.05; done
  fail "the planner did not run again ($(plans) runs logged)"
}

start_sim() {  # [FLASH_STEP [ZORSIM ARGS]]: one chronometer; it ends after its restart (--once)
  local step=${1:-5}
  shift || true
  rm -f "$link"
  "$zorsim" --link "$link" --flash-step "${ZOR_SIM_FLASH_STEP:-$step}" --trust-link-speed --once "$@" \
    >>"$work/zorsim.txt" 2>&1 &
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
# A slower chronometer: the transfer (about 9 s) outlasts the refused closes.
start_sim 60 --reply-delay 15

echo "-- first chronometer"
rm -f "$log"
wine "$exe" -log "$sample" </dev/null >"$work/zorload.txt" 2>&1 &
app_pid=$!
# Enter clicks the focused button, else "Avanti"; Alt works the accelerators,
# a label's by focusing the control it names; "Sfoglia..." opens the file
# dialog, here cancelled.
drive wait-window 30 -- wait-visible lblPresentaTitle -- texts Pres -- key RETURN \
  -- wait-text lblStepTitle "Selezione del file da caricare" -- click btnIndietro \
  -- wait-visible lblPresentaTitle -- click btnAvanti \
  -- wait-text lblStepTitle "Selezione del file da caricare" -- wait-text FileName "$sample" \
  -- texts SelFile -- focus btnSfoglia -- alt N -- focused FileName 5 -- alt S -- file-dialog \
  -- key RETURN FileName -- wait-text lblStepTitle "Preparazione del cronometro" -- texts SetCrono \
  -- key RETURN btnIndietro -- wait-text lblStepTitle "Selezione del file da caricare" \
  -- alt A -- wait-text lblStepTitle "Preparazione del cronometro" \
  -- alt I -- wait-text lblStepTitle "Selezione del file da caricare" \
  -- click btnAvanti -- wait-text lblStepTitle "Preparazione del cronometro"
# Next on the start page with the log box ticked, Back, Next again: the log
# was ended and begun anew, each line ended by CR LF.
hyphens() { printf -- '-%.0s' $(seq "$1"); }
printf 'Session start %s\r\nSession end %s\r\n\r\nSession start %s\r\n' \
  "$(hyphens 27)" "$(hyphens 29)" "$(hyphens 27)" >"$work/reopened.log"
cmp -s "$work/reopened.log" "$log" ||
  fail "the log opened again reads: $(od -c "$log" 2>&1 | head -8)"
if [ -n "$shots" ]; then  # the file page once more, now with the file's description
  drive click btnIndietro -- wait-visible pnlVersione
  shot win32-2-file
  drive click btnAvanti -- wait-text lblStepTitle "Preparazione del cronometro"
fi
# The component page: the chronometer's own table first, every box
# regular; each tick plans again, and what the plan changes turns bold.
drive click btnAvanti -- wait-text lblStepTitle "Selezione della porta seriale" \
  -- list-count lwPorte 4 -- is btnAvanti enabled -- texts SelPort -- focus btnAvanti -- alt P \
  -- focused lwPorte 5 -- key RETURN -- wait-text lblStepTitle "Selezione dei componenti" 30 -- list-count lvSelLang 4 \
  -- wait-text lbErroreLingua "Situazione preesistente:" -- texts SelLanguage \
  -- is btnAvanti disabled -- is lblNoSpace hidden \
  -- chart-box 0 1 MILO "Boot 1.00" regular -- chart-box 1 3 PGM "Programma base 2.10" regular \
  -- chart-box 4 1 DATAREL "Lingua italiano 1.2" regular -- chart-box 5 1 FREE "Spazio libero" regular \
  -- chart-box 6 1 DATAREL "Tabelle gare 1.0" regular \
  -- focus btnAvanti -- alt C -- focused lvSelLang 5 \
  -- check-row lvSelLang 0 -- wait-text lbErroreLingua "Aggiornamento parziale" -- is btnAvanti enabled \
  -- chart-box 0 1 MILO "Boot 1.01" bold -- chart-box 4 1 DATAREL "Lingua italiano 1.2" regular \
  -- check-row lvSelLang 0 -- wait-text lbErroreLingua "Situazione preesistente:" \
  -- is btnAvanti disabled -- chart-box 0 1 MILO "Boot 1.00" regular \
  -- check-row lvSelLang 0 -- wait-text lbErroreLingua "Aggiornamento parziale"
# Moving the selection alone plans again, to the same end.
runs=$(plans)
drive key DOWN lvSelLang
wait_plans "$runs"
drive wait-text lbErroreLingua "Aggiornamento parziale" 0 -- is btnAvanti enabled \
  -- check-row lvSelLang 1 -- check-row lvSelLang 2 -- check-row lvSelLang 3 \
  -- wait-text lbErroreLingua "Aggiornamento completo" -- is btnAvanti enabled -- is lblNoSpace hidden \
  -- chart-box 1 3 PGM "Programma base 2.20" bold -- chart-box 4 1 DATAREL "Lingua italiano 1.3" bold \
  -- chart-box 5 1 DATAREL "Lingua inglese 1.3" bold -- chart-box 6 2 FREE "Spazio libero" regular
shot win32-4-components
# Loading the file again (Back to the file page, Next) clears every tick; the
# chronometer is read once more on the way back.
drive checked-rows lvSelLang 0,1,2,3 0 -- click btnIndietro \
  -- wait-text lblStepTitle "Selezione della porta seriale" -- click btnIndietro \
  -- wait-text lblStepTitle "Preparazione del cronometro" -- click btnIndietro \
  -- wait-text lblStepTitle "Selezione del file da caricare" -- click btnAvanti \
  -- wait-text lblStepTitle "Preparazione del cronometro" -- click btnAvanti \
  -- wait-text lblStepTitle "Selezione della porta seriale" -- click btnAvanti \
  -- wait-text lblStepTitle "Selezione dei componenti" 30 -- list-count lvSelLang 4 \
  -- checked-rows lvSelLang none 0 -- wait-text lbErroreLingua "Situazione preesistente:" \
  -- is btnAvanti disabled -- check-row lvSelLang 0 -- check-row lvSelLang 1 \
  -- check-row lvSelLang 2 -- check-row lvSelLang 3 -- wait-text lbErroreLingua "Aggiornamento completo"
# While the chronometer is written the window refuses to close, each time,
# and the transfer goes on behind the box; Esc does nothing.
drive click btnAvanti -- wait-text lblStepTitle "Trasferimento dati" -- wait-visible barProgresso \
  -- texts Download -- close -- box closeRefused -- bar-moves barFase 5 -- ok \
  -- close -- box closeRefused -- ok -- is btnAnnulla disabled -- key ESCAPE -- no-box 1 \
  -- wait-text lblStepTitle "Trasferimento dati" 0 -- bar-moves barFase 5
if [ -n "$shots" ]; then
  drive wait-bar barProgresso 30 60 -- wait-bar barFase 20 30
  shot win32-5-transfer
fi
drive wait-text lblStepTitle "Aggiornamento completato" 60 -- texts Done \
  -- click btnAltro -- wait-text lblStepTitle "Cronometro successivo" -- texts New
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
# Every block taken: the languages fit only into a complete update. A '&'
# in a name underlines the letter after it, as in a label.
start_sim 5 --table "MILO:0+1:Boot VERS 1.00 BUILD 12,PGM:1+3:Programma base VERS 2.10 BUILD 35,\
DATAREL:4+1:Lingua italiano VERS 1.2 BUILD 4,DATAREL:5+1:Tabelle gare VERS 1.0 BUILD 2,\
DATAREL:6+1:Percorsi VERS 1.1 BUILD 3,DATAREL:7+1:Dati &gara VERS 1.0 BUILD 1"
pty=$(readlink "$link")
drive wait-text lblStepTitle "Cronometro successivo" -- click btnAvanti \
  -- wait-text lblStepTitle "Selezione dei componenti" 30 \
  -- wait-text lbErroreLingua "Aggiornamento completo" -- is lblNoSpace hidden \
  -- check-row lvSelLang 0 -- check-row lvSelLang 1 -- wait-text lbErroreLingua "Aggiornamento parziale" \
  -- is lblNoSpace visible -- is btnAvanti disabled -- texts SelLanguage \
  -- chart-box 7 1 DATAREL "Dati &gara 1.0" regular \
  -- check-row lvSelLang 0 -- check-row lvSelLang 1 -- wait-text lbErroreLingua "Aggiornamento completo" \
  -- is lblNoSpace hidden -- is btnAvanti enabled
# From here on zorload.exe's closes and writes are recorded, with the files
# behind them, in the order it makes them (while traced, the driver reads
# nothing out of its memory).
calls=$work/calls.strace
strace -f -qq -e trace=close,write -e signal=none -y -o "$calls" -p "$app_pid" 2>>"$work/strace.txt" &
trace_pid=$!
traced() {  # every thread of zorload.exe
  local t
  for t in /proc/"$app_pid"/task/*/status; do
    grep -q '^TracerPid:[[:space:]]*0$' "$t" && return 1
  done
  return 0
}
for _ in $(seq 100); do traced && break; kill -0 "$trace_pid" 2>/dev/null || break; sleep 0.05; done
if ! traced; then
  # Where the kernel lets no sibling trace a process (Yama's ptrace_scope),
  # the order cannot be seen from here.
  grep -qs "Operation not permitted" "$work/strace.txt" || fail "strace did not attach to zorload.exe"
  echo "not checked here: the port closed before the log's end banner (ptrace not permitted)"
  calls=
fi
drive click btnAvanti -- wait-text lblStepTitle "Aggiornamento completato" 60 -- key RETURN
app_exit 0
end_sim
wait "$trace_pid" || true
trace_pid=
if [ -n "$calls" ]; then
  # "Fine" let go of the chronometer's port before the log got its end banner.
  closed=$(grep -n "close([0-9]*<$pty>" "$calls" | tail -1 | cut -d: -f1)
  ended=$(grep -n "<[^>]*$(basename "$log")>, \"Session end" "$calls" | tail -1 | cut -d: -f1)
  [ -n "$closed" ] || fail "zorload.exe never closed $pty"
  [ -n "$ended" ] || fail "the log got no end banner"
  [ "$closed" -lt "$ended" ] || fail "the log got its end banner before the port was closed"
fi

echo "-- Esc, and an unknown option"
# No chronometer now: COM1's port cannot be set up, and the check page
# reports it before the port page comes back.
wine "$exe" "$sample" </dev/null >>"$work/zorload.txt" 2>&1 &
app_pid=$!
drive wait-window 30 -- key RETURN -- wait-text lblStepTitle "Selezione del file da caricare" \
  -- key RETURN -- wait-text lblStepTitle "Preparazione del cronometro" \
  -- key RETURN -- wait-text lblStepTitle "Selezione della porta seriale" -- list-count lwPorte 4 \
  -- is btnAvanti enabled -- key RETURN -- wait-text lblStepTitle "Verifica delle comunicazioni" \
  -- texts CheckCom \
  -- box portSetup -- ok -- wait-text lblStepTitle "Selezione della porta seriale" -- key ESCAPE
app_exit 0
wine "$exe" -x </dev/null >>"$work/zorload.txt" 2>&1 &
app_pid=$!
drive box unknownOption -x "$(basename "$exe")" -- ok
app_exit 1
# On Windows every argument that begins with "/" is an option, also one that
# looks like a Linux path.
wine "$exe" /a/b.upd </dev/null >>"$work/zorload.txt" 2>&1 &
app_pid=$!
drive box unknownOption /a/b.upd "$(basename "$exe")" -- ok
app_exit 1
echo "zorload.exe under Wine: two chronometers updated, single instance kept, texts, keys," \
  "boxes and chart as shown" \
  "($(($(date +%s) - started)) s)"
