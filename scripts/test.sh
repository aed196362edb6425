#!/usr/bin/env bash
# Sets up a fresh machine, builds everything and runs every test twice: a
# normal build, then one under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

echo "== formatting =="
unformatted=$(git ls-files '*.cpp' '*.h' | while read -r f; do
  clang-format --dry-run --Werror "$f" >/dev/null 2>&1 || echo "$f"
done)
if [ -n "$unformatted" ]; then
  echo "Not formatted with clang-format (run clang-format -i on them):"
  echo "$unformatted"
  exit 1
fi

echo "== build and test =="
scripts/build.sh build
(cd build && ctest --output-on-failure -j "$(nproc)")

echo "== build and test with AddressSanitizer + UBSan =="
scripts/build.sh build-asan -DCMAKE_BUILD_TYPE=Debug -DZORLOAD_SANITIZE=ON -DZORLOAD_BENCH=OFF
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure -j "$(nproc)")

echo "== all tests passed =="
