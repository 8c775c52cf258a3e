#!/usr/bin/env bash
# side_by_side.sh BUILD_DIR [OUT_DIR]: records the same virtual 1920x1080 display with vexa-record
# and with ffmpeg's x11grab (libx264, veryfast, crf 23, 30 fps), once over a still screen and once
# over full-screen motion (ffplay playing testsrc2), and prints for each: CPU seconds per recorded
# second, their ratio, frames written, file size and peak resident memory; then the time from the
# stop request (SIGINT) to process exit after a longer recording.
#
# BUILD_DIR is the CMake build folder holding cli/vexa-record (for example build/default).
# Environment: DURATION (seconds per recording, default 20), STOP_AFTER (seconds recorded before
# the stop request, default 60; 0 skips that part), MOTION_SOURCE (ffplay | test-motion | none,
# default ffplay; test-motion is BUILD_DIR's vexa-test-motion painting at 30 Hz, far cheaper than
# ffplay on a machine short of processors), FPS (vexa-record's frame rate, default 30 like ffmpeg's;
# the recorder's own default is the stored choice, 20).
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
require_tools "$vexa" ffmpeg ffprobe Xvfb /usr/bin/time
mkdir -p "$out"

motion_pid=
start_motion() {
  case "$motion_source" in
    none) return ;;
    test-motion) "$build/tools/test-motion/vexa-test-motion" --rate 30 >"$out/motion.log" 2>&1 & ;;
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
  printf '%-7s %-7s %8.2f %10.3f %8s %12s %10.1f\n' "$scenario" "$recorder" "$cpu" \
    "${cpu_per_second[$scenario-$recorder]}" "$(frames_of "$file")" "$(stat -c %s "$file")" \
    "$(awk -v k="$rss" 'BEGIN { print k / 1024 }')"
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
echo "display $DISPLAY, $duration s per recording, results in $out"
printf '%-7s %-7s %8s %10s %8s %12s %10s\n' scene recorder cpu_s cpu/rec_s frames bytes rss_MiB

vexa_still=$(record_vexa still-vexa)
ffmpeg_still=$(record_ffmpeg still-ffmpeg)
report_line still vexa "$vexa_still"
report_line still ffmpeg "$ffmpeg_still"

start_motion
vexa_motion=$(record_vexa motion-vexa)
ffmpeg_motion=$(record_ffmpeg motion-ffmpeg)
report_line motion vexa "$vexa_motion"
report_line motion ffmpeg "$ffmpeg_motion"

ratio still 0.10
ratio motion 1.0
echo "vexa-record statistics:"
grep -h '^{' "$out/still-vexa.stdout" "$out/motion-vexa.stdout" | sed 's/^/  /' || true

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
