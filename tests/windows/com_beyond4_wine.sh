#!/usr/bin/env bash
# COM ports above COM4 under Wine: COM5 and COM12 mapped through Wine's Ports
# key, which fills the system's serial-port map, COM12 to zorsim's pty.
#   1. zorload-cli.exe ports (and --json) lists COM1 to COM4, then the
#      others by number, each once (Wine enumerates COM12 before COM5), COM12
#      through its device form \\.\COM12;
#   2. zorload-cli.exe update COM12 with the sample file completes, which it
#      only does when COM12 is opened by that form;
#   3. the wizard's port page lists the same ports.
# Usage: com_beyond4_wine.sh BUILD ZORSIM, with BUILD a Windows build folder
# (scripts/build-windows.sh) and ZORSIM the Linux simulator. The ports are
# mapped in a copy of $WINEPREFIX (else BUILD/wine, made as
# scripts/test-windows.sh makes it), so no other test ever sees them.
set -euo pipefail
build=$(cd "$1" && pwd)
zorsim=$2
cli=$build/cli/zorload-cli.exe
exe=$build/wizard/win32/zorload.exe
driver=$build/tests/windows/zor_wizard_driver.exe
for f in "$cli" "$exe" "$driver" "$zorsim"; do
  [ -f "$f" ] || { echo "com_beyond4_wine.sh: $f missing" >&2; exit 1; }
done
echo "== COM ports above COM4 under Wine (COM5, COM12) =="

if ! command -v Xvfb >/dev/null; then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  [ -n "${ZOR_APT_UPDATED:-}" ] || $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends xvfb
fi

# shellcheck source=scripts/wine-prefix.sh
. "$(dirname "$0")/../../scripts/wine-prefix.sh"
zor_wine_prefix "$build"
work=$(mktemp -d "${TMPDIR:-/tmp}/zorload-com12.XXXXXX")
sim_pid='' xvfb_pid='' app_pid=''
cleanup() {
  for p in $app_pid $sim_pid; do kill "$p" 2>/dev/null || true; done
  WINEPREFIX=$work/wine wineserver -k 2>/dev/null || true
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT INT TERM
# The Wine server and its desktop start on a display of their own.
n=72
while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
export DISPLAY=:$n
Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.txt" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.05; done
[ -e "/tmp/.X11-unix/X$n" ] || { echo "com_beyond4_wine.sh: Xvfb did not start on $DISPLAY" >&2; exit 1; }
# COM5 has nothing behind it: it is only listed.
. "$(dirname "$0")/wine_ports.sh"
wine_ports_prefix COM12 COM5

fail() {
  echo "FAIL: $*" >&2
  for f in "$work"/*.txt; do echo "--- $(basename "$f")" >&2; cat "$f" >&2; done
  exit 1
}
run() {  # name args...: zorload-cli.exe under Wine, output in $work/name.txt
  local name=$1
  shift
  wine "$cli" "$@" >"$work/$name.txt" 2>&1 </dev/null
}
# Names in the scan's order: COM1 to COM4, then the others from COM5 up by
# number, each once, COM5 and COM12 among them (Wine maps a machine's own
# serial ports to free numbers too).
check_names() {  # WHAT NAME...
  local what=$1
  shift
  [ "${*:1:4}" = "COM1 COM2 COM3 COM4" ] || fail "$what does not begin with COM1 to COM4: $*"
  printf '%s\n' "${@:5}" | awk -F M '$1 != "CO" || $2 < 5 || $2 <= last { bad = 1 } { last = $2 }
    END { exit bad }' || fail "$what lists the ports above COM4 out of order, twice or below COM5: $*"
  case " $* " in *" COM5 "*) ;; *) fail "$what lacks COM5: $*" ;; esac
  case " $* " in *" COM12 "*) ;; *) fail "$what lacks COM12: $*" ;; esac
}

"$zorsim" --write-sample "$work/esempio.upd" >/dev/null
sample=$(winepath -w "$work/esempio.upd" 2>/dev/null)
# Wine's serial driver leaves a pty at 38400: zorsim follows the link-control
# frames instead of the pty's speed.
"$zorsim" --link "$work/COM12" --flash-step 5 --trust-link-speed >"$work/zorsim.txt" 2>&1 &
sim_pid=$!
for _ in $(seq 100); do [ -L "$work/COM12" ] && break; sleep 0.05; done
[ -L "$work/COM12" ] || fail "zorsim did not link $work/COM12"

run ports ports || fail "ports"
cat "$work/ports.txt"
# shellcheck disable=SC2046
check_names ports $(tr -d '\r' <"$work/ports.txt" | cut -f1)
tr -d '\r' <"$work/ports.txt" | grep -qxF $'COM12\tDisponibile\t\\\\.\\COM12' ||
  fail "COM12 (zorsim) is not available through \\\\.\\COM12"
run json ports --json || fail "ports --json"
# shellcheck disable=SC2046
check_names "ports --json" $(grep -o '"name": "[^"]*"' "$work/json.txt" | cut -d'"' -f4)
grep -qF '{"name": "COM12", "device": "\\\\.\\COM12", "status": "Disponibile", "available": true}' \
  "$work/json.txt" || fail "ports --json: COM12 is not available through \\\\.\\COM12"

run update update COM12 "$sample" --select all || fail "update COM12"
grep -q "Aggiornamento completato." "$work/update.txt" || fail "update on COM12 did not complete"
kill "$sim_pid"
status=0
wait "$sim_pid" || status=$?
sim_pid=
[ "$status" -eq 0 ] || fail "zorsim exited $status (3: the program broke the protocol)"

# The wizard, from the start page to the port page, then Esc.
wine "$exe" "$sample" </dev/null >"$work/zorload.txt" 2>&1 &
app_pid=$!
count=$(tr -d '\r' <"$work/ports.txt" | wc -l)
rows=()
for ((i = 0; i < count; i++)); do rows+=(-- row-text lwPorte "$i"); done
wine "$driver" wait-window 30 -- key RETURN -- wait-text lblStepTitle "Selezione del file da caricare" \
  -- key RETURN -- wait-text lblStepTitle "Preparazione del cronometro" \
  -- key RETURN -- wait-text lblStepTitle "Selezione della porta seriale" \
  -- list-count lwPorte "$count" "${rows[@]}" -- key ESCAPE </dev/null >"$work/rows.txt" \
  2>"$work/driver.txt" || fail "driver: $(tail -4 "$work/driver.txt")"
# shellcheck disable=SC2046
check_names "the wizard's port page" $(tr -d '\r' <"$work/rows.txt")
status=0
for _ in $(seq 200); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.05; done
kill -0 "$app_pid" 2>/dev/null && fail "zorload.exe is still running after Esc"
wait "$app_pid" || status=$?
app_pid=
[ "$status" -eq 0 ] || fail "zorload.exe exited $status, not 0"
echo "COM5 and COM12 listed after COM1 to COM4 (ports, --json, the wizard); COM12 updated"
