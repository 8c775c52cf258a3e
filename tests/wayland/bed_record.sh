#!/bin/bash
# bed_record.sh VEXA_RECORD: vexa-record on a real Wayland desktop. Runs inside the Wayland test bed
# (a headless sway at 1280x720 with XWayland, PipeWire and the wlr screen-sharing portal; see
# tools/wayland-bed/README.md): a moving Wayland client (ffplay) and an X11 client (xeyes) are on
# screen; the whole screen, a region, and a still screen are recorded, and the files are checked.
# Prints PASS/FAIL lines and a closing "N passed, N failed"; exits non-zero on a failure.
set -u
vexa=$1
out=$BED/out
passed=0 failed=0
ok() { echo "PASS $*"; passed=$((passed + 1)); }
ko() { echo "FAIL $*"; failed=$((failed + 1)); }
mapped() { swaymsg -t get_tree | grep -q "\"$1\": \"$2\""; }
wait_for() {
  local t=$(($1 * 10)); shift
  while ! "$@" 2>/dev/null; do t=$((t - 1)); [ $t -le 0 ] && return 1; sleep 0.1; done
}
record() {  # record NAME ARGS...: the file's path on stdout's last line of $out/NAME.txt
  local name=$1; shift
  XDG_CONFIG_HOME=$BED/config XDG_STATE_HOME=$BED/state "$vexa" --no-sound --output-dir "$out" --stats "$@" \
    >"$out/$name.txt" 2>&1
}
frames_of() { ffprobe -v error -select_streams v:0 -count_packets -show_entries stream=nb_read_packets -of csv=p=0 "$1"; }
size_of() { ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=p=0:s=x "$1"; }
end_of() { ffprobe -v error -show_entries format=duration -of csv=p=0 "$1"; }
# pixel FILE X Y: "R G B" of the last picture
pixel() {
  ffmpeg -loglevel error -sseof -0.5 -i "$1" -frames:v 1 -vf "crop=2:2:$2:$3,scale=1:1" -f rawvideo \
    -pix_fmt rgb24 - | od -An -tu1 -N3 | tr -s ' ' | sed 's/^ //'
}
near() {  # near "R G B" R G B TOLERANCE
  local -a p=($1)
  local i d
  for i in 0 1 2; do
    d=$((p[i] - $((i == 0 ? $2 : i == 1 ? $3 : $4))))
    [ ${d#-} -le "$5" ] || return 1
  done
}

SDL_VIDEODRIVER=wayland SDL_AUDIODRIVER=dummy ffplay -loglevel error -noborder -an -f lavfi \
  'testsrc2=size=640x360:rate=30' >"$BED/log/ffplay.log" 2>&1 &
player=$!
xeyes -geometry 320x320 >"$BED/log/xeyes.log" 2>&1 &
wait_for 10 mapped app_id ffplay || ko "the moving client did not appear"
wait_for 10 mapped class XEyes || ko "the X11 client did not appear"
sleep 1

# 1. The whole screen while a client plays video: every part of the desktop is in the picture.
if record whole --duration 3 --fps 30; then
  file=$(tail -1 "$out/whole.txt")
  [ "$(size_of "$file")" = 1280x720 ] && ok "whole screen is 1280x720" || ko "whole screen is $(size_of "$file")"
  frames=$(frames_of "$file")
  [ "$frames" -ge 20 ] && ok "moving screen: $frames frames in 3 s" || ko "moving screen: only $frames frames"
  near "$(pixel "$file" 300 600)" 255 0 0 60 && ok "the red desktop background" || ko "background is $(pixel "$file" 300 600)"
  near "$(pixel "$file" 1060 690)" 255 255 255 60 || near "$(pixel "$file" 1060 500)" 255 255 255 60 ||
    near "$(pixel "$file" 980 520)" 255 255 255 60 && ok "the XWayland window (white eyes)" ||
    ko "no white eye of the X11 client near 1060,520"
  grep -q "portal stream" "$BED/state/Vexa/VexaRecorder/VexaRecorder.log" && ok "the log names the portal stream" ||
    ko "the log does not name the portal stream"
else
  ko "whole-screen recording failed: $(tail -3 "$out/whole.txt")"
fi

# 2. A region of it: the crop of the monitor stream.
if record region --duration 2 --fps 30 --region 640,0,1279,359; then
  file=$(tail -1 "$out/region.txt")
  [ "$(size_of "$file")" = 640x360 ] && ok "the region is 640x360" || ko "the region is $(size_of "$file")"
  frames=$(frames_of "$file")
  [ "$frames" -ge 15 ] && ok "region: $frames frames in 2 s" || ko "region: only $frames frames"
else
  ko "region recording failed: $(tail -3 "$out/region.txt")"
fi

# 3. A still screen: one picture, then nothing, and the file still lasts as long as the recording.
kill "$player"
sleep 1
if record still --duration 3 --fps 30; then
  file=$(tail -1 "$out/still.txt")
  frames=$(frames_of "$file")
  [ "$frames" -le 3 ] && ok "still screen: $frames frames" || ko "still screen: $frames frames"
  awk -v d="$(end_of "$file")" 'BEGIN { exit !(d > 2.7 && d < 3.4) }' && ok "still screen lasts 3 s" ||
    ko "still screen lasts $(end_of "$file") s"
else
  ko "still recording failed: $(tail -3 "$out/still.txt")"
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
