#!/bin/bash
# bed-env: GNOME_MONITOR=1600x960
# gnome_scaled.sh VEXA_RECORD BUILD_DIR: vexa-record through GNOME's portal on a monitor scaled by 2
# (headless mutter with a 1600x960 virtual monitor; monitors scale by their logical size, so the
# X11 screen is 800x480 while the stream keeps the monitor's 1600x960 pixels). Desktop coordinates
# (XWayland's, the program's) are half the stream's pixels: the whole screen, a region given in
# desktop coordinates, and the pointer drawn from mutter's cursor metadata must be where the
# desktop shows them. Prints PASS/FAIL lines and "N passed, N failed".
set -u
. "$(dirname "$0")/lib.sh"
vexa=$1
bedtools=$(cd "$(dirname "$0")/../../tools/wayland-bed" && pwd)
export XDG_CONFIG_HOME=$BED/config XDG_STATE_HOME=$BED/state
record() {  # record NAME ARGS...: the file's path is the last line of $out/NAME.txt
  local name=$1; shift
  "$vexa" --no-sound --output-dir "$out" --stats "$@" >"$out/$name.txt" 2>&1
}
file_of() { tail -1 "$out/$1.txt"; }
size_of() { ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=p=0:s=x "$1"; }
pixel() {  # pixel FILE X Y: "R G B" of the 2x2 pixels at X,Y of the first picture
  ffmpeg -loglevel error -i "$1" -frames:v 1 -vf "crop=2:2:$2:$3,scale=1:1" -f rawvideo \
    -pix_fmt rgb24 - | od -An -tu1 -N3 | tr -s ' ' | sed 's/^ //'
}
green() { local -a p=($(pixel "$@") 0 0 0); [ "${p[0]}" -lt 60 ] && [ "${p[1]}" -gt 150 ] && [ "${p[2]}" -lt 60 ]; }
client() {  # client WINDOW-NAME: "X Y W H" of that X11 window's inside, in desktop coordinates
  xwininfo -name "$1" | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4} /  Width/{w=$2}
    /  Height/{h=$2} END{print x, y, w, h}'
}

# Scale the monitor by 2 (what GNOME's display settings do).
/usr/bin/python3 - <<'PY' || ko "mutter did not scale the monitor"
import dbus
dc = dbus.Interface(dbus.SessionBus().get_object('org.gnome.Mutter.DisplayConfig', '/org/gnome/Mutter/DisplayConfig'),
                    'org.gnome.Mutter.DisplayConfig')
serial, monitors, _, _ = dc.GetCurrentState()
connector = str(monitors[0][0][0])
mode = [str(m[0]) for m in monitors[0][1] if dict(m[6]).get('is-current')][0]
dc.ApplyMonitorsConfig(serial, dbus.UInt32(1), [(0, 0, dbus.Double(2.0), dbus.UInt32(0), True,
                       [(connector, mode, dbus.Dictionary({}, signature='sv'))])], dbus.Dictionary({}, signature='sv'))
PY
wait_for 20 eval '[ "$(xdpyinfo | sed -n "s/.*dimensions: *\([0-9x]*\) pixels.*/\1/p")" = 800x480 ]' &&
  ok "the X11 screen of the scaled monitor is 800x480" || ko "XWayland: $(xdpyinfo | grep dimensions)"

/usr/bin/python3 "$bedtools/answer_share.py" "$out/dialogs.txt" 2>"$BED/log/answer_share.log" &
xlogo -geometry 300x200+100+80 -bg '#00c000' -fg '#00c000' -name greenlogo >"$BED/log/xlogo.log" 2>&1 &
wait_for 20 xwininfo -name greenlogo || ko "the green X11 window did not appear"
sleep 1
read -r gx gy gw gh < <(client greenlogo)
echo "the green window's inside: $gx,$gy ${gw}x$gh desktop pixels"
px=$((gx + gw / 2)) py=$((gy + gh / 2))
coproc pointer { exec /usr/bin/python3 "$bedtools/gnome_pointer.py" "$px" "$py" 2>"$BED/log/pointer.log"; }
read -r -t 20 -u "${pointer[0]}" _ || ko "the pointer did not move: $(cat "$BED/log/pointer.log")"
wait_for 10 sh -c "xdotool getmouselocation | grep -q 'x:$px y:$py '" && ok "the pointer is at $px,$py" ||
  ko "the pointer is at $(xdotool getmouselocation)"

# 1. The whole screen: the stream's pixels, the green window at twice its desktop coordinates.
if record whole --duration 2 --fps 30; then
  file=$(file_of whole)
  [ "$(size_of "$file")" = 1600x960 ] && ok "scaled: the whole screen is 1600x960" || ko "scaled: the whole screen is $(size_of "$file")"
  green "$file" $((2 * gx + 20)) $((2 * gy + 20)) && green "$file" $((2 * (gx + gw) - 22)) $((2 * (gy + gh) - 22)) &&
    ! green "$file" $((2 * (gx + gw) + 20)) $((2 * gy + 20)) && ok "scaled: the green window is where the desktop shows it" ||
    ko "scaled: at the window's corners: $(pixel "$file" $((2 * gx + 20)) $((2 * gy + 20))) / $(pixel "$file" $((2 * (gx + gw) - 22)) $((2 * (gy + gh) - 22)))"
else
  ko "scaled whole-screen recording failed: $(tail -3 "$out/whole.txt")"
fi

# 2. A region in desktop coordinates inside the green window: twice its size in pixels, green to its edges.
x0=$((gx + 20)) y0=$((gy + 20))
if record region --duration 2 --fps 30 --no-cursor --region "$x0,$y0,$((x0 + 159)),$((y0 + 99))"; then
  file=$(file_of region)
  [ "$(size_of "$file")" = 320x200 ] && ok "scaled: the desktop region 160x100 is 320x200 pixels" ||
    ko "scaled: the region is $(size_of "$file")"
  green "$file" 0 0 && green "$file" 318 0 && green "$file" 0 198 && green "$file" 318 198 &&
    ok "scaled: the region is green to its edges" || ko "scaled: the region's corners: $(pixel "$file" 0 0) / $(pixel "$file" 318 198)"
else
  ko "scaled region recording failed: $(tail -3 "$out/region.txt")"
fi

# 3. The pointer from the cursor metadata, in a region around it (desktop 60,60 from its corner =
# pixels 120,120): the arrow's body right below its tip, nothing of it above-left or far off.
rx=$((px - 60)) ry=$((py - 60))
if record cursor --duration 2 --fps 30 --cursor --region "$rx,$ry,$((rx + 119)),$((ry + 119))"; then
  file=$(file_of cursor)
  ! green "$file" 124 132 && ! green "$file" 122 144 && ok "scaled: the arrow lies below its tip" ||
    ko "scaled: below the tip: $(pixel "$file" 124 132) / $(pixel "$file" 122 144)"
  green "$file" 110 110 && green "$file" 200 200 && green "$file" 40 180 &&
    ok "scaled: nothing of the pointer above-left of the tip or far off" ||
    ko "scaled: $(pixel "$file" 110 110) / $(pixel "$file" 200 200) / $(pixel "$file" 40 180)"
else
  ko "scaled cursor recording failed: $(tail -3 "$out/cursor.txt")"
fi
kill "$pointer_PID"

finish
