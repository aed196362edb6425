#!/usr/bin/env bash
# The bench demo: four simulated chronometers on pseudo-terminals standing in
# for COM1..COM4, plugged in one after another, each leaving after its
# restart; zorload-cli station updates them all at once with zorsim's sample
# update file and ends after the fourth. On a terminal it shows the live
# table; a record line per chronometer goes to the scratch folder.
#   scripts/demo-station.sh [--realistic]   (real chronometer timing: slower)
set -euo pipefail
cd "$(dirname "$0")/.."

if [ ! -x build/cli/zorload-cli ] || [ ! -x build/sim/zorsim ]; then
  scripts/setup.sh
  scripts/build.sh build
fi
cli=build/cli/zorload-cli
sim=build/sim/zorsim
timing=("$@")

work=$(mktemp -d "${TMPDIR:-/tmp}/zorload-banco.XXXXXX")
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

"$sim" --write-sample "$work/esempio.upd" >/dev/null
for n in 1 2 3 4; do
  export "ZORLOAD_COM$n=$work/COM$n"
  "$sim" --link "$work/COM$n" --once --plug-after $(((n - 1) * 2000)) \
    --id "007 Cronometro S/N 0412-00$n$n boot 1.30" ${timing[@]+"${timing[@]}"} \
    >"$work/zorsim$n.log" 2>&1 &
  pids+=($!)
done
echo "\$ zorload-cli station esempio.upd --select all --count 4 --record banco.jsonl"
"$cli" station "$work/esempio.upd" --select all --count 4 --record "$work/banco.jsonl" || true
echo
echo "\$ cat banco.jsonl | cut -c1-160"
cut -c1-160 "$work/banco.jsonl"
