# lib.sh: what the bed scripts share, sourced by each after `set -u` with BUILD_DIR as $2: the
# program's paths and log, PASS/FAIL counting, waiting for a condition, reading the log from a line
# on, and starting the program until its main window is ready.
build=$2
program=$build/bin/VexaRecorder
vinput=$build/wayland-bed/vinput
out=$BED/out
log=$BED/home/.local/state/Vexa/VexaRecorder/VexaRecorder.log
passed=0 failed=0
ok() { echo "PASS $*"; passed=$((passed + 1)); }
ko() { echo "FAIL $*"; failed=$((failed + 1)); }
check() { local what=$1; shift; if "$@"; then ok "$what"; else ko "$what"; fi; }
wait_for() {  # wait_for SECONDS COMMAND...: until COMMAND succeeds
  local t=$(($1 * 10)); shift
  while ! "$@" 2>/dev/null; do t=$((t - 1)); [ $t -le 0 ] && return 1; sleep 0.1; done
}
lines() { wc -l <"$log" 2>/dev/null || echo 0; }
logged_after() { tail -n +$(($1 + 1)) "$log" | grep -q "$2"; }  # logged_after LINE PATTERN
# start_program: starts the program (its pid in $app) and waits for its main window; ends the
# script with a FAIL when it does not come.
start_program() {
  "$program" >"$BED/log/program.log" 2>&1 &
  app=$!
  if ! wait_for 60 grep -q 'main window ready' "$log"; then
    ko "the program did not start: $(tail -3 "$BED/log/program.log")"
    echo "$passed passed, $failed failed"
    exit 1
  fi
}
