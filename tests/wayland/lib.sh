# lib.sh: what the bed scripts share, sourced by each after `set -u` with BUILD_DIR as $2: the
# program's paths and log, PASS/FAIL counting and the tally at the end, waiting for a condition,
# reading the log from a line on, the virtual input, the X11 windows' geometry, and starting the
# program until its main window is ready.
build=$2
program=$build/bin/VexaRecorder
vinput=$build/wayland-bed/vinput
out=$BED/out
log=$BED/home/.local/state/Vexa/VexaRecorder/VexaRecorder.log
passed=0 failed=0
ok() { echo "PASS $*"; passed=$((passed + 1)); }
ko() { echo "FAIL $*"; failed=$((failed + 1)); }
# Ends a script: stops the program it started, if any, prints the tally and fails when a check did.
finish() {
  if [ -n "${app:-}" ]; then
    kill "$app" 2>/dev/null
    wait "$app" 2>/dev/null
  fi
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
}
check() { local what=$1; shift; if "$@"; then ok "$what"; else ko "$what"; fi; }
wait_for() {  # wait_for SECONDS COMMAND...: until COMMAND succeeds
  local t=$(($1 * 10)); shift
  while ! "$@" 2>/dev/null; do t=$((t - 1)); [ $t -le 0 ] && return 1; sleep 0.1; done
}
lines() { wc -l <"$log" 2>/dev/null || echo 0; }
logged_after() { tail -n +$(($1 + 1)) "$log" | grep -q "$2"; }  # logged_after LINE PATTERN
settings() { "$build/tools/vexa-settings/vexa-settings" set "$@" >/dev/null; }  # settings NAME TYPE VALUE
# use_bed_home: the program's home, settings and log inside the bed; recordings go to $out, without
# the sound rows (the bed has no sound server of its own).
use_bed_home() {
  export HOME=$BED/home XDG_CONFIG_HOME=$BED/home/.config XDG_STATE_HOME=$BED/home/.local/state
  settings output_dir sz "$out"
  for row in 0 1; do settings "desktop_speaker_${row}_sel" dword 0; settings "desktop_mic_${row}_sel" dword 0; done
}
# start_vinput: the virtual pointer and keyboard on a 1280x720 desktop, fed through $fifo.
start_vinput() {
  fifo=$BED/vinput.fifo
  mkfifo "$fifo"
  (exec 3<>"$fifo"; exec "$vinput" 1280 720 <&3) 2>"$BED/log/vinput.log" &
}
input() { printf '%b' "$1" >"$fifo"; }  # input LINES: lines for vinput
# geometry CLASS: "X Y W H MAPSTATE OVERRIDE" of each X11 window of that WM_CLASS, one a line.
geometry() {
  local w
  for w in $(xdotool search --class "^$1\$" 2>/dev/null); do
    xwininfo -id "$w" | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4} /  Width/{w=$2}
      /  Height/{h=$2} /Map State/{m=$3} /Override Redirect State/{o=$4} END{print x, y, w, h, m, o}'
  done
}
viewable() { geometry "$1" | grep ' IsViewable '; }  # the lines of the viewable ones
shown_at() { viewable "$1" | grep -q -- "^$2\( \|$\)"; }  # shown_at CLASS "X Y W H"
# check_count_down LINE: the count-down asked for after log line LINE shows, override-redirect, in
# the middle of the 1280x720 desktop.
check_count_down() {
  if wait_for 20 viewable Tolvo_CountDown_Wnd >/dev/null; then
    shown_at Tolvo_CountDown_Wnd "560 280 160 160 IsViewable yes" && ok "the count-down is override-redirect in the middle" ||
      ko "the count-down is at $(geometry Tolvo_CountDown_Wnd)"
  else
    ko "no count-down showed: $(tail -n +$(($1 + 1)) "$log" | tail -2 | tr '\n' ' ')"
  fi
}
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
