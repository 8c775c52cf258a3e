#!/bin/bash
# bed_windows.sh VEXA_RECORD BUILD_DIR: the desktop program's own windows on a real Wayland desktop
# (sway centres floating X11 windows and focuses new ones), driven with real input. Runs inside the
# Wayland test bed (tools/wayland-bed/README.md) with the virtual keyboard and pointer
# BUILD_DIR/wayland-bed/vinput, over another program's X11 window (xev) that reports its clicks.
# Checks: the region frame, the count-down and the floating bar sit where the program puts them
# (override-redirect, at the region or their corner); the selection
# overlay opened from region mode stays open; while recording a region the frame is four thin
# side windows around it that show the red frame on the screen; a full-screen recording leaves
# the desktop clickable and focused; without a GlobalShortcuts service the user is told once.
# Prints PASS/FAIL lines and "N passed, N failed".
set -u
. "$(dirname "$0")/lib.sh"
focused() { swaymsg -t get_tree | /usr/bin/python3 -c 'import json, sys
def walk(n):
    if n.get("focused"): print(n.get("name"))
    for c in n.get("nodes", []) + n.get("floating_nodes", []): walk(c)
walk(json.load(sys.stdin))'; }
presses() { grep -c ButtonPress "$out/xev.txt"; }
pixels() {  # pixels PNG COLOUR X0 Y0 X1 Y1: how many pixels of the box are red (the frame) or yellow (the notice)
  /usr/bin/python3 - "$@" <<'PY'
import sys, zlib, struct
path, colour, (x0, y0, x1, y1) = sys.argv[1], sys.argv[2], map(int, sys.argv[3:])
data = open(path, 'rb').read()
pos, chunks, w, h, ct = 8, b'', 0, 0, 0
while pos < len(data):
    n, kind = struct.unpack('>I4s', data[pos:pos + 8])
    body = data[pos + 8:pos + 8 + n]
    if kind == b'IHDR': w, h, _, ct = struct.unpack('>IIBB', body[:10])
    elif kind == b'IDAT': chunks += body
    pos += 12 + n
raw, bpp = zlib.decompress(chunks), 4 if ct == 6 else 3
stride, rows, prev = w * bpp, [], bytearray(w * bpp)
for r in range(h):
    f, line = raw[r * (stride + 1)], bytearray(raw[r * (stride + 1) + 1:(r + 1) * (stride + 1)])
    for i in range(stride):
        a = line[i - bpp] if i >= bpp else 0
        b, c = prev[i], prev[i - bpp] if i >= bpp else 0
        if f == 1: line[i] = (line[i] + a) & 255
        elif f == 2: line[i] = (line[i] + b) & 255
        elif f == 3: line[i] = (line[i] + (a + b) // 2) & 255
        elif f == 4:
            p = a + b - c; pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
            line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
    rows.append(line); prev = line
def like(p):
    if colour == 'red': return p[0] > 180 and p[1] < 90 and p[2] < 90
    return p[0] > 230 and 190 < p[1] < 235 and p[2] < 140
print(sum(1 for y in range(y0, y1 + 1) for x in range(x0, x1 + 1) if like(rows[y][x * bpp:x * bpp + 3])))
PY
}

use_bed_home
settings count_down dword 3
settings desktop_select_rgn binary c80000009600000047030000fd010000

start_vinput
xev -geometry 1280x720+0+0 -event button -event mouse >"$out/xev.txt" 2>&1 &  # another program's window below
wait_for 20 xdotool search --name '^Event Tester$' >/dev/null
start_program

# 1. Without a GlobalShortcuts service (the wlr portal has none) the user is told, once: a yellow
# bar across the foot of the record page, remembered in the store.
read -r mx my mw mh _ < <(viewable VexaRecorder_Main_Window)
sleep 0.5
grim "$out/notice.png"
yellow=$(pixels "$out/notice.png" yellow "$mx" $((my + mh - 60)) $((mx + mw - 1)) $((my + mh - 1)))
[ "$yellow" -ge 10000 ] && ok "no global shortcuts: the notice shows ($yellow pixels)" ||
  ko "no global shortcuts: no notice on the record page ($yellow pixels)"
"$build/tools/vexa-settings/vexa-settings" get hotkey_focus_notice | grep -q 1 &&
  ok "the notice is remembered as shown" || ko "the notice is not remembered"

# 3. The region hotkey (F6, the region icon's action) opens the selection overlay from region mode,
# and the overlay stays open (sway takes back a focus it did not give); a drag in it chooses
# 300,200 - 699,499.
input "keydown 64\nsleep 150\nkeyup 64\n"
# The overlay starts from a picture of the screen, which the wlroots portal sends only once
# something changes: the pointer moves meanwhile.
for i in $(seq 20); do input "move $((100 + i)) 100\nsleep 50\n"; done
if wait_for 20 viewable Screen_Rgn_Sel_Wnd >/dev/null; then
  sleep 1.5
  check "the overlay stays open 1.5 s after it opened" viewable Screen_Rgn_Sel_Wnd
  input "move 300 200\nsleep 100\ndown\nsleep 100\nmove 500 350\nsleep 100\nmove 699 499\nsleep 100\nup\n"
  check "a drag in the overlay frames 300,200 - 699,499, where sway would not put it" wait_for 20 \
    sh -c "xdotool search --class '^Screen_Region_Wnd\$' | head -1 | xargs -I{} xwininfo -id {} |
      awk '/upper-left X/{x=\$4} /  Width/{w=\$2} /upper-left Y/{y=\$4} /  Height/{h=\$2} /Map State/{m=\$3}
        END{exit !(m==\"IsViewable\" && x==297 && x+w==703 && y+h==503)}'"
  viewable Screen_Region_Wnd | grep -q ' yes$' && ok "the frame is override-redirect" ||
    ko "the frame is managed: $(geometry Screen_Region_Wnd)"
else
  ko "the region icon opened no overlay: $(tail -3 "$log" | tr '\n' ' ')"
fi

# 4. The count-down sits in the middle of the screen, override-redirect, and takes no focus.
wait_for 20 viewable VexaRecorder_Main_Window >/dev/null
n=$(lines)
input "keydown 65\nsleep 150\nkeyup 65\n"
check_count_down "$n"

# 5. Recording the region: four side windows around it, none over it; the frame's red shows on the
# screen beside the region's left edge; the floating bar sits at its corner.
if wait_for 30 logged_after "$n" "recording started"; then
  sides=$(viewable Screen_Region_Edge_Wnd | cut -d' ' -f1-4 | sort | tr '\n' ';')
  want=$(printf '%s\n' "297 197 405 6" "297 496 405 6" "297 203 6 293" "696 203 6 293" | sort | tr '\n' ';')
  [ "$sides" = "$want" ] && ok "recording: the frame is four side windows around the region" ||
    ko "recording: the side windows are '$sides', not '$want'"
  hidden() { ! viewable "$1" >/dev/null; }
  check "recording: the frame's own window is hidden" hidden Screen_Region_Wnd
  sleep 0.5
  grim "$out/region.png"
  reds=$(pixels "$out/region.png" red 299 220 299 480)
  [ "$reds" -ge 150 ] && ok "recording: the frame's red shows left of the region ($reds pixels)" ||
    ko "recording: only $reds red pixels left of the region"
  inside=$(pixels "$out/region.png" red 303 203 695 495)
  [ "$inside" -eq 0 ] && ok "recording: nothing red inside the region" || ko "recording: $inside red pixels inside the region"
  read -r bx by bw bh _ < <(viewable VexaRecorder_Float_Window)
  [ "$((bx + bw))" = 1288 ] && [ "$((by + bh))" = 720 ] && viewable VexaRecorder_Float_Window | grep -q ' yes$' &&
    ok "the floating bar sits in the bottom-right corner" || ko "the floating bar is at $bx,$by ${bw}x$bh"
  n=$(lines)
  input "keydown 65\nsleep 150\nkeyup 65\n"
  wait_for 60 logged_after "$n" "recording finished" || ko "the region recording did not finish"
else
  ko "the region recording did not start: $(tail -n +$((n + 1)) "$log" | tail -2 | tr '\n' ' ')"
fi

# 6. Full screen (the program started again without a stored region): a click in the middle of the
# screen during the recording reaches the window below, and sway's focus stays with it.
kill "$app"; wait "$app" 2>/dev/null
"$build/tools/vexa-settings/vexa-settings" delete desktop_select_rgn >/dev/null
"$program" >>"$BED/log/program.log" 2>&1 &
app=$!
wait_for 60 sh -c "[ \$(grep -c 'main window ready' '$log') -ge 2 ]" || ko "the program did not start again"
settings count_down dword 0
n=$(lines)
input "keydown 65\nsleep 150\nkeyup 65\n"
if wait_for 30 logged_after "$n" "recording started"; then
  grep -q "region 0,0-1279,719" <(tail -n +$((n + 1)) "$log") && ok "full screen: the whole screen is recorded" ||
    ko "full screen: $(tail -n +$((n + 1)) "$log" | grep -o 'region [^,]*,[^,]*' | head -1)"
  before=$(presses)
  sleep 0.5
  input "move 640 360\nsleep 100\ndown\nsleep 60\nup\nsleep 100\n"
  check "full screen: a click in the middle reaches the window below" wait_for 10 sh -c "[ \$(grep -c ButtonPress '$out/xev.txt') -gt $before ]"
  f=$(focused)
  [ "$f" = "Event Tester" ] && ok "full screen: the click focuses the window below" || ko "full screen: '$f' has the focus"
  n=$(lines)
  input "keydown 65\nsleep 150\nkeyup 65\n"
  wait_for 60 logged_after "$n" "recording finished" || ko "the full-screen recording did not finish"
else
  ko "the full-screen recording did not start: $(tail -n 4 "$log" | tr '\n' ' ') focus: $(focused)"
fi

finish
