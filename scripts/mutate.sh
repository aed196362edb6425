#!/usr/bin/env bash
# Mutation check of the protocol's facts: applies each mutation listed in
# scripts/mutations.txt, one at a time, to a scratch copy of the last commit,
# rebuilds it and runs the test suite (without the Qt window, which adds
# nothing here). Every mutation must make a test fail. Slow (a rebuild per
# mutation): run it locally, not in CI.
#   scripts/mutate.sh [PATTERN]   only the mutations whose line holds PATTERN
set -uo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh >/dev/null
pattern="${1:-}"

scratch=$(mktemp -d "${TMPDIR:-/tmp}/zorload-mutate.XXXXXX")
trap 'rm -rf "$scratch"' EXIT INT TERM
git archive HEAD | tar -xf - -C "$scratch"
cmake -S "$scratch" -B "$scratch/build" -DZORLOAD_QT=OFF -DZORLOAD_BENCH=OFF >/dev/null
if ! cmake --build "$scratch/build" -j "$(nproc)" >"$scratch/build.log" 2>&1; then
  tail -n 30 "$scratch/build.log"
  echo "the unmutated tree does not build" >&2
  exit 2
fi
# The programs and test suites that hold the protocol; the fuzz replays add
# nothing here and are neither rebuilt nor run.
targets=(zorload-cli zorsim zor_tests_app zor_tests_updatefile zor_tests_flash zor_tests_link
  zor_tests_sim zor_tests_cli zor_tests_wizard zor_tests_platform)
build() {
  cmake --build "$scratch/build" -j "$(nproc)" --target "${targets[@]}" >"$scratch/build.log" 2>&1
}
run_tests() {
  (cd "$scratch/build" &&
    timeout 900 ctest -j "$(nproc)" --stop-on-failure -E _replay >"$scratch/test.log" 2>&1)
}
if ! run_tests; then
  tail -n 30 "$scratch/test.log"
  echo "the unmutated tree fails its tests" >&2
  exit 2
fi

total=0
caught=0
survivors=()
while IFS=$'\t' read -r file from to what; do
  [ -z "$file" ] || [ "${file#\#}" != "$file" ] && continue
  [ -n "$pattern" ] && [[ "$file $from $to $what" != *"$pattern"* ]] && continue
  total=$((total + 1))
  target="$scratch/$file"
  cp "$target" "$scratch/original"
  # Literal text, "\n" for a line break; it must stand exactly once.
  count=$(FROM="$from" TO="$to" perl -0777 -i -pe '
      BEGIN { ($f, $t) = map { s/\\n/\n/gr } @ENV{qw(FROM TO)}; }
      $n = () = /\Q$f\E/g;
      s/\Q$f\E/$t/ if $n == 1;
      END { print STDERR "$n\n" }' "$target" 2>&1 >/dev/null | tail -n 1)
  if [ "$count" != 1 ]; then
    echo "NOT APPLIED ($count matches): $file: $what"
    survivors+=("$what (not applied)")
  elif ! build; then
    echo "caught (does not build): $what"
    caught=$((caught + 1))
  elif run_tests; then
    echo "SURVIVED: $what"
    survivors+=("$what")
  else
    failed=$(grep -m1 -E '\*\*\*Failed|\*\*\*Timeout|\(Failed\)|\(Timeout\)' "$scratch/test.log" |
      sed -E 's/^ *[0-9]+\/[0-9]+ Test +#[0-9]+: //; s/ \.+.*//')
    echo "caught: $what ($failed)"
    caught=$((caught + 1))
  fi
  cp "$scratch/original" "$target"
done <scripts/mutations.txt

# Leave the scratch build as the tree stands, for a rerun's sake.
echo "$caught of $total mutations caught"
for s in "${survivors[@]}"; do echo "  survived: $s"; done
[ "$caught" -eq "$total" ]
