#!/bin/bash
# bed_drag.sh VEXA_RECORD BUILD_DIR: the pointer on the desktop program's own windows on a real
# Wayland desktop (sway draws override-redirect X11 windows over all others, but XWayland hands a
# click to the window on top of the X server's own order, which sway changes at each focus
# change), driven with the virtual pointer BUILD_DIR/wayland-bed/vinput over another program's X11
# window (xev) that reports the clicks it gets. Runs inside the Wayland test bed
# (tools/wayland-bed/README.md). Checks: a click on the main window's region icon opens the
# selection overlay, which stays open and takes Esc; the floating bar, dragged by its caption in
# steps during a recording while the window below has the focus, moves by the drag and the window
# below gets no click; the screen page's camera window lands where the program puts it, shows the
# desktop at its corners (no black square around the circle) and moves by a drag; the camera
# page's preview lands where the program puts it.
# Prints PASS/FAIL lines and "N passed, N failed".
set -u
. "$(dirname "$0")/lib.sh"
shown() { viewable "$1" >/dev/null; }  # shown CLASS: a window of that WM_CLASS is viewable
presses() { grep -c ButtonPress "$out/xev.txt"; }
# point X Y: the pointer to X,Y, its last step a short one. XWayland (22.1) keeps the relative
# motion of a move that crosses from one X11 window into another and adds it again at the next
# button: after one long jump the press lands that far off (a hand's pointer moves in short steps).
point() { input "move $(($1 - 2)) $(($2 - 2))\nsleep 100\nmove $1 $2\nsleep 150\n"; }
click() { point "$1" "$2"; input "down\nsleep 60\nup\nsleep 100\n"; }
# drag X0 Y0 DX DY: press at X0,Y0, move by DX,DY in twenty steps, rest, release.
drag() {
  local i
  point "$1" "$2"
  input "down\nsleep 150\n"
  for i in $(seq 1 20); do input "move $(($1 + $3 * i / 20)) $(($2 + $4 * i / 20))\nsleep 50\n"; done
  input "sleep 400\nup\nsleep 100\n"
}
# near A B: whether two numbers differ by 3 or less.
near() { [ $(($1 - $2)) -le 3 ] && [ $(($2 - $1)) -le 3 ]; }

# pixel PPM X Y: "R G B" of one pixel of a grim screenshot in PPM.
pixel() {
  /usr/bin/python3 - "$@" <<'PY'
import sys
data = open(sys.argv[1], 'rb').read()
fields, pos = [], 0
while len(fields) < 4:  # P6, width, height, maximum value; comments never appear in grim's output
    while data[pos:pos + 1].isspace(): pos += 1
    end = pos
    while not data[end:end + 1].isspace(): end += 1
    fields.append(data[pos:end]); pos = end
pos += 1
w, x, y = int(fields[1]), int(sys.argv[2]), int(sys.argv[3])
print(*data[pos + 3 * (y * w + x):pos + 3 * (y * w + x) + 3])
PY
}

use_bed_home
export VEXA_VIRTUAL_CAMERA="YUYV:640x480@30"
settings count_down dword 0
settings desktop_select_rgn binary c80000009600000047030000fd010000

start_vinput
xev -geometry 1280x720+0+0 -event button >"$out/xev.txt" 2>&1 &  # another program's window below
wait_for 20 xdotool search --name '^Event Tester$' >/dev/null
start_program
read -r mx my _ < <(geometry VexaRecorder_Main_Window)

# 1. The region icon (the screen page's big icon, 800,132 in the main window), clicked with the
# pointer, opens the selection overlay, which stays open and takes the keyboard: Esc takes it back.
wait_for 20 shown VexaRecorder_Main_Window
click $((mx + 800)) $((my + 132))
# The overlay starts from a picture of the screen, which the wlroots portal sends only once
# something changes: the pointer moves meanwhile.
for i in $(seq 20); do input "move $((mx + 800 + i)) $((my + 140))\nsleep 50\n"; done
if wait_for 20 shown Screen_Rgn_Sel_Wnd; then
  sleep 1.5
  check "the region icon clicked with the pointer: the overlay opens and stays open" shown Screen_Rgn_Sel_Wnd
  input "key 1\n"  # Esc
  check "Esc takes the overlay back (it has the keyboard)" wait_for 20 eval '! shown Screen_Rgn_Sel_Wnd'

else
  ko "the region icon clicked with the pointer opened no overlay: $(tail -2 "$log" | tr '\n' ' ')"
fi

# 2. During a recording, with another program's window focused (a click on it gives it the focus
# and sway raises it), the bar dragged by its caption moves by the drag; the window below gets no
# press from it.
wait_for 20 shown VexaRecorder_Main_Window
n=$(lines)
input "keydown 65\nsleep 150\nkeyup 65\n"
if wait_for 30 logged_after "$n" "recording started" && wait_for 20 shown VexaRecorder_Float_Window; then
  click 100 100
  wait_for 10 sh -c "[ \$(grep -c ButtonPress '$out/xev.txt') -gt 0 ]" || ko "the window below took no click"
  read -r bx by bw bh _ < <(geometry VexaRecorder_Float_Window)
  before=$(presses)
  # The caption: the bar's empty stretch 110 pixels from its left, between the stop button and the clock.
  drag $((bx + 110)) $((by + bh / 2)) -300 -200
  # vinput plays the drag on its own time: wait for the bar to come to rest where the drag ends.
  at_end() { read -r ax ay _ < <(geometry VexaRecorder_Float_Window); near "$ax" $((bx - 300)) && near "$ay" $((by - 200)); }
  wait_for 20 at_end &&
    ok "the bar dragged by (-300,-200) moved from $bx,$by to $ax,$ay" ||
    ko "the bar dragged by (-300,-200) from $bx,$by is at $ax,$ay"
  [ "$(presses)" -eq "$before" ] && ok "the window below got no press from the drag" ||
    ko "the window below got $(($(presses) - before)) presses from the drag"
  n=$(lines)
  input "keydown 65\nsleep 150\nkeyup 65\n"
  wait_for 60 logged_after "$n" "recording finished" || ko "the recording did not finish: $(tail -2 "$log" | tr '\n' ' ')"
else
  ko "the recording did not start: $(tail -n +$((n + 1)) "$log" | tail -2 | tr '\n' ' ')"
fi
# 3. The screen page's camera (the virtual camera; its box 207,275 in the main window): its round
# window lands where the program stores it, over what lay there: outside the circle, at the
# corners of its square, the screen shows what it showed before (no black square), inside the
# camera's picture; a drag from inside the circle moves it by the drag.
# rect NAME: "LEFT TOP RIGHT BOTTOM" of a stored rectangle (four little-endian 32-bit numbers).
rect() {
  "$build/tools/vexa-settings/vexa-settings" get "$1" | tr -d ' ' | sed 's/.*hex://' | /usr/bin/python3 -c '
import struct, sys
print(*struct.unpack("<4i", bytes(int(b, 16) for b in sys.stdin.read().strip().split(","))))'
}
wait_for 20 shown VexaRecorder_Main_Window
grim -t ppm "$BED/before.ppm"
click $((mx + 207)) $((my + 275))
if wait_for 20 shown Tolvo_Camera_Wnd; then
  read -r cx cy cw ch _ < <(geometry Tolvo_Camera_Wnd)
  read -r sl st sr sb < <(rect camera_wnd_pos_0)
  [ "$cx $cy $cw $ch" = "$sl $st $((sr - sl)) $((sb - st))" ] && ok "the camera window lands where it is stored: $cx,$cy ${cw}x$ch" ||
    ko "the camera window is at $cx,$cy ${cw}x$ch, stored at $sl,$st-$sr,$sb"
  # The picture comes once the camera opens: the centre changes from what lay there.
  centre_shows() { grim -t ppm "$BED/camera.ppm" && [ "$(pixel "$BED/camera.ppm" $((cx + cw / 2)) $((cy + ch / 2)))" != \
    "$(pixel "$BED/before.ppm" $((cx + cw / 2)) $((cy + ch / 2)))" ]; }
  check "the camera's picture shows in its window's place on the screen" wait_for 20 centre_shows
  corners=""
  for p in "$((cx + 2)) $((cy + 2))" "$((cx + cw - 3)) $((cy + 2))" "$((cx + 2)) $((cy + ch - 3))" "$((cx + cw - 3)) $((cy + ch - 3))"; do
    [ "$(pixel "$BED/camera.ppm" $p)" = "$(pixel "$BED/before.ppm" $p)" ] ||
      corners="$corners ($p: $(pixel "$BED/camera.ppm" $p), before $(pixel "$BED/before.ppm" $p))"
  done
  [ -z "$corners" ] && ok "the camera window's corners show what lay below" || ko "the camera window covers its corners:$corners"
  drag $((cx + cw / 4)) $((cy + ch / 2)) -300 -100
  at_end() { read -r ax ay _ < <(geometry Tolvo_Camera_Wnd); near "$ax" $((cx - 300)) && near "$ay" $((cy - 100)); }
  wait_for 20 at_end && ok "the camera window dragged by (-300,-100) moved from $cx,$cy to $ax,$ay" ||
    ko "the camera window dragged by (-300,-100) from $cx,$cy is at $ax,$ay"
else
  ko "the camera box opened no camera window: $(tail -2 "$log" | tr '\n' ' ')"
fi

# 4. The camera page (its tab 76,208 in the main window): its preview lands where it is stored
# (beside the main window), never where sway would put a window.
click $((mx + 76)) $((my + 208))
if wait_for 20 sh -c "'$build/tools/vexa-settings/vexa-settings' get camera_wnd_pos | grep -q hex"; then
  read -r sl st sr sb < <(rect camera_wnd_pos)
  check "the camera page's preview lands where it is stored: $sl,$st-$sr,$sb" wait_for 20 \
    shown_at Tolvo_Camera_Wnd "$sl $st $((sr - sl)) $((sb - st))"
else
  ko "the camera page stored no preview place: $(tail -2 "$log" | tr '\n' ' ')"
fi

finish
