#!/usr/bin/env bash
# Long fuzzing runs, kept out of the test suite: builds the libFuzzer targets
# with clang (AddressSanitizer + UBSan) into build-fuzz/ and runs each for the
# given number of seconds (default 60). Corpora grow in build-fuzz/corpus/;
# crashes land in build-fuzz/crashes/. Replay one with
#   build/tests/fuzz/<target>_replay FILE
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"

scripts/setup.sh clang libclang-rt-14-dev

targets=(fuzz_update_file fuzz_link fuzz_planner)
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZORLOAD_FUZZ=ON -DZORLOAD_BENCH=OFF >/dev/null
build_targets=()
for t in "${targets[@]}"; do build_targets+=(--target "$t" --target "${t}_replay"); done
cmake --build build-fuzz -j "$(nproc)" "${build_targets[@]}"

mkdir -p build-fuzz/crashes
for t in "${targets[@]}"; do
  corpus="build-fuzz/corpus/$t"
  mkdir -p "$corpus"
  "build-fuzz/tests/fuzz/${t}_replay" --write-seeds "$corpus"
  echo "== $t for ${seconds}s =="
  "build-fuzz/tests/fuzz/$t" "$corpus" -max_total_time="$seconds" -max_len=70000 \
    -artifact_prefix="build-fuzz/crashes/$t-" -print_final_stats=1 2>&1 | tail -n 12
done
echo "== no crashes =="
