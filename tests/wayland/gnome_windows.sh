#!/bin/bash
# gnome_windows.sh VEXA_RECORD BUILD_DIR: the desktop program's own windows on GNOME (headless mutter
# 43 with XWayland and the GNOME portal; `make test-wayland-bed DESKTOP=gnome`), which places and
# decorates X11 windows its own way. The start/stop hotkey F7 is held 150 ms like a person's key
# (XTEST through XWayland: GNOME's portal has no GlobalShortcuts, so the program grabs its keys in
# X11); the share dialog is answered through the accessibility bus (tools/wayland-bed/answer_share.py).
# Checks: the count-down in the middle of the screen, the region frame as four side windows around
# the stored region, the floating bar in its corner, all override-redirect where the program put
# them; the region recording has the region's size and none of the frame's red; a full-screen
# recording records the whole screen and leaves the desktop clickable: a click reaches another
# program's X11 window below. Prints PASS/FAIL lines and "N passed, N failed".
set -u
. "$(dirname "$0")/lib.sh"
bedtools=$(cd "$(dirname "$0")/../../tools/wayland-bed" && pwd)
press_f7() { xdotool keydown F7; sleep 0.15; xdotool keyup F7; }
size_of() { ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=p=0:s=x "$1"; }
reds() {  # reds FILE: how many pixels of the last picture are the frame's red
  ffmpeg -loglevel error -sseof -0.3 -i "$1" -frames:v 1 -f rawvideo -pix_fmt rgb24 - |
    od -An -v -tu1 -w3 | awk '$1 > 180 && $2 < 90 && $3 < 90 { n++ } END { print n + 0 }'
}

use_bed_home
settings count_down dword 3
# The stored region 200,150 - 839,509: the program starts in region mode.
settings desktop_select_rgn binary c80000009600000047030000fd010000

/usr/bin/python3 "$bedtools/answer_share.py" "$out/dialogs.txt" 2>"$BED/log/answer_share.log" &
start_program
wait_for 20 viewable VexaRecorder_Main_Window >/dev/null || ko "the main window never showed"
sleep 1

# 1. The count-down sits in the middle of the screen, override-redirect.
n=$(lines)
press_f7
check_count_down "$n"

# 2. Recording the region: four side windows around it, the bar in its corner; the file is the
# region and shows none of the frame.
if wait_for 60 logged_after "$n" "recording started"; then
  sides=$(viewable Screen_Region_Edge_Wnd | cut -d' ' -f1-4,6 | sort | tr '\n' ';')
  want=$(printf '%s\n' "197 147 645 6 yes" "197 506 645 6 yes" "197 153 6 353 yes" "836 153 6 353 yes" | sort | tr '\n' ';')
  [ "$sides" = "$want" ] && ok "recording: the frame is four override-redirect side windows around the region" ||
    ko "recording: the side windows are '$sides', not '$want'"
  read -r bx by bw bh _ o < <(viewable VexaRecorder_Float_Window)
  [ "$((bx + bw))" = 1288 ] && [ "$((by + bh))" = 720 ] && [ "$o" = yes ] &&
    ok "the floating bar sits in the bottom-right corner" || ko "the floating bar is at $bx,$by ${bw}x$bh ($o)"
  sleep 2
  n=$(lines)
  press_f7
  if wait_for 60 logged_after "$n" "recording finished"; then
    file=$(ls -t "$out"/*.mp4 | head -1)
    [ "$(size_of "$file")" = 640x360 ] && ok "the region recording is 640x360" || ko "the region recording is $(size_of "$file")"
    r=$(reds "$file")
    [ "$r" -lt 50 ] && ok "none of the frame's red is in the recording ($r pixels)" || ko "$r red pixels in the recording"
  else
    ko "the region recording did not finish"
  fi
else
  ko "the region recording did not start: $(tail -n +$((n + 1)) "$log" | tail -3 | tr '\n' ' ')"
fi
[ "$(grep -c shared "$out/dialogs.txt" 2>/dev/null)" = 1 ] && ok "the desktop asked once" ||
  ko "the desktop asked $(grep -c shared "$out/dialogs.txt" 2>/dev/null) times"

# 3. Full screen (the program started again without a stored region, and without a count-down):
# the whole screen, with the restore token the first recording left (no second dialog). A clock
# ticks on the desktop (mutter, like wlroots, sends a picture when the screen changes).
kill "$app"; wait "$app" 2>/dev/null
"$build/tools/vexa-settings/vexa-settings" delete desktop_select_rgn >/dev/null
xclock -digital -update 1 -geometry +900+100 >"$BED/log/xclock.log" 2>&1 &
xev -geometry 400x300+300+300 -name below -event button >"$out/xev.txt" 2>&1 &  # another program's window
wait_for 20 xwininfo -name below >/dev/null || ko "the window below did not appear"
settings count_down dword 0
"$program" >>"$BED/log/program.log" 2>&1 &
app=$!
wait_for 60 sh -c "[ \$(grep -c 'main window ready' '$log') -ge 2 ]" || ko "the program did not start again"
sleep 1
n=$(lines)
press_f7
if wait_for 30 logged_after "$n" "recording started"; then
  grep -q "region 0,0-1279,719" <(tail -n +$((n + 1)) "$log") && ok "full screen: the whole screen is recorded" ||
    ko "full screen: $(tail -n +$((n + 1)) "$log" | grep -o 'region [^,]*,[^,]*' | head -1)"
  sleep 1
  read -r wx wy ww wh < <(xwininfo -name below | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4}
    /  Width/{w=$2} /  Height/{h=$2} END{print x, y, w, h}')
  before=$(grep -c ButtonPress "$out/xev.txt")
  coproc pointer { exec /usr/bin/python3 "$bedtools/gnome_pointer.py" $((wx + ww / 2)) $((wy + wh / 2)) click 2>"$BED/log/pointer.log"; }
  read -r -t 20 -u "${pointer[0]}" _
  check "full screen: a click reaches the window below" wait_for 10 sh -c "[ \$(grep -c ButtonPress '$out/xev.txt') -gt $before ]"
  kill "$pointer_PID"
  sleep 1
  n=$(lines)
  press_f7
  wait_for 60 logged_after "$n" "recording finished" && ok "full screen: the recording finished" ||
    ko "the full-screen recording did not finish"
  file=$(ls -t "$out"/*.mp4 | head -1)
  [ "$(size_of "$file")" = 1280x720 ] && ok "full screen: the file is 1280x720" || ko "full screen: $(size_of "$file")"
else
  ko "the full-screen recording did not start: $(tail -n 4 "$log" | tr '\n' ' ')"
fi
[ "$(grep -c shared "$out/dialogs.txt" 2>/dev/null)" = 1 ] && ok "the second start needed no dialog (restore token)" ||
  ko "the desktop asked $(grep -c shared "$out/dialogs.txt" 2>/dev/null) times"

finish
