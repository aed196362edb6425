#!/usr/bin/env bash
# The demo: the wizard against a simulated chronometer. Installs what is
# missing and builds when needed, starts zorsim on a pseudo-terminal as COM1
# and opens the wizard with zorsim's sample update file. Closing the wizard
# ends the demo.
#   scripts/demo.sh [zorload options, e.g. -log or -high]
set -euo pipefail
cd "$(dirname "$0")/.."

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "Nessun display grafico: avviate la demo da una sessione desktop" >&2
  echo "(oppure: xvfb-run scripts/demo.sh, o scripts/demo-cli.sh per la riga di comando)." >&2
  exit 1
fi
if [ ! -x build/wizard/qt/zorload ] || [ ! -x build/sim/zorsim ]; then
  scripts/setup.sh
  scripts/build.sh build
fi
wizard=build/wizard/qt/zorload

# A restarted chronometer comes back for the next one ("Altro cronometro...").
. scripts/simulated-com1.sh

echo "Cronometro simulato su COM1 ($ZORLOAD_COM1); file di esempio: $work/esempio.upd"
"$wizard" "$@" "$work/esempio.upd"
