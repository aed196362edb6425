#!/usr/bin/env bash
# Mutation check of the program's facts: applies each mutation listed in
# scripts/mutations.txt, one at a time, to a scratch copy of the last commit,
# rebuilds it and runs the suites that hold the mutated file. Every mutation
# must make a test fail. Slow (a rebuild per mutation): run it locally, not
# in CI.
#   scripts/mutate.sh [PATTERN]   only the mutations whose line holds PATTERN
# The suites, by the mutated file's path:
#   platform/win32/serial_port.cpp  the serial port contract under Wine, over
#                                   a pty that zorsim (built for Linux) holds;
#   platform/win32/*                the Windows unit tests under Wine, then
#                                   the serial port contract;
#   wizard/win32/*                  the wizard driven through its window
#                                   under Wine (tests/windows/wizard_wine.sh);
#   wizard/*, tests/wizard/*,       the native suites and the Qt window's
#   text/wizard_text.cpp,           (the wizard's words, and the chart's
#   flash/partition_dump.cpp        boxes and edges, are what both windows
#                                   paint);
#   anything else                   the native suites.
# The Windows side is a cross build of the scratch copy, made only when such
# a mutation is selected and then rebuilt in place (only the programs the
# mutation's suites run); the native suites are built only when a mutation
# needs them (else only zorsim).
# ZOR_MUTATE_WORKTREE=1 copies the working tree (tracked and untracked files
# that git does not ignore) instead of the last commit; ZOR_MUTATIONS names
# another list in the same format.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 2
root=$PWD
scripts/setup.sh >/dev/null
pattern="${1:-}"
list=${ZOR_MUTATIONS:-scripts/mutations.txt}
[ -f "$list" ] || { echo "no mutation list $list" >&2; exit 2; }

win_file() { case "$1" in platform/win32/* | wizard/win32/*) return 0 ;; esac; return 1; }
qt_file() { case "$1" in wizard/* | tests/wizard/* | text/wizard_text.cpp | flash/partition_dump.cpp) return 0 ;; esac; return 1; }

# The selected mutations, once: what they need is known before any build.
mutations=()
need_native=0
need_win=0
need_wizard_wine=0
need_contract=0
need_unit=0
while IFS= read -r line || [ -n "$line" ]; do
  IFS=$'\t' read -r file from to what <<<"$line"
  [ -z "$file" ] || [ "${file#\#}" != "$file" ] && continue
  [ -n "$pattern" ] && [[ "$file $from $to $what" != *"$pattern"* ]] && continue
  mutations+=("$line")
  if win_file "$file"; then
    need_win=1
    case "$file" in
      wizard/win32/*) need_wizard_wine=1 ;;
      platform/win32/serial_port.cpp) need_contract=1 ;;
      *) need_unit=1 need_contract=1 ;;
    esac
  else
    need_native=1
  fi
done <"$list"

scratch=$(mktemp -d "${TMPDIR:-/tmp}/zorload-mutate.XXXXXX")
winbuild=$scratch/build-win32
cleanup() {
  if [ -d "$winbuild/wine" ]; then WINEPREFIX=$winbuild/wine wineserver -k 2>/dev/null || true; fi
  rm -rf "$scratch"
}
trap cleanup EXIT INT TERM
if [ "${ZOR_MUTATE_WORKTREE:-}" = 1 ]; then
  git ls-files -co --exclude-standard -z |
    while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done |
    tar --null -T - -cf - | tar -xf - -C "$scratch"
else
  git archive HEAD | tar -xf - -C "$scratch"
fi

# Native, with the Qt window: the programs and test suites that hold the
# program's facts; the fuzz replays add nothing here and are neither rebuilt
# nor run.
# Unoptimised and without debug information: each mutation is a rebuild, and
# the suites hold no timing that optimisation would change.
cmake -S "$scratch" -B "$scratch/build" -DCMAKE_BUILD_TYPE=None -DZORLOAD_BENCH=OFF >/dev/null
first_build=(--target zorsim)
[ "$need_native" = 0 ] || first_build=()
if ! cmake --build "$scratch/build" -j "$(nproc)" "${first_build[@]}" >"$scratch/build.log" 2>&1; then
  tail -n 30 "$scratch/build.log"
  echo "the unmutated tree does not build" >&2
  exit 2
fi
targets=(zorload-cli zorsim zor_tests_app zor_tests_updatefile zor_tests_flash zor_tests_link zor_tests_engine
  zor_tests_sim zor_tests_sim_host zor_tests_cli zor_tests_cli_sim zor_tests_cli_safety
  zor_tests_wizard zor_tests_platform zor_tests_serial_contract)
qt_tests=()
known=$(cmake --build "$scratch/build" --target help)
for t in zorload zor_tests_wizard_qt zor_tests_wizard_pty; do
  if grep -qx "\.\.\. $t" <<<"$known"; then
    targets+=("$t")
    [ "$t" = zorload ] || qt_tests+=("$t")
  fi
done
[ ${#qt_tests[@]} -ne 0 ] || [ "$need_native" = 0 ] ||
  echo "Qt 6 Widgets missing: the window's mutations are checked without it"
# The Qt window's test cases, by the names CTest has them under.
qt_regex=$(for t in "${qt_tests[@]}"; do
  sed -n "s/^set( *${t}_TESTS //p" "$scratch/build/tests/wizard/${t}[1]_tests.cmake" 2>/dev/null
done | tr -s ' )' '\n' | grep . | sed 's/[].[\\*^$+?(){}|]/\\&/g' | paste -sd'|')
# Never run: the fuzz replays, and the bench station's half-minute run over
# several pseudo-terminals, which holds no fact of the list that the
# single-chronometer runs do not hold too.
skipped="_replay\$|^zorsim_pty_station\$"
qt_exclude=()
[ -n "$qt_regex" ] && qt_exclude=(-E "^($qt_regex)\$|$skipped")
[ -n "$qt_regex" ] || qt_exclude=(-E "$skipped")

build_native() {
  cmake --build "$scratch/build" -j "$(nproc)" --target "${targets[@]}" >"$scratch/build.log" 2>&1
}
# native_tests [qt]: the native suites, with the Qt window's when asked.
native_tests() {
  local exclude=("${qt_exclude[@]}")
  [ "${1:-}" = qt ] && exclude=(-E "$skipped")
  (cd "$scratch/build" &&
    timeout 900 ctest -j "$(nproc)" --stop-on-failure "${exclude[@]}" >"$scratch/test.log" 2>&1)
}

# Windows: the cross build, its Wine prefix (COM1 and COM2 mapped to ptys'
# links in $winbuild/wine-com) and a Linux zorsim from the native build.
# build_win FILE: the Windows programs that the suites of FILE run.
build_win() {
  local only=()
  case "$1" in
    platform/win32/serial_port.cpp) only=(--target zor_tests_serial_contract) ;;
    wizard/win32/*) only=(--target zorload zor_wizard_driver) ;;
  esac
  cmake --build "$winbuild" -j "$(nproc)" "${only[@]}" >"$scratch/build.log" 2>&1
}
wine_up() {  # the prefix's server, with the COM ports mapped as it starts
  wineserver -p 300 >/dev/null 2>&1 </dev/null
  wine cmd /c exit >/dev/null 2>&1 </dev/null
}
win_unit_tests() {
  wine_up
  (cd "$winbuild" && timeout 900 ctest -j "$(nproc)" --stop-on-failure >>"$scratch/test.log" 2>&1)
}
win_contract() {
  wine_up
  rm -f "$winbuild/wine-com/COM2"
  echo "SerialContract under Wine" >>"$scratch/test.log"
  ZOR_CONTRACT_LINK=$winbuild/wine-com/COM2 ZOR_CONTRACT_PORT=COM2 timeout 300 \
    sh "$scratch/tests/windows/serial_contract.sh" "$scratch/build/sim/zorsim" \
    "$winbuild/tests/windows/zor_tests_serial_contract.exe" wine >>"$scratch/test.log" 2>&1
}
win_wizard() {
  echo "wizard_wine.sh" >>"$scratch/test.log"
  timeout 900 "$scratch/tests/windows/wizard_wine.sh" "$winbuild" "$scratch/build/sim/zorsim" \
    >>"$scratch/test.log" 2>&1
}
# win_tests FILE: the Windows suites that hold FILE (for the unmutated tree
# every one a selected mutation needs), stopping at the first failure.
win_tests() {
  : >"$scratch/test.log"
  case "${1:-}" in
    platform/win32/serial_port.cpp) win_contract ;;
    platform/win32/*) win_unit_tests && win_contract ;;
    wizard/win32/*) win_wizard ;;
    *)
      { [ "$need_unit" = 0 ] || win_unit_tests; } &&
        { [ "$need_contract" = 0 ] || win_contract; } &&
        { [ "$need_wizard_wine" = 0 ] || win_wizard; }
      ;;
  esac
}

if [ "$need_native" = 1 ] && ! native_tests qt; then
  tail -n 30 "$scratch/test.log"
  echo "the unmutated tree fails its tests" >&2
  exit 2
fi
if [ "$need_win" = 1 ]; then
  if ! "$scratch/scripts/build-windows.sh" "$winbuild" -DCMAKE_BUILD_TYPE=None -DZORLOAD_BENCH=OFF >"$scratch/build.log" 2>&1; then
    tail -n 30 "$scratch/build.log"
    echo "the unmutated tree does not build for Windows" >&2
    exit 2
  fi
  export WINEPREFIX=$winbuild/wine
  # shellcheck source=scripts/wine-prefix.sh
  . "$root/scripts/wine-prefix.sh"
  zor_wine_prefix "$winbuild"
  if ! win_tests; then
    tail -n 30 "$scratch/test.log"
    echo "the unmutated tree fails its tests under Wine" >&2
    exit 2
  fi
fi

# build_and_test FILE: 1 when the mutated tree does not build, 0 when its
# suites pass, 2 when a test fails.
build_and_test() {
  if win_file "$1"; then
    build_win "$1" || return 1
    win_tests "$1" || return 2
  else
    build_native || return 1
    if qt_file "$1"; then native_tests qt || return 2; else native_tests || return 2; fi
  fi
  return 0
}

total=0
caught=0
survivors=()
for line in "${mutations[@]}"; do
  IFS=$'\t' read -r file from to what <<<"$line"
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
  else
    build_and_test "$file"
    case $? in
      1)
        echo "caught (does not build): $what"
        caught=$((caught + 1))
        ;;
      0)
        echo "SURVIVED: $what"
        survivors+=("$what")
        ;;
      *)
        failed=$(grep -m1 -E '\*\*\*Failed|\*\*\*Timeout|\(Failed\)|\(Timeout\)|\[  FAILED  \]|^FAIL' \
          "$scratch/test.log" |
          sed -E 's/^ *[0-9]+\/[0-9]+ Test +#[0-9]+: //; s/ \.+.*//; s/^\[  FAILED  \] //')
        echo "caught: $what (${failed:-a failed run})"
        caught=$((caught + 1))
        ;;
    esac
  fi
  cp "$scratch/original" "$target"
done

echo "$caught of $total mutations caught"
for s in "${survivors[@]}"; do echo "  survived: $s"; done
[ "$caught" -eq "$total" ]
