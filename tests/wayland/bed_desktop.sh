#!/bin/bash
# bed_desktop.sh VEXA_RECORD BUILD_DIR: the desktop program on a real Wayland desktop, driven with real
# input. Runs inside the Wayland test bed (tools/wayland-bed/README.md) with the virtual keyboard and
# pointer BUILD_DIR/wayland-bed/vinput: a person's keys reach the program through the compositor and
# XWayland. The program starts with QT_QPA_PLATFORM=wayland, as many sway set-ups have it, and must
# run through XWayland all the same; the start/stop hotkey F7, held 150 ms like a person holds a
# key, must act on each of its presses (start, stop, start, stop), and the recordings it makes on
# the still desktop must last as long as they ran; a keyboard with a smaller keymap that comes and
# goes leaves the hotkeys working. Prints PASS/FAIL lines and "N passed, N failed".
set -u
. "$(dirname "$0")/lib.sh"
end_of() { ffprobe -v error -show_entries format=duration -of csv=p=0 "$1"; }

use_bed_home
settings count_down dword 0

start_vinput
QT_QPA_PLATFORM=wayland start_program

# 1. A native-Wayland Qt choice is overridden: the windows are X11 windows, and the log says why.
grep -q 'runs through XWayland' "$log" && ok "QT_QPA_PLATFORM=wayland: the log names the XWayland choice" ||
  ko "QT_QPA_PLATFORM=wayland: no word of the choice in the log"
xdotool search --name '^Miravo$' >/dev/null && ok "the main window is an X11 window" ||
  ko "the main window is not an X11 window"

# 2. F7 held 150 ms, four times: start, stop, start, stop. Each press comes once the program has
# acted on the one before (the recording started or its file is finished) and a person's moment
# (a second) has passed.
expect=("recording requested" "recording stop requested" "recording requested" "recording stop requested")
done_when=("recording started" "recording finished" "recording started" "recording finished")
# hold_f7 I WHAT: holds F7 150 ms and checks that the program acts as the Ith press should.
hold_f7() {
  local n
  n=$(lines)
  sleep 1
  printf 'keydown 65\nsleep 150\nkeyup 65\n' >"$fifo"
  if wait_for 30 logged_after "$n" "INFO ${expect[$1]}" && wait_for 60 logged_after "$n" "${done_when[$1]}"; then
    ok "$2 held 150 ms: ${expect[$1]#recording }"
  else
    ko "$2 held 150 ms: the program did not act ($(tail -n +$((n + 1)) "$log" | tail -2 | tr '\n' ' '))"
  fi
}
for i in 0 1 2 3; do hold_f7 "$i" "press $((i + 1))"; done

# 3. The recordings of a still desktop (the wlroots portal sends pictures only on a change) last as
# long as they ran, however late their first picture came.
files=$(grep -o 'recording finished: [^ ]*' "$log" | sed 's/recording finished: //')
count=$(echo "$files" | grep -c .)
[ "$count" = 2 ] && ok "two recordings finished" || ko "$count recordings finished"
for f in $files; do
  d=$(end_of "$f")
  awk -v d="$d" 'BEGIN { exit !(d > 0.5) }' && ok "$(basename "$f") lasts $d s" || ko "$(basename "$f") lasts '$d' s"
done
grep -q 'no screen capture method works' "$log" && ko "a recording failed for want of a picture" ||
  ok "no recording failed for want of a picture"

# 4. A keyboard with a smaller keymap (an on-screen or virtual keyboard's) types a key and goes
# again: meanwhile F7 has no key, yet the hotkey is kept, and once the full keyboard types again
# F7 held like a person's starts and stops a recording.
n=$(lines)
printf 'keymap small\nkey 30\n' >"$fifo"
wait_for 30 logged_after "$n" 'no key for hotkey F7' && ok "a small keymap leaves F7 without a key, and the log says so" ||
  ko "a small keymap: no word of F7 in the log"
n=$(lines)
printf 'keymap full\nkey 30\n' >"$fifo"
wait_for 30 logged_after "$n" 'hotkey F7 works again' && ok "the full keymap gives F7 back" ||
  ko "the full keymap did not give F7 back: $(tail -n +$((n + 1)) "$log" | tail -2 | tr '\n' ' ')"
for i in 0 1; do hold_f7 "$i" "after the keyboard change, F7"; done

finish
