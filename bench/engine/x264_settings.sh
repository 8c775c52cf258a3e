#!/usr/bin/env bash
# x264_settings.sh: libx264 as the recorder sets it up (veryfast, CRF 23, slice threads, no B-frames,
# a look-ahead of 1 picture) beside nearby settings, on 10 s of 1080p at 30 pictures a second of two
# scenes: "motion" (testsrc2, much of the picture moving) and "scroll" (one picture of it scrolling
# upwards). For each: the encoder's CPU seconds (the same pipeline without the encoder subtracted),
# peak resident memory of the encoding process, file size and SSIM against the source. A setting
# earns its place only when it keeps the SSIM at an equal size; the CPU of the recorder's own row is
# the floor its screen recordings of such scenes stand on.
#   usage: bench/engine/x264_settings.sh
set -euo pipefail
. "$(dirname "$0")/../lib.sh"
require_tools ffmpeg /usr/bin/time bc
work=$(mktemp -d /tmp/vexa-x264-settings.XXXXXX)
trap 'stop_started; rm -rf "$work"' EXIT
declare -A scenes=(
  [motion]="testsrc2=size=1920x1080:rate=30:duration=10"
  [scroll]="testsrc2=size=1920x1080:rate=30,trim=end_frame=1,loop=loop=300:size=1,scroll=vertical=0.004,trim=duration=10"
)
# name | extra encoder options (after -preset veryfast -crf 23 -bf 0 -g 240 -thread_type slice)
settings=(
  "recorder|-rc-lookahead 1"
  "lookahead-5|-rc-lookahead 5"
  "frame-threads|-rc-lookahead 1 -thread_type frame"
  "no-p8x8|-rc-lookahead 1 -x264-params partitions=i8x8,i4x4"
  "me-dia|-rc-lookahead 1 -x264-params me=dia"
  "subme-1|-rc-lookahead 1 -x264-params subme=1"
)
cpu_of() { echo "$(cut -d' ' -f1 "$1") + $(cut -d' ' -f2 "$1")" | bc -l; }
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-7s %-14s %8s %12s %10s %9s\n' scene setting cpu_s peak_rss_MB size_KB ssim
for scene in motion scroll; do
  src=${scenes[$scene]}
  # The pipeline without an encoder: what each row's CPU has on top of the encoder's.
  /usr/bin/time -f '%U %S' -o "$work/base" ffmpeg -nostdin -v error -y -f lavfi -i "$src" -pix_fmt yuv420p \
    -f null -
  base=$(cpu_of "$work/base")
  for entry in "${settings[@]}"; do
    name=${entry%%|*}
    read -r -a options <<<"${entry#*|}"
    /usr/bin/time -f '%U %S %M' -o "$work/time" ffmpeg -nostdin -v error -y -f lavfi -i "$src" -pix_fmt yuv420p \
      -c:v libx264 -preset veryfast -crf 23 -bf 0 -g 240 -thread_type slice "${options[@]}" "$work/out.mp4"
    ssim=$(ffmpeg -nostdin -v info -i "$work/out.mp4" -f lavfi -i "$src" -lavfi "[1:v]format=yuv420p[r];[0:v][r]ssim" \
      -f null - 2>&1 | grep -o 'All:[0-9.]*' | cut -d: -f2)
    printf '%-7s %-14s %8.2f %12.1f %10d %9s\n' "$scene" "$name" "$(echo "$(cpu_of "$work/time") - $base" | bc -l)" \
      "$(echo "$(cut -d' ' -f3 "$work/time") / 1024" | bc -l)" "$(($(stat -c %s "$work/out.mp4") / 1024))" "$ssim"
  done
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
