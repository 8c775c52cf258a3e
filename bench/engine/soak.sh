#!/usr/bin/env bash
# soak.sh BUILD_DIR [OUT_DIR]: one long recording of the whole 1920x1080 screen at 30 frames per
# second with moving content (vexa-test-motion) and sound (a tone played into the default speaker),
# sampling vexa-record's resident memory, threads and open descriptors every 10 seconds. Prints the
# memory after the warm-up, its lowest and highest value after it, the growth from the warm-up to the
# end, and what the file holds. Memory is flat when the growth stays within a few megabytes.
#
# Long: it runs only with VEXA_LONG_BENCH=1. SOAK_SECONDS (default 3600) is the recording's length,
# WARMUP_SECONDS (default 300) the part of it that does not count.
# Expects the test environment of tools/with-test-env.sh (a display and a sound server with the
# speaker "vexa_speaker").
set -euo pipefail
. "$(dirname "$0")/../lib.sh"

if [ "${VEXA_LONG_BENCH:-0}" != 1 ]; then
  echo "soak: skipped (one hour long; set VEXA_LONG_BENCH=1 to run it)"
  exit 0
fi
[ $# -ge 1 ] || { echo "usage: $0 BUILD_DIR [OUT_DIR]" >&2; exit 2; }
build=$(realpath "$1")
out=$(realpath -m "${2:-$(mktemp -d /tmp/vexa-soak.XXXXXX)}")
seconds=${SOAK_SECONDS:-3600}
warmup=${WARMUP_SECONDS:-300}
mkdir -p "$out/recordings" "$out/state"
: "${DISPLAY:?soak: needs a display (tools/with-test-env.sh)}"

"$build/tools/test-motion/vexa-test-motion" --rate 30 >"$out/motion.log" 2>&1 &
pids+=($!)
ffmpeg -nostdin -loglevel error -re -f lavfi -i "sine=frequency=440:sample_rate=48000" -t $((seconds + 30)) \
  -f pulse -device vexa_speaker soak-tone >"$out/tone.log" 2>&1 &
pids+=($!)
sleep 1

XDG_STATE_HOME="$out/state" "$build/cli/vexa-record" --fps 30 --speaker vexa_speaker --stats \
  --duration "$seconds" --output-dir "$out/recordings" >"$out/record.out" 2>"$out/record.err" &
rec=$!
echo "seconds,rss_kb,threads,fds" >"$out/samples.csv"
start=$(date +%s)
while kill -0 "$rec" 2>/dev/null; do
  now=$(( $(date +%s) - start ))
  rss=$(awk '/^VmRSS/ {print $2}' "/proc/$rec/status" 2>/dev/null || echo "")
  threads=$(awk '/^Threads/ {print $2}' "/proc/$rec/status" 2>/dev/null || echo "")
  fds=$(ls "/proc/$rec/fd" 2>/dev/null | wc -l)
  [ -n "$rss" ] && echo "$now,$rss,$threads,$fds" >>"$out/samples.csv"
  sleep 10
done
wait "$rec" && rc=0 || rc=$?

echo "soak: $seconds s at 1920x1080, 30 fps, with sound; exit code $rc; samples in $out/samples.csv"
awk -F, -v w="$warmup" 'NR > 1 && $1 >= w {
    if (!seen) { first = $2; lo = $2; hi = $2; seen = 1 }
    if ($2 < lo) lo = $2; if ($2 > hi) hi = $2; last = $2; t = $3; f = $4 }
  END {
    if (!seen) { print "soak: no sample after the warm-up"; exit }
    printf "resident memory after %d s: %.1f MB; lowest %.1f MB, highest %.1f MB, at the end %.1f MB\n", w, first / 1024, lo / 1024, hi / 1024, last / 1024
    printf "growth from the warm-up to the end: %+.1f MB (highest - warm-up: %+.1f MB)\n", (last - first) / 1024, (hi - first) / 1024
    printf "threads at the end: %d, descriptors: %d\n", t, f }' "$out/samples.csv"
echo "statistics: $(head -1 "$out/record.out")"
file=$(tail -1 "$out/record.out")
if [ -f "$file" ]; then
  echo "file: $file, $(stat -c %s "$file") bytes"
  ffprobe -v error -show_entries format=duration:stream=codec_name,duration -of compact "$file"
fi
