#!/usr/bin/env bash
# The shell demo: a simulated chronometer on a pseudo-terminal, updated from the
# command line.
# Builds if needed, starts zorsim, shows the chronometer's table, previews the
# plan (what is written, erased, kept and removed), sends every component of
# zorsim's sample update file with a record line for the bench, and shows the
# table again, as text and as JSON.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ ! -x build/cli/zorload-cli ] || [ ! -x build/sim/zorsim ]; then
  scripts/setup.sh
  scripts/build.sh build
fi
cli=build/cli/zorload-cli

. scripts/simulated-com1.sh

run() { echo; echo "\$ $*"; "$@"; }
run "$cli" info "$work/esempio.upd"
run "$cli" ports
run "$cli" check COM1
run "$cli" update COM1 "$work/esempio.upd" --select 1 --dry-run
run "$cli" update COM1 "$work/esempio.upd" --select all --high --record "$work/banco.jsonl"
run cat "$work/banco.jsonl"
run "$cli" check COM1
run "$cli" check COM1 --json
