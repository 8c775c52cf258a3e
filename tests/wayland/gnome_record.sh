#!/bin/bash
# gnome_record.sh VEXA_RECORD BUILD_DIR: vexa-record through GNOME's screen-sharing portal (headless
# mutter 43 at 1280x720 with XWayland and xdg-desktop-portal-gnome; `make test-wayland-bed
# DESKTOP=gnome`). GNOME asks once which screen to share, in a dialog that a person answers; here
# tools/wayland-bed/answer_share.py answers it through the accessibility bus and counts how often
# it came. On screen: a solid green X11 window (xlogo drawn green on green) and a moving X11 video
# (ffplay); where XWayland says they are is the oracle for the pictures. Checks: the whole screen,
# a region's pixels, the pointer that mutter sends apart from the picture (as metadata) drawn by
# the program where the pointer is, a still screen that must not fail the recording, and the
# restore token: after the one dialog, the following recordings need none.
# Prints PASS/FAIL lines and "N passed, N failed".
set -u
. "$(dirname "$0")/lib.sh"
vexa=$1
bedtools=$(cd "$(dirname "$0")/../../tools/wayland-bed" && pwd)
export XDG_CONFIG_HOME=$BED/config XDG_STATE_HOME=$BED/state
log=$XDG_STATE_HOME/Vexa/VexaRecorder/VexaRecorder.log
record() {  # record NAME ARGS...: the file's path is the last line of $out/NAME.txt
  local name=$1; shift
  "$vexa" --no-sound --output-dir "$out" --stats "$@" >"$out/$name.txt" 2>&1
}
file_of() { tail -1 "$out/$1.txt"; }
frames_of() { ffprobe -v error -select_streams v:0 -count_packets -show_entries stream=nb_read_packets -of csv=p=0 "$1"; }
size_of() { ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=p=0:s=x "$1"; }
end_of() { ffprobe -v error -show_entries format=duration -of csv=p=0 "$1"; }
pixel() {  # pixel FILE X Y: "R G B" of the 2x2 pixels at X,Y of the last picture
  ffmpeg -loglevel error -sseof -0.5 -i "$1" -frames:v 1 -vf "crop=2:2:$2:$3,scale=1:1" -f rawvideo \
    -pix_fmt rgb24 - | od -An -tu1 -N3 | tr -s ' ' | sed 's/^ //'
}
first_pixel() {  # first_pixel FILE X Y: the same of the first picture (a still screen may have only one)
  ffmpeg -loglevel error -i "$1" -frames:v 1 -vf "crop=2:2:$2:$3,scale=1:1" -f rawvideo \
    -pix_fmt rgb24 - | od -An -tu1 -N3 | tr -s ' ' | sed 's/^ //'
}
is_green() { local -a p=($1 0 0 0); [ "${p[0]}" -lt 60 ] && [ "${p[1]}" -gt 150 ] && [ "${p[2]}" -lt 60 ]; }
green() { is_green "$(pixel "$@")"; }
dialogs() { grep -c shared "$BED/out/dialogs.txt" 2>/dev/null || echo 0; }
# client WINDOW-NAME: "X Y W H" of that X11 window's inside, as XWayland places it on the desktop
client() {
  xwininfo -name "$1" | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4} /  Width/{w=$2}
    /  Height/{h=$2} END{print x, y, w, h}'
}

/usr/bin/python3 "$bedtools/answer_share.py" "$out/dialogs.txt" 2>"$BED/log/answer_share.log" &
xlogo -geometry 400x300+100+120 -bg '#00c000' -fg '#00c000' -name greenlogo >"$BED/log/xlogo.log" 2>&1 &
SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy ffplay -loglevel error -noborder -an -left 760 -top 80 -f lavfi \
  'testsrc2=size=480x270:rate=30' -window_title movie >"$BED/log/ffplay.log" 2>&1 &
player=$!
wait_for 20 xwininfo -name greenlogo || ko "the green X11 window did not appear"
wait_for 20 xwininfo -name movie || ko "the moving X11 window did not appear"
sleep 1
read -r gx gy gw gh < <(client greenlogo)
echo "the green window's inside: $gx,$gy ${gw}x$gh"

# 1. The whole screen while a video plays: one dialog, answered once; then the picture.
if record whole --duration 3 --fps 30; then
  file=$(file_of whole)
  [ "$(size_of "$file")" = 1280x720 ] && ok "whole screen is 1280x720" || ko "whole screen is $(size_of "$file")"
  frames=$(frames_of "$file")
  [ "$frames" -ge 20 ] && ok "moving screen: $frames frames in 3 s" || ko "moving screen: only $frames frames"
  green "$file" $((gx + gw / 2)) $((gy + gh / 2)) && green "$file" $((gx + 10)) $((gy + 10)) &&
    green "$file" $((gx + gw - 12)) $((gy + gh - 12)) && ok "the green X11 window is where XWayland says" ||
    ko "the green window's middle is $(pixel "$file" $((gx + gw / 2)) $((gy + gh / 2)))"
  ! green "$file" $((gx + gw / 2)) $((gy + gh + 20)) && ! green "$file" $((gx - 20)) $((gy + gh / 2)) &&
    ok "nothing green beside it" || ko "green below or left of the window"
  grep -q "portal stream, PipeWire node [0-9]*, cursor as metadata" "$log" &&
    ok "GNOME sends the pointer as metadata" || ko "the cursor mode is: $(grep -o 'portal stream.*' "$log" | tail -1)"
else
  ko "whole-screen recording failed: $(tail -3 "$out/whole.txt")"
fi
[ "$(dialogs)" = 1 ] && ok "the desktop asked once, and the dialog was answered" || ko "the desktop asked $(dialogs) times"
[ -n "$("$build/tools/vexa-settings/vexa-settings" get screencast_restore_token 2>/dev/null)" ] &&
  ok "the restore token is kept with the settings" || ko "no restore token in the settings"

# 2. A region inside the green window: its own size, green to its edges.
x0=$((gx + 40)) y0=$((gy + 30)) x1=$((gx + 40 + 319)) y1=$((gy + 30 + 199))
if record region --duration 2 --fps 30 --region "$x0,$y0,$x1,$y1"; then
  file=$(file_of region)
  [ "$(size_of "$file")" = 320x200 ] && ok "the region is 320x200" || ko "the region is $(size_of "$file")"
  green "$file" 0 0 && green "$file" 318 0 && green "$file" 0 198 && green "$file" 318 198 && green "$file" 160 100 &&
    ok "the region is green to its edges" || ko "the region's corners: $(pixel "$file" 0 0) / $(pixel "$file" 318 198)"
else
  ko "region recording failed: $(tail -3 "$out/region.txt")"
fi

# 3. The pointer, sent apart from the picture: the program draws it where the pointer is. The
# pointer moves to the green window's middle; a region around it is recorded with and without
# the cursor. With it, the arrow's body lies right below its tip (the hot spot), nothing of it
# above-left of the tip or far away; without it, all is green.
px=$((gx + gw / 2)) py=$((gy + gh / 2))
coproc pointer { exec /usr/bin/python3 "$bedtools/gnome_pointer.py" "$px" "$py" 2>"$BED/log/pointer.log"; }
read -r -t 20 -u "${pointer[0]}" _ || ko "the pointer did not move: $(cat "$BED/log/pointer.log")"
wait_for 10 sh -c "xdotool getmouselocation | grep -q 'x:$px y:$py '" && ok "the pointer is at $px,$py" ||
  ko "the pointer is at $(xdotool getmouselocation)"
rx=$((px - 60)) ry=$((py - 60))
for c in cursor no-cursor; do record "$c" --duration 2 --fps 30 --"$c" --region "$rx,$ry,$((rx + 119)),$((ry + 119))" ||
  ko "$c recording failed: $(tail -3 "$out/$c.txt")"; done
with=$(file_of cursor) without=$(file_of no-cursor)
green "$without" 62 66 && green "$without" 64 72 && ok "without the cursor the spot is green" ||
  ko "without the cursor the spot is $(pixel "$without" 62 66)"
! green "$with" 62 66 && ! green "$with" 61 72 && ok "with the cursor the arrow lies below its tip" ||
  ko "with the cursor, below the tip: $(pixel "$with" 62 66) / $(pixel "$with" 61 72)"
green "$with" 54 54 && green "$with" 100 100 && green "$with" 20 90 &&
  ok "with the cursor, nothing of it above-left of the tip or far off" ||
  ko "with the cursor: $(pixel "$with" 54 54) / $(pixel "$with" 100 100) / $(pixel "$with" 20 90)"
kill "$pointer_PID"

# 4. A still screen: nothing moves; the recording neither fails nor stops short.
kill "$player"
sleep 1
if record still --duration 4 --fps 30; then
  file=$(file_of still)
  frames=$(frames_of "$file")
  [ "$frames" -ge 1 ] && ok "still screen: $frames frames" || ko "still screen: no frame"
  awk -v d="$(end_of "$file")" 'BEGIN { exit !(d > 3.7 && d < 4.4) }' && ok "still screen lasts 4 s" ||
    ko "still screen lasts $(end_of "$file") s"
  # (away from the pointer, which stays in the window's middle)
  is_green "$(first_pixel "$file" $((gx + 40)) $((gy + 40)))" && ok "the still picture shows the desktop" ||
    ko "the still picture is $(first_pixel "$file" $((gx + 40)) $((gy + 40)))"
else
  ko "still recording failed: $(tail -3 "$out/still.txt")"
fi

# 5. Four recordings after the first: the restore token answered for the desktop each time.
[ "$(dialogs)" = 1 ] && ok "the later recordings needed no dialog (restore token)" ||
  ko "the desktop asked $(dialogs) times in all"

finish
