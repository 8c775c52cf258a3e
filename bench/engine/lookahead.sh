#!/usr/bin/env bash
# lookahead.sh: libx264 as the recorder sets it up (veryfast, CRF 23, slice threads, no B-frames)
# with a look-ahead of 5 and of 1 pictures, on 10 s of 1080p moving test picture at 30 pictures a
# second: peak resident memory of the encoding process, file size and SSIM against the source.
#   usage: bench/engine/lookahead.sh
set -euo pipefail
. "$(dirname "$0")/../lib.sh"
require_tools ffmpeg /usr/bin/time
work=$(mktemp -d /tmp/vexa-lookahead.XXXXXX)
trap 'stop_started; rm -rf "$work"' EXIT
src="testsrc2=size=1920x1080:rate=30:duration=10"
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-10s %12s %10s %8s\n' lookahead peak_rss_MB size_KB ssim
for la in 5 1; do
  /usr/bin/time -f '%M' -o "$work/rss" ffmpeg -nostdin -v error -y -f lavfi -i "$src" -pix_fmt yuv420p \
    -c:v libx264 -preset veryfast -crf 23 -bf 0 -g 240 -thread_type slice -rc-lookahead "$la" "$work/la$la.mp4"
  ssim=$(ffmpeg -nostdin -v info -i "$work/la$la.mp4" -f lavfi -i "$src" -lavfi "[1:v]format=yuv420p[r];[0:v][r]ssim" \
    -f null - 2>&1 | grep -o 'All:[0-9.]*' | cut -d: -f2)
  printf '%-10s %12.1f %10d %8s\n' "$la" "$(echo "$(cat "$work/rss") / 1024" | bc -l)" \
    "$(($(stat -c %s "$work/la$la.mp4") / 1024))" "$ssim"
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
