#!/usr/bin/env bash
# side_by_side.sh BUILD_DIR [OUT_DIR]: records the same virtual 1920x1080 display with vexa-record
# and with ffmpeg's x11grab (libx264, veryfast, crf 23, 30 fps), once over a still screen and once
# over full-screen motion (ffplay playing testsrc2), and prints for each: CPU seconds per recorded
# second, their ratio, frames written, file size and peak resident memory; then the time from the
# stop request (SIGINT) to process exit after a longer recording.
# The numbered scene counts what each file really holds: `vexa-test-motion --numbered` scrolls a
# pattern with one XCopyArea a picture and stamps each picture's number as a bar code at the top
# and the bottom; count_pictures.py reads them back, and the scene reports distinct pictures kept,
# pictures torn (top and bottom differ) and CPU seconds per distinct picture, and the ratio of ours
# to ffmpeg's. Counting frames written would reward writing duplicates.
# The machine may be shared: each line carries the 1-minute load average when that recording ended.
#
# BUILD_DIR is the CMake build folder holding cli/vexa-record (for example build/default).
# Environment: DURATION (seconds per recording, default 20), STOP_AFTER (seconds recorded before
# the stop request, default 60; 0 skips that part), MOTION_SOURCE (ffplay | test-motion | none,
# default ffplay; test-motion is BUILD_DIR's vexa-test-motion painting at 30 Hz, far cheaper than
# ffplay on a machine short of processors), FPS (vexa-record's frame rate, default 30 like ffmpeg's;
# the recorder's own default is the stored choice, 20), SCENES (which scenes to record, default
# "still motion numbered").
# File sizes are not like for like: ffmpeg turns x11grab's BGR0 into 4:4:4 (High 4:4:4 Predictive),
# vexa-record encodes 4:2:0 (High).
# The script starts its own Xvfb and stops everything it started.
set -euo pipefail
. "$(dirname "$0")/../lib.sh"

if [ $# -lt 1 ]; then
  echo "usage: $0 BUILD_DIR [OUT_DIR]" >&2
  exit 2
fi
build=$(realpath "$1")
vexa=$build/cli/vexa-record
out=$(realpath -m "${2:-$(mktemp -d /tmp/vexa-side-by-side.XXXXXX)}")
duration=${DURATION:-20}
stop_after=${STOP_AFTER:-60}
motion_source=${MOTION_SOURCE:-ffplay}
fps=${FPS:-30}
scenes=" ${SCENES:-still motion numbered} "
motion_tool=$build/tools/test-motion/vexa-test-motion
counter=$(dirname "$(realpath "$0")")/count_pictures.py
require_tools "$vexa" ffmpeg ffprobe Xvfb /usr/bin/time python3
mkdir -p "$out"

motion_pid=
start_motion() {
  case "$motion_source" in
    none) return ;;
    test-motion) "$motion_tool" --rate 30 >"$out/motion.log" 2>&1 & ;;
    numbered) "$motion_tool" --numbered --rate 30 >"$out/motion.log" 2>&1 & ;;
    *) SDL_AUDIODRIVER=dummy ffplay -loglevel error -nostats -an -fs -noborder -left 0 -top 0 \
         -f lavfi "testsrc2=size=1920x1080:rate=30" </dev/null >"$out/motion.log" 2>&1 & ;;
  esac
  motion_pid=$!
  pids+=("$motion_pid")
  sleep 2  # the player's window is up and playing
}
stop_motion() {
  [ -n "$motion_pid" ] || return 0
  kill "$motion_pid" 2>/dev/null || true
  wait "$motion_pid" 2>/dev/null || true
  motion_pid=
}

frames_of() {
  ffprobe -v error -select_streams v:0 -count_packets -show_entries stream=nb_read_packets -of csv=p=0 "$1"
}

# run_timed NAME COMMAND...: runs the command under /usr/bin/time; leaves "$out/NAME.time" holding
# elapsed, user, system seconds and peak RSS in KiB.
run_timed() {
  local name=$1
  shift
  if ! /usr/bin/time -f '%e %U %S %M' -o "$out/$name.time" "$@" >"$out/$name.stdout" 2>"$out/$name.stderr"; then
    echo "side_by_side: $name failed: $(grep -v '^Command exited' "$out/$name.stderr" | tail -n 1)" >&2
    exit 1
  fi
  cut -d' ' -f1 /proc/loadavg >"$out/$name.load"
}

record_vexa() {
  local name=$1
  run_timed "$name" "$vexa" --duration "$duration" --fps "$fps" --stats --no-sound --output-dir "$out/$name.files"
  tail -n 1 "$out/$name.stdout"
}

record_ffmpeg() {
  local name=$1
  run_timed "$name" ffmpeg -nostdin -y -loglevel error -f x11grab -framerate 30 -video_size 1920x1080 \
    -i "$DISPLAY" -t "$duration" -c:v libx264 -preset veryfast -crf 23 "$out/$name.mp4"
  echo "$out/$name.mp4"
}

declare -A cpu_per_second
report_line() {
  local scenario=$1 recorder=$2 file=$3
  local elapsed user sys rss
  read -r elapsed user sys rss <"$out/$scenario-$recorder.time"
  local cpu
  cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }')
  cpu_per_second[$scenario-$recorder]=$(awk -v c="$cpu" -v d="$duration" 'BEGIN { print c / d }')
  printf '%-8s %-7s %8.2f %10.3f %8s %12s %10.1f %6s\n' "$scenario" "$recorder" "$cpu" \
    "${cpu_per_second[$scenario-$recorder]}" "$(frames_of "$file")" "$(stat -c %s "$file")" \
    "$(awk -v k="$rss" 'BEGIN { print k / 1024 }')" "$(cat "$out/$scenario-$recorder.load")"
}

# The numbered scene: distinct pictures in the file and CPU seconds per distinct picture.
declare -A cpu_per_picture
count_line() {
  local recorder=$1 file=$2 user sys counts distinct
  read -r _ user sys _ <"$out/numbered-$recorder.time"
  counts=$(python3 "$counter" "$file")
  distinct=$(sed -n 's/.*distinct=\([0-9]*\).*/\1/p' <<<"$counts")
  cpu_per_picture[$recorder]=$(awk -v u="$user" -v s="$sys" -v n="$distinct" 'BEGIN { print (n > 0 ? (u + s) / n : 0) }')
  printf 'numbered %-7s %s cpu_ms/picture=%.2f cores=%.3f (of %d source pictures)\n' "$recorder" "$counts" \
    "$(awk -v c="${cpu_per_picture[$recorder]}" 'BEGIN { print c * 1000 }')" \
    "${cpu_per_second[numbered-$recorder]}" $((duration * 30))
}

ratio() {
  local scenario=$1 target=$2
  awk -v v="${cpu_per_second[$scenario-vexa]}" -v f="${cpu_per_second[$scenario-ffmpeg]}" \
    -v s="$scenario" -v t="$target" \
    'BEGIN { if (f > 0) printf "%s: vexa-record / ffmpeg CPU = %.3f (target <= %s)\n", s, v / f, t }'
}

# stop_latency NAME COMMAND...: records for $stop_after seconds, sends SIGINT and prints the
# milliseconds until the process has exited.
stop_latency() {
  local name=$1
  shift
  # Job control gives the background recorder the default SIGINT disposition (a script's
  # background jobs would otherwise ignore it).
  set -m
  "$@" >"$out/$name.stdout" 2>"$out/$name.stderr" &
  local pid=$!
  set +m
  pids+=("$pid")
  sleep "$stop_after"
  local t0 t1 rc=0
  t0=$(date +%s%N)
  kill -INT "$pid"
  wait "$pid" || rc=$?
  t1=$(date +%s%N)
  printf '%s: %d ms from SIGINT to exit (exit status %d)\n' "$name" $(((t1 - t0) / 1000000)) "$rc"
}

start_xvfb "$out"
echo "display $DISPLAY, $duration s per recording, results in $out; load before: $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-8s %-7s %8s %10s %8s %12s %10s %6s\n' scene recorder cpu_s cpu/rec_s frames bytes rss_MiB load

if [[ $scenes == *" still "* ]]; then
  vexa_still=$(record_vexa still-vexa)
  ffmpeg_still=$(record_ffmpeg still-ffmpeg)
  report_line still vexa "$vexa_still"
  report_line still ffmpeg "$ffmpeg_still"
fi

if [[ $scenes == *" motion "* ]]; then
  start_motion
  vexa_motion=$(record_vexa motion-vexa)
  ffmpeg_motion=$(record_ffmpeg motion-ffmpeg)
  report_line motion vexa "$vexa_motion"
  report_line motion ffmpeg "$ffmpeg_motion"
  stop_motion
fi

if [[ $scenes == *" numbered "* ]]; then
  require_tools "$motion_tool"
  saved_source=$motion_source
  motion_source=numbered
  start_motion
  vexa_numbered=$(record_vexa numbered-vexa)
  ffmpeg_numbered=$(record_ffmpeg numbered-ffmpeg)
  stop_motion
  motion_source=$saved_source
  report_line numbered vexa "$vexa_numbered"
  report_line numbered ffmpeg "$ffmpeg_numbered"
  count_line vexa "$vexa_numbered"
  count_line ffmpeg "$ffmpeg_numbered"
  awk -v v="${cpu_per_picture[vexa]}" -v f="${cpu_per_picture[ffmpeg]}" \
    'BEGIN { if (f > 0) printf "numbered: vexa-record / ffmpeg CPU per distinct picture = %.3f (target <= 0.6)\n", v / f }'
fi

[[ $scenes == *" still "* ]] && ratio still 0.10
[[ $scenes == *" motion "* ]] && ratio motion 1.0
echo "vexa-record statistics:"
for scene in still motion numbered; do
  [ -f "$out/$scene-vexa.stdout" ] && grep -h '^{' "$out/$scene-vexa.stdout" | sed "s/^/  $scene: /"
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"

if [ "$stop_after" -gt 0 ]; then
  stop_latency stop-vexa "$vexa" --fps "$fps" --stats --no-sound --output-dir "$out/stop-vexa.files"
  stop_latency stop-ffmpeg ffmpeg -nostdin -y -loglevel error -f x11grab -framerate 30 -video_size 1920x1080 \
    -i "$DISPLAY" -c:v libx264 -preset veryfast -crf 23 "$out/stop-ffmpeg.mp4"
  stop_file=$(tail -n 1 "$out/stop-vexa.stdout")
  if [ -f "$stop_file" ]; then
    printf 'stop-vexa file: %s, duration %s s (target: finished within 1 s of the stop request)\n' \
      "$stop_file" "$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$stop_file")"
  fi
fi
stop_motion
