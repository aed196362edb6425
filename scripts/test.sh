#!/usr/bin/env bash
# Sets up a fresh machine, builds everything and runs every test twice: a
# normal build, then one under AddressSanitizer and UndefinedBehaviorSanitizer.
# Then the threaded tests under ThreadSanitizer, one full update under
# valgrind's memcheck, every fuzz target for 30 seconds, and the Windows build
# under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

echo "== formatting =="
# The tracked sources in a clone; every source on disk in an unpacked tarball.
sources() {
  if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git ls-files '*.cpp' '*.h'
  else
    find . -path './build*' -prune -o -type f \( -name '*.cpp' -o -name '*.h' \) -print |
      sed 's|^\./||' | sort
  fi
}
unformatted=$(sources | while read -r f; do
  clang-format --dry-run --Werror "$f" >/dev/null 2>&1 || echo "$f"
done)
if [ -n "$unformatted" ]; then
  echo "Not formatted with clang-format (run clang-format -i on them):"
  echo "$unformatted"
  exit 1
fi

echo "== the text layer =="
scripts/check-text-layer.sh

echo "== build and test =="
scripts/build.sh build
(cd build && ctest --output-on-failure -j "$(nproc)")

echo "== build and test with AddressSanitizer + UBSan =="
scripts/build.sh build-asan -DCMAKE_BUILD_TYPE=Debug -DZORLOAD_SANITIZE=ON -DZORLOAD_BENCH=OFF
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure -j "$(nproc)")

echo "== ThreadSanitizer: link, transfer, simulator and wizard core tests =="
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DZORLOAD_TSAN=ON -DZORLOAD_BENCH=OFF >/dev/null
cmake --build build-tsan -j "$(nproc)" --target zor_tests_link zor_tests_sim zor_tests_wizard
for t in link sim wizard; do
  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" "build-tsan/tests/$t/zor_tests_$t" \
    --gtest_brief=1
done

echo "== memcheck: one full update over a pseudo-terminal =="
scripts/memcheck.sh

echo "== fuzzing, 30 s per target =="
scripts/fuzz.sh 30

echo "== Windows: the 32-bit build's tests and an update under Wine =="
scripts/test-windows.sh

(scripts/package.sh && tests/package/check-package.sh --install)

echo "== all tests passed =="
