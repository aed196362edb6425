#!/bin/bash
# The cost of storing a run in a centre's PostgreSQL history: a server of its
# own on a free port of 127.0.0.1 (Debian's postgresql, as the tests start
# it), then bench_history's server figures against it over TCP.
# Usage: bench/history_postgres.sh [BUILD_DIR] [benchmark options...]
set -eu
BUILD=${1:-build}
shift || true
BENCH="$BUILD/bench/bench_history"
[ -x "$BENCH" ] || { echo "no $BENCH: build the benchmarks first" >&2; exit 1; }
WORK=$(mktemp -d "${TMPDIR:-/tmp}/zor-bench-pg.XXXXXX")
. "$(dirname "$0")/../tests/history/servers.sh"
trap 'stop_servers; rm -rf "$WORK"' EXIT INT TERM
start_postgres
# fsync on, as on a centre's server: the figures include the commit's flush.
pause_postgres
as_server "$PG_BIN/pg_ctl" -D "$PG_DATA" -l "$SRV/pg.log" -w start \
    -o "-k $SRV -p $PG_PORT -c listen_addresses=127.0.0.1" >/dev/null
ZOR_BENCH_POSTGRES="$PG_URL" "$BENCH" --benchmark_filter='Postgres|Outbox|StoreOneRun' "$@"
