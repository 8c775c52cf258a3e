#!/usr/bin/env bash
# x264_settings.sh: libx264 as the recorder sets it up (veryfast, CRF 23, slice threads, no B-frames,
# a look-ahead of 1 picture) beside nearby settings, on 10 s of 1080p at 30 pictures a second of two
# scenes: "motion" (testsrc2, much of the picture moving) and "scroll" (one picture of it scrolling
# upwards), and of each recording named in CLIPS (its first 10 s; for example a file that
# bench/screen/side_by_side.sh recorded). For each: the encoder's CPU seconds at CRF 23 (the same
# pipeline without the encoder subtracted), peak resident memory, file size and SSIM at CRF 23, and
# the SSIM in dB at the recorder's own file size. That last column is the fair one: a setting that
# writes files of another size at CRF 23 is encoded again at CRFs 2 apart towards the recorder's
# size until one passes it, and its SSIM is read off between the last two (linear in the logarithm
# of the size) where its size equals the recorder's. A setting earns its place only when it saves
# CPU without losing SSIM there; the CPU of the recorder's own row is the floor its screen
# recordings of such a scene stand on. A recording is a rougher judge than the synthetic scenes: it
# was compressed once already, and a CRF near the one it was made with keeps more of it.
#   usage: [CLIPS="a.mp4 b.mp4"] bench/engine/x264_settings.sh
set -euo pipefail
. "$(dirname "$0")/../lib.sh"
require_tools ffmpeg /usr/bin/time bc awk
work=$(mktemp -d /tmp/vexa-x264-settings.XXXXXX)
trap 'stop_started; rm -rf "$work"' EXIT
synthetic=(
  "motion|-f lavfi -i testsrc2=size=1920x1080:rate=30:duration=10"
  "scroll|-f lavfi -i testsrc2=size=1920x1080:rate=30,trim=end_frame=1,loop=loop=300:size=1,scroll=vertical=0.004,trim=duration=10"
)
scenes=("${synthetic[@]}")
for clip in ${CLIPS:-}; do scenes+=("$(basename "$clip" .mp4)|-t 10 -i $clip"); done
# name | extra encoder options (after -preset veryfast -bf 0 -g 240 -thread_type slice)
settings=(
  "recorder|-rc-lookahead 1"
  "lookahead-5|-rc-lookahead 5"
  "frame-threads|-rc-lookahead 1 -thread_type frame"
  "no-p8x8|-rc-lookahead 1 -x264-params partitions=i8x8,i4x4"
  "me-dia|-rc-lookahead 1 -x264-params me=dia"
  "subme-1|-rc-lookahead 1 -x264-params subme=1"
  "aq-0|-rc-lookahead 1 -x264-params aq-mode=0"
)
cpu_of() { echo "$(cut -d' ' -f1 "$1") + $(cut -d' ' -f2 "$1")" | bc -l; }

# encode SOURCE_OPTIONS CRF OPTIONS...: encodes into $work/out.mp4, its time and memory in $work/time.
encode() {
  local source=$1 crf=$2
  shift 2
  # shellcheck disable=SC2086 # the source options are words
  /usr/bin/time -f '%U %S %M' -o "$work/time" ffmpeg -nostdin -v error -y $source -pix_fmt yuv420p \
    -c:v libx264 -preset veryfast -crf "$crf" -bf 0 -g 240 -thread_type slice "$@" "$work/out.mp4"
}

# ssim_db: the SSIM of $work/out.mp4 against $work/reference.nut, in dB.
ssim_db() {
  ffmpeg -nostdin -v info -i "$work/out.mp4" -i "$work/reference.nut" -lavfi "[0:v][1:v]ssim" -f null - 2>&1 |
    grep -o 'All:[0-9.]* ([0-9.inf]*)' | sed 's/.*(\(.*\))/\1/' | awk '{ printf "%.2f\n", $1 }'
}

# at_size TARGET SIZE1 DB1 SIZE2 DB2: the dB at TARGET on the line through both points (log size).
at_size() {
  awk -v t="$1" -v s1="$2" -v d1="$3" -v s2="$4" -v d2="$5" \
    'BEGIN { if (s1 == s2) { print d1; exit } printf "%.2f\n", d1 + (d2 - d1) * log(t / s1) / log(s2 / s1) }'
}

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-22s %-14s %7s %8s %9s %8s %13s\n' scene setting cpu_s rss_MB size_KB ssim_dB dB_at_rec_size
for scene in "${scenes[@]}"; do
  name=${scene%%|*}
  source=${scene#*|}
  # shellcheck disable=SC2086
  ffmpeg -nostdin -v error -y $source -pix_fmt yuv420p -c:v rawvideo -f nut "$work/reference.nut"
  # The pipeline without an encoder: what each row's CPU has on top of the encoder's.
  # shellcheck disable=SC2086
  /usr/bin/time -f '%U %S' -o "$work/base" ffmpeg -nostdin -v error -y $source -pix_fmt yuv420p -f null -
  base=$(cpu_of "$work/base")
  recorder_size=
  for entry in "${settings[@]}"; do
    setting=${entry%%|*}
    read -r -a options <<<"${entry#*|}"
    encode "$source" 23 "${options[@]}"
    cpu=$(echo "$(cpu_of "$work/time") - $base" | bc -l)
    rss=$(echo "$(cut -d' ' -f3 "$work/time") / 1024" | bc -l)
    size=$(stat -c %s "$work/out.mp4")
    db=$(ssim_db)
    equal=$db
    if [ -z "$recorder_size" ]; then
      recorder_size=$size
    elif [ "$size" -ne "$recorder_size" ]; then
      # Steps of 2 in CRF towards the recorder's size until they pass it, then read off between
      # the last two encodings.
      step=-2
      [ "$size" -gt "$recorder_size" ] && step=2
      crf=23 near_size=$size near_db=$db
      for _ in 1 2 3 4; do
        crf=$((crf + step))
        encode "$source" "$crf" "${options[@]}"
        far_size=$(stat -c %s "$work/out.mp4") far_db=$(ssim_db)
        if (((far_size - recorder_size) * (near_size - recorder_size) <= 0)); then break; fi
        near_size=$far_size near_db=$far_db
      done
      equal=$(at_size "$recorder_size" "$near_size" "$near_db" "$far_size" "$far_db")
    fi
    printf '%-22s %-14s %7.2f %8.1f %9d %8s %13s\n' "$name" "$setting" "$cpu" "$rss" $((size / 1024)) "$db" "$equal"
  done
  rm -f "$work/reference.nut"
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
