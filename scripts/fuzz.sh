#!/usr/bin/env bash
# Long fuzzing runs, kept out of the test suite: builds the libFuzzer targets
# with clang (AddressSanitizer + UBSan) into build-fuzz/ and runs each in turn
# (or only the targets named) for the given number of seconds (default 60):
#   scripts/fuzz.sh [SECONDS [TARGET...]]
# Prints one line per target (executions, exec/s, corpus size, result); full
# logs go to build-fuzz/logs/.
# Corpora grow in build-fuzz/corpus/; crashes land in build-fuzz/crashes/.
# Exits non-zero when any target crashed. Replay a crash with
#   build/tests/fuzz/<target>_replay FILE
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
shift || true

scripts/setup.sh clang libclang-rt-14-dev

# target:max_len. The update file and the link scenarios need room for whole
# files and transfers; the text targets do better on short inputs.
targets=(
  fuzz_update_file:70000 fuzz_link:70000 fuzz_planner:4096
  fuzz_listing:4096 fuzz_write_reports:4096 fuzz_split_version:512
  fuzz_command_line:1024 fuzz_device_frame:8192
)
if [ $# -gt 0 ]; then
  chosen=()
  for entry in "${targets[@]}"; do
    for name in "$@"; do
      if [ "${entry%%:*}" = "$name" ]; then chosen+=("$entry"); fi
    done
  done
  [ ${#chosen[@]} -eq $# ] || { echo "unknown target among: $*" >&2; exit 2; }
  targets=("${chosen[@]}")
fi

mkdir -p build-fuzz/logs build-fuzz/crashes
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZORLOAD_FUZZ=ON -DZORLOAD_BENCH=OFF >build-fuzz/logs/configure.log 2>&1 ||
  { tail -n 20 build-fuzz/logs/configure.log; exit 1; }
build_targets=()
for entry in "${targets[@]}"; do
  t="${entry%%:*}"
  build_targets+=(--target "$t" --target "${t}_replay")
done
echo "building ${#targets[@]} fuzz targets in build-fuzz/"
cmake --build build-fuzz -j "$(nproc)" "${build_targets[@]}" >build-fuzz/logs/build.log 2>&1 ||
  { grep -m 20 -E 'error|Error' build-fuzz/logs/build.log; exit 1; }

# Undefined behaviour is a finding like any crash.
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"
final_stat() { sed -n "s/^stat::$1: *//p" "$2" | tail -n 1; }

failed=()
for entry in "${targets[@]}"; do
  t="${entry%%:*}"
  max_len="${entry##*:}"
  corpus="build-fuzz/corpus/$t"
  log="build-fuzz/logs/$t.log"
  mkdir -p "$corpus"
  "build-fuzz/tests/fuzz/${t}_replay" --write-seeds "$corpus"
  result="no crash"
  if ! "build-fuzz/tests/fuzz/$t" "$corpus" -max_total_time="$seconds" -max_len="$max_len" \
    -timeout=25 -artifact_prefix="build-fuzz/crashes/$t-" -print_final_stats=1 >"$log" 2>&1; then
    artifact=$(sed -n 's/.*Test unit written to \(.*\)/\1/p' "$log" | tail -n 1)
    result="CRASH: ${artifact:-see $log}"
    failed+=("$t")
  fi
  printf '%-20s %10s runs %7s exec/s  corpus %5s  %s\n' "$t" "$(final_stat number_of_executed_units "$log")" \
    "$(final_stat average_exec_per_sec "$log")" "$(find "$corpus" -type f | wc -l)" "$result"
  if [ "$result" != "no crash" ]; then
    grep -m 3 -E 'invariant broken|SUMMARY|runtime error|ERROR: libFuzzer' "$log" | sed 's/^/    /' || true
  fi
done

if [ ${#failed[@]} -ne 0 ]; then
  echo "== crashes in: ${failed[*]} =="
  exit 1
fi
echo "== no crashes =="
