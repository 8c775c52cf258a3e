# shellcheck shell=bash
# Shell functions the scripted benchmarks share; a script under bench/ sources it with
#   . "$(dirname "$0")/../lib.sh"
# Every process the script adds to `pids` is stopped when the script exits. Messages name the
# script ("polling_rate: Xvfb did not start").

bench_name=$(basename "$0" .sh)

pids=()
stop_started() {
  local p
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
}
trap stop_started EXIT

# require_tools TOOL...: exits the script naming the first tool that is not there.
require_tools() {
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null || { echo "$bench_name: $tool not found" >&2; exit 1; }
  done
}

# start_xvfb OUT [XVFB OPTION...]: starts a private 1920x1080x24 Xvfb on a free display number, its
# log in OUT/xvfb.log, and exports DISPLAY once it has said which; exits the script if it does not.
start_xvfb() {
  local out=$1
  shift
  : >"$out/display"
  Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp "$@" 3>"$out/display" 2>"$out/xvfb.log" &
  pids+=($!)
  for _ in $(seq 1 200); do
    [ -s "$out/display" ] && break
    sleep 0.05
  done
  [ -s "$out/display" ] || { echo "$bench_name: Xvfb did not start" >&2; exit 1; }
  DISPLAY=":$(tr -d '\n' <"$out/display")"
  export DISPLAY
}
