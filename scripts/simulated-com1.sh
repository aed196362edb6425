# Sourced by the demo and screenshot scripts: a work folder removed on exit,
# zorsim's sample update file in it ($work/esempio.upd) and zorsim on a
# pseudo-terminal as COM1 (its log in $work/zorsim.log). Extra zorsim options
# come from $ZORSIM_OPTIONS. Background programs added to $pids are ended on
# exit too.
work=$(mktemp -d "${TMPDIR:-/tmp}/zorload-demo.XXXXXX")
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

build/sim/zorsim --write-sample "$work/esempio.upd" >/dev/null
# shellcheck disable=SC2086
build/sim/zorsim --link "$work/COM1" ${ZORSIM_OPTIONS:---flash-step 20} >"$work/zorsim.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -L "$work/COM1" ] && break; sleep 0.05; done
export ZORLOAD_COM1="$work/COM1"
