#!/usr/bin/env bash
# What an update file that claims 4 GiB costs before it is refused: a file of
# 4294967295 bytes (the largest the format counts) that holds one real header
# and is a hole after it. Its segment says "the whole file" (SegSize four
# blanks) or a size near 4 GiB; every block must pass the CRC check before the
# file could load, so the whole file is read. For each command: wall time,
# peak resident memory (wait4, through /usr/bin/time) and exit status, on the
# file's first read (the kernel fills its page cache with the hole) and on a
# second one.
# Usage: bench/sparse_file.sh [BUILD]   (default build/)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cli=$build/cli/zorload-cli
sim=$build/sim/zorsim
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (apt-get install time)" >&2; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/zorload-bench-sparse.XXXXXX")
trap 'rm -rf "$work"' EXIT

# SegSize sits at 148 in the header, after the 512-byte prologue.
sparse() {  # NAME SEGSIZE-BYTES (as printf takes them)
  "$sim" --write-sample "$work/$1" >/dev/null
  printf "$2" | dd of="$work/$1" bs=1 seek=660 conv=notrunc status=none
  truncate -s 4294967295 "$work/$1"
  local used
  used=$(du -k "$work/$1" | cut -f1)
  if [ "$used" -gt 65536 ]; then
    echo "the filesystem of $work makes no sparse files ($used KiB used)" >&2
    exit 1
  fi
}
sparse blanks.upd '    '
sparse large.upd '\x00\xf0\xff\xff'
sparse station.upd '    '

# COM1..COM4 lead nowhere, should the station ever get to its ports.
for n in 1 2 3 4; do export ZORLOAD_COM$n="$work/none$n"; done

printf "%-34s %-6s %8s %12s %6s\n" command read wall_s peak_rss_kb status
measure() {  # LABEL FILE ARGS...
  local label=$1 file=$2 pass wall peak status
  shift 2
  for pass in first second; do
    /usr/bin/time -o "$work/time.txt" -f "%e %M %x" "$cli" "$@" "$work/$file" \
      >/dev/null 2>&1 || true
    # A status other than 0 adds a "Command exited" line before the figures.
    read -r wall peak status < <(tail -n 1 "$work/time.txt")
    printf "%-34s %-6s %8s %12s %6s\n" "$label" "$pass" "$wall" "$peak" "$status"
  done
}
measure "info --json (whole file)" blanks.upd info --json
measure "info --json (SegSize 0xFFFFF000)" large.upd info --json
# The station takes the file before any port.
measure "station --json (whole file)" station.upd station --select all --json
