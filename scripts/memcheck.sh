#!/usr/bin/env bash
# One full update under valgrind's memcheck: zorload-cli (its worker thread
# included) against zorsim on a pseudo-terminal, every component of the
# sample file, then the chronometer's table read back. Any memcheck error or
# definite leak fails. Expects a build in build/ (scripts/build.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh valgrind

ZORSIM_OPTIONS="--flash-step 5"
. scripts/simulated-com1.sh

check() {  # what... : the command under memcheck
  valgrind --quiet --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite \
    --track-origins=yes "$@"
}
check build/cli/zorload-cli update COM1 "$work/esempio.upd" --select all --high >"$work/update.txt" 2>&1 ||
  { cat "$work/update.txt"; echo "memcheck: the update failed or memcheck found errors" >&2; exit 1; }
check build/cli/zorload-cli check COM1 >"$work/check.txt" 2>&1 ||
  { cat "$work/check.txt"; echo "memcheck: the check failed or memcheck found errors" >&2; exit 1; }
grep -q "Programma base VERS 2.20 BUILD 41" "$work/check.txt" ||
  { cat "$work/check.txt"; echo "memcheck: the update did not land" >&2; exit 1; }
echo "memcheck: a full update and a check, no errors"
