#!/usr/bin/env bash
# The stop's cost: fragmented recordings of 2 and 30 minutes (30 pictures a second and MP3 sound, in
# 0.5 s fragments, as the recorder's muxer writes them) are finished in place by finish_timer, and
# the copy the stop used to make (every packet into a new regular file) is timed beside it. Each
# finished file is checked: ffprobe's packet list (times, sizes, key flags, byte positions) equals
# the fragmented file's, and GStreamer (gst-discoverer-1.0, when installed) reads its full duration.
#   usage: bench/engine/stop_cost.sh [build-folder]     (default build/default)
# Environment: MINUTES (the recordings' lengths, default "2 30").
set -euo pipefail
. "$(dirname "$0")/../lib.sh"
build=${1:-build/default}
finish="$build/bench/engine/finish_timer"
require_tools ffmpeg ffprobe
[ -x "$finish" ] || { echo "$bench_name: $finish not built" >&2; exit 1; }
work=$(mktemp -d /tmp/vexa-stop-cost.XXXXXX)
trap 'stop_started; rm -rf "$work"' EXIT

packets() {
  ffprobe -v error -show_entries packet=stream_index,pts,dts,size,pos,flags -of csv=p=0 "$1" | cut -d, -f1-6 | grep -v "^$"
}

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
for minutes in ${MINUTES:-2 30}; do
  src="$work/${minutes}min.mp4"
  # A picture with fine detail keeps the bit rate near a real screen's (about 1 MB a second).
  ffmpeg -nostdin -v error -y -f lavfi -i "testsrc2=size=640x360:rate=30" \
    -f lavfi -i "sine=frequency=440:sample_rate=48000" -t $((minutes * 60)) \
    -c:v libx264 -preset ultrafast -bf 0 -g 240 -b:v 4M -c:a libmp3lame -b:a 128k \
    -movflags +empty_moov+delay_moov+default_base_moof -frag_duration 500000 "$src"
  cp "$src" "$work/copy-src.mp4"
  sync
  packets "$src" >"$work/before.txt"
  start=$(date +%s.%N)
  ffmpeg -nostdin -v error -y -i "$work/copy-src.mp4" -map 0 -c copy "$work/copied.mp4"
  sync -f "$work/copied.mp4"
  copy_s=$(echo "$(date +%s.%N) - $start" | bc)
  rm -f "$work/copied.mp4" "$work/copy-src.mp4"
  sync  # the recorder pushes its file to the disk once a second: only the index is left to write
  "$finish" "$src"
  packets "$src" >"$work/after.txt"
  if cmp -s "$work/before.txt" "$work/after.txt"; then same=yes; else same=NO; fi
  echo "${minutes} min: the copy the stop used to make took ${copy_s} s; packet list unchanged: $same ($(wc -l <"$work/after.txt") packets)"
  echo "${minutes} min: ffprobe duration $(ffprobe -v error -show_entries format=duration -of csv=p=0 "$src") s"
  if command -v gst-discoverer-1.0 >/dev/null; then
    echo "${minutes} min: gst-discoverer $(gst-discoverer-1.0 "$src" | grep -m1 'Duration')"
  fi
  rm -f "$src"
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
