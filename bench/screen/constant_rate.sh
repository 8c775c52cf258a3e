#!/usr/bin/env bash
# constant_rate.sh VEXA_RECORD|BUILD_DIR [OUT_DIR]: what --constant-rate costs. Records a 1920x1080
# virtual screen at 30 fps with and without the option, first a still screen with content (the
# damage method), then full-screen motion repainted 30 times a second, and prints for each the CPU
# seconds per recorded second of the whole process over the steady part (from 5 s to 5 s before the
# end), the file size, the pictures written and those the encoder coded (the rest are repeats), and
# the CPU milliseconds per coded picture: on a loaded machine the capture gets fewer pictures, so
# the moving screen compares by that. Then, for comparison, what the other way of repeating a
# picture would cost: libx264 with the recorder's settings coding the still picture again for every
# frame period (ffmpeg reading the raw picture in a loop; reading it alone is measured and taken off).
# The machine's load is printed before and after: the numbers are CPU seconds, not shares.
# Environment: DURATION (seconds recorded, default 60), MOTION_DURATION (default 30), STILL_PICTURE
# (an image shown as the still screen instead of the plain test pattern, e.g. a desktop screenshot:
# the repeats cost the same bytes whatever the screen shows, so the size ratio depends on it).
set -euo pipefail
. "$(dirname "$0")/../lib.sh"

if [ $# -lt 1 ]; then
  echo "usage: $0 VEXA_RECORD|BUILD_DIR [OUT_DIR]" >&2
  exit 2
fi
vexa=$(realpath "$1")
[ -d "$vexa" ] && vexa="$vexa/cli/vexa-record"
motion=${MOTION:-$(dirname "$vexa")/../tools/test-motion/vexa-test-motion}
out=$(realpath -m "${2:-$(mktemp -d /tmp/vexa-constant-rate.XXXXXX)}")
duration=${DURATION:-60}
motion_duration=${MOTION_DURATION:-30}
require_tools "$vexa" "$motion" Xvfb ffprobe ffmpeg
mkdir -p "$out"
start_xvfb "$out"

# CPU nanoseconds of every thread of a process.
cpu_ns() {
  local ns=0 t s
  for t in /proc/"$1"/task/*; do
    s=$(cut -d' ' -f1 "$t/schedstat" 2>/dev/null) || continue
    ns=$((ns + s))
  done
  echo "$ns"
}

# record NAME SECONDS OPTION...: one recording; prints its line.
record() {
  local name=$1 seconds=$2
  shift 2
  "$vexa" --duration "$seconds" --fps 30 --no-sound "$@" --output-dir "$out/$name" >"$out/$name.txt" 2>&1 &
  local pid=$!
  sleep 5
  local t0 t1
  t0=$(cpu_ns "$pid")
  sleep $((seconds - 10))
  t1=$(cpu_ns "$pid")
  wait "$pid"
  local file
  file=$(tail -n 1 "$out/$name.txt")
  ffprobe -v error -select_streams v:0 -show_entries packet=pts_time,size -of csv=p=0 "$file" >"$out/$name.packets"
  # Pictures and coded pictures in the measured span (a repeat is under 32 bytes).
  awk -F, -v t="$((t1 - t0))" -v d="$((seconds - 10))" -v n="$name" -v size="$(stat -c %s "$file")" '
    { ++all; if ($1 >= 5 && $1 < 5 + d && $2 >= 32) ++coded; if ($1 >= 5 && $1 < 5 + d) ++span }
    END { printf "%-18s %14.4f %12d %8d %8d %12.2f\n", n, t / 1e9 / d, size, all, coded,
                 coded ? t / 1e6 / coded : 0 }' "$out/$name.packets"
}

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-18s %14s %12s %8s %8s %12s\n' case cpu_s_per_s bytes pictures coded cpu_ms_coded
if [ -n "${STILL_PICTURE:-}" ]; then
  display -window root "$STILL_PICTURE" >"$out/motion-still.log" 2>&1 &
else
  "$motion" --still >"$out/motion-still.log" 2>&1 &
fi
still_pid=$!
pids+=("$still_pid")
sleep 1
record still-variable "$duration"
record still-constant "$duration" --constant-rate
kill "$still_pid" 2>/dev/null || true  # the image viewer has already left its picture on the root
"$motion" --rate 30 >"$out/motion.log" 2>&1 &
pids+=($!)
sleep 1
record motion-variable "$motion_duration"
record motion-constant "$motion_duration" --constant-rate

# The encoder coding the unchanged picture again: the still recording's picture, 30 times a second.
still_file=$(tail -n 1 "$out/still-variable.txt")
ffmpeg -v error -y -i "$still_file" -frames:v 1 -pix_fmt yuv420p -f rawvideo "$out/still.yuv"
size=$(ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=s=x:p=0 "$still_file")
frames=$((30 * duration))
input=(-stream_loop $((frames - 1)) -f rawvideo -pix_fmt yuv420p -s "$size" -framerate 30 -i "$out/still.yuv")
/usr/bin/time -f '%U %S' -o "$out/read.time" ffmpeg -v error -y "${input[@]}" -f null -
/usr/bin/time -f '%U %S' -o "$out/x264.time" ffmpeg -v error -y "${input[@]}" -c:v libx264 -preset veryfast \
  -crf 23 -x264-params rc-lookahead=1:sliced-threads=1 -f mp4 "$out/x264-repeats.mp4"
coded=$(ffprobe -v error -select_streams v:0 -count_packets -show_entries stream=nb_read_packets -of csv=p=0 \
  "$out/x264-repeats.mp4")
read -r ru rs <"$out/read.time"
read -r xu xs <"$out/x264.time"
awk -v d="$duration" -v size="$(stat -c %s "$out/x264-repeats.mp4")" -v n="$coded" \
  -v t="$(echo "$xu + $xs - $ru - $rs" | bc -l)" \
  'BEGIN { printf "%-18s %14.4f %12d %8d %8d %12.2f\n", "x264-repeats", t / d, size, n, n, t * 1000 / n }'
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
