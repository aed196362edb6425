#!/usr/bin/env bash
# The shell demo: a simulated chronometer on a pseudo-terminal, updated from the
# command line.
# Builds if needed, starts zorsim, shows the chronometer's table, sends every
# component of zorsim's sample update file, and shows the table again.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ ! -x build/cli/zorload-cli ] || [ ! -x build/sim/zorsim ]; then
  scripts/setup.sh
  scripts/build.sh build
fi
cli=build/cli/zorload-cli
sim=build/sim/zorsim

work=$(mktemp -d "${TMPDIR:-/tmp}/zorload-demo.XXXXXX")
sim_pid=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

"$sim" --write-sample "$work/esempio.upd" >/dev/null
"$sim" --link "$work/COM1" --flash-step 20 >"$work/zorsim.log" 2>&1 &
sim_pid=$!
for _ in $(seq 100); do [ -L "$work/COM1" ] && break; sleep 0.05; done
export ZORLOAD_COM1="$work/COM1"

run() { echo; echo "\$ $*"; "$@"; }
run "$cli" info "$work/esempio.upd"
run "$cli" ports
run "$cli" check COM1
run "$cli" update COM1 "$work/esempio.upd" --select all --high
run "$cli" check COM1
