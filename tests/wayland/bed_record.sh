#!/bin/bash
# bed_record.sh VEXA_RECORD [BUILD_DIR]: vexa-record on a real Wayland desktop. Runs inside the Wayland test bed
# (a headless sway at 1280x720 with XWayland, PipeWire and the wlr screen-sharing portal; see
# tools/wayland-bed/README.md): a moving Wayland client (ffplay) and an X11 client (xeyes) are on
# screen; the whole screen, a region, and a still screen are recorded, and the files are checked;
# the desktop must not run out of stream buffers while the recorder copies them. Then the output is
# scaled by 2 (the X screen becomes 640x360, the stream stays 1280x720): the whole screen and a
# region given in desktop coordinates must still be what they are on screen.
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
# first_pixel FILE X Y: "R G B" of the first picture (a still screen's file may have only that one)
first_pixel() {
  ffmpeg -loglevel error -i "$1" -frames:v 1 -vf "crop=2:2:$2:$3,scale=1:1" -f rawvideo \
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
buffers_before=$(grep -c 'out of buffers' "$BED/log/xdpw.log")
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
  # Each buffer goes back once its pixels are copied: the desktop never waits for one.
  starved=$(($(grep -c 'out of buffers' "$BED/log/xdpw.log") - buffers_before))
  echo "out-of-buffers warnings of the portal during 3 s of moving video: $starved"
  [ "$starved" -le 3 ] && ok "the portal ran out of buffers $starved times" ||
    ko "the portal ran out of buffers $starved times"
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

# 3. A still screen: the wlroots portal sends a picture only when something changes. The recording
# must neither fail nor stop waiting: its first picture comes when the screen changes (here an X11
# window moves a second into it), and the file still lasts as long as the recording ran.
kill "$player"
sleep 1
state_log=$BED/state/Vexa/VexaRecorder/VexaRecorder.log
n=$(wc -l <"$state_log")
record still --duration 4 --fps 30 &
recorder=$!
if wait_for 30 eval "tail -n +$((n + 1)) '$state_log' | grep -q 'waits for the first one'"; then
  ok "a still stream is waited for"
else
  ko "no word of waiting for the first picture"
fi
sleep 1
swaymsg -q '[class="XEyes"] move position 200 100'
if wait "$recorder"; then
  file=$(tail -1 "$out/still.txt")
  frames=$(frames_of "$file")
  [ "$frames" -ge 1 ] && [ "$frames" -le 6 ] && ok "still screen: $frames frames" || ko "still screen: $frames frames"
  awk -v d="$(end_of "$file")" 'BEGIN { exit !(d > 3.7 && d < 4.4) }' && ok "still screen lasts 4 s from its start" ||
    ko "still screen lasts $(end_of "$file") s"
  near "$(first_pixel "$file" 300 600)" 255 0 0 60 && ok "the late first picture shows the desktop" ||
    ko "the late first picture is $(first_pixel "$file" 300 600)"
else
  ko "still recording failed: $(tail -3 "$out/still.txt")"
fi

# 4. A screen where nothing changes at all sends no picture: nothing is recorded, and the recorder
# says so instead of leaving a file no player opens.
sleep 1
if record nothing --duration 2 --fps 30; then
  ko "a recording without a single picture passed: $(tail -1 "$out/nothing.txt")"
else
  grep -q 'nothing was recorded' "$out/nothing.txt" && ok "no picture at all: 'nothing was recorded'" ||
    ko "no picture at all: $(tail -1 "$out/nothing.txt")"
fi
[ -z "$(find "$out" -name '*.mp4' -newer "$out/still.txt")" ] && ok "no empty file is left" || ko "an empty file is left"

# 5. A scaled output: desktop coordinates are half the stream's pixels. A Wayland client that ticks
# keeps the screen changing along its bottom edge.
swaymsg -q output HEADLESS-1 scale 2
foot --app-id ticker -- sh -c 'while :; do date +%s.%N; sleep 0.1; done' >"$BED/log/ticker.log" 2>&1 &
wait_for 10 mapped app_id ticker || ko "the ticking client did not appear"
swaymsg -q '[app_id="ticker"] floating enable, resize set 100 40, move position 0 300'
wait_for 10 eval '[ "$(xdpyinfo | sed -n "s/.*dimensions: *\([0-9x]*\) pixels.*/\1/p")" = 640x360 ]' ||
  ko "XWayland did not follow the scale: $(xdpyinfo | grep dimensions)"
swaymsg -q '[class="XEyes"] move position 320 180'
sleep 1
if record scaled --duration 2 --fps 30; then
  file=$(tail -1 "$out/scaled.txt")
  [ "$(size_of "$file")" = 1280x720 ] && ok "scaled: the whole screen is 1280x720" ||
    ko "scaled: the whole screen is $(size_of "$file")"
  # The desktop's far corners are red background in stream pixels.
  # The top corners are red background; the X11 window (desktop 320,180 to 640,500) shows its white
  # eyes in the bottom-right quarter of the stream's pixels.
  near "$(pixel "$file" 20 20)" 255 0 0 60 && near "$(pixel "$file" 1260 20)" 255 0 0 60 &&
    ok "scaled: the desktop's top corners are in the picture" ||
    ko "scaled: top corners are $(pixel "$file" 20 20) and $(pixel "$file" 1260 20)"
  near "$(pixel "$file" 790 520)" 255 255 255 60 && near "$(pixel "$file" 1130 520)" 255 255 255 60 &&
    ok "scaled: the X11 window's eyes are where the desktop shows them" ||
    ko "scaled: at the eyes: $(pixel "$file" 790 520) and $(pixel "$file" 1130 520)"
else
  ko "scaled whole-screen recording failed: $(tail -3 "$out/scaled.txt")"
fi
if record scaled-region --duration 2 --fps 30 --region 320,180,639,359; then
  file=$(tail -1 "$out/scaled-region.txt")
  [ "$(size_of "$file")" = 640x360 ] && ok "scaled: the desktop region 320x180 is 640x360 pixels" ||
    ko "scaled: the region is $(size_of "$file")"
  # xeyes (320x320 desktop pixels at 320,180) fills the region: its white eyes are in the picture.
  white=0
  for at in "160 200" "480 200" "160 300" "480 300" "160 120" "480 120"; do
    near "$(first_pixel "$file" $at)" 255 255 255 60 && white=1
  done
  [ "$white" = 1 ] && ok "scaled: the region shows the X11 window's eyes" || ko "scaled: no white eye in the region"
else
  ko "scaled region recording failed: $(tail -3 "$out/scaled-region.txt")"
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
