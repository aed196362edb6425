#!/usr/bin/env bash
# The bench station's figures, with chronometers on real device timing
# (zorsim --realistic) on pseudo-terminals:
#   - wall time of N chronometers updated at once against one, N = 1 4 8 16;
#   - CPU of the station while it watches 16 ports where nothing answers;
#   - resident memory (peak) with 16 sessions at work.
# Usage: bench/station.sh [BUILD]   (default build/)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cli=$build/cli/zorload-cli
sim=$build/sim/zorsim
work=$(mktemp -d "${TMPDIR:-/tmp}/zorload-bench-station.XXXXXX")
pids=()
stop_sims() {
  for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  pids=()
}
trap 'stop_sims; rm -rf "$work"' EXIT
"$sim" --write-sample "$work/sample.upd" >/dev/null

ms() { echo $(($(date +%s%N) / 1000000)); }

# N chronometers plugged in at once: the wall time until the last is done,
# and the station's peak memory.
run() {
  local n=$1 ports="" i
  for ((i = 1; i <= n; i++)); do
    "$sim" --link "$work/P$i" --once --realistic "${@:2}" >/dev/null 2>&1 &
    pids+=($!)
    ports+="${ports:+,}$work/P$i"
  done
  sleep 0.3
  local start end
  start=$(ms)
  "$cli" station "$work/sample.upd" --select all --ports "$ports" --count "$n" --json \
    >"$work/out$n.txt" 2>&1 &
  local station=$!
  local peak=0
  while kill -0 "$station" 2>/dev/null; do
    local kb
    kb=$(awk '/VmHWM/ {print $2}' "/proc/$station/status" 2>/dev/null || echo 0)
    [ "${kb:-0}" -gt "$peak" ] && peak=$kb
    sleep 0.2
  done
  wait "$station" || true
  end=$(ms)
  stop_sims
  grep -q "\"done\": $n," "$work/out$n.txt" || { echo "N=$n: not every chronometer done" >&2; exit 1; }
  echo "$n $((end - start)) $peak"
}

echo "chronometers  wall_ms  vs_one  peak_rss_kb"
one=0
for n in 1 4 8 16; do
  read -r count wall peak < <(run "$n")
  [ "$n" -eq 1 ] && one=$wall
  printf "%12d  %7d  %5d%%  %11d\n" "$count" "$wall" $((wall * 100 / one)) "$peak"
done

# 16 ports where nothing answers the probe: the station's CPU over 20 s.
ports=""
for ((i = 1; i <= 16; i++)); do
  "$sim" --link "$work/Q$i" --fault test:0:silence >/dev/null 2>&1 &
  pids+=($!)
  ports+="${ports:+,}$work/Q$i"
done
sleep 0.5
"$cli" station "$work/sample.upd" --select all --ports "$ports" --json >/dev/null 2>&1 &
station=$!
sleep 2
ticks() { awk '{print $14 + $15}' "/proc/$station/stat"; }
t0=$(ticks)
sleep 20
t1=$(ticks)
kill -TERM "$station"
wait "$station" 2>/dev/null || true
hz=$(getconf CLK_TCK)
awk -v t="$((t1 - t0))" -v hz="$hz" \
  'BEGIN { printf "watching 16 silent ports: %.2f %% of a core\n", t * 100 / (hz * 20) }'
