#!/usr/bin/env bash
# polling_rate.sh VEXA_RECORD [OUT_DIR]: records full-screen motion (or a still screen) on a virtual
# 1920x1080 display whose X server offers no DAMAGE, so that any vexa-record polls, and prints the
# frames per second actually written, how many frame times lie less than half a period apart, their
# median spacing and the CPU seconds the recording took.
#
# VEXA_RECORD is a vexa-record binary; vexa-test-motion is taken from its build folder
# (../tools/test-motion/) unless MOTION names another one.
# Environment: DURATION (seconds recorded, default 10), FPS (default 30), MOTION_RATE (pictures a
# second the motion paints, default 30), RUNS (recordings, default 3), SCENE (motion | still,
# default motion).
# The script starts its own Xvfb and stops everything it started.
set -euo pipefail
. "$(dirname "$0")/../lib.sh"

if [ $# -lt 1 ]; then
  echo "usage: $0 VEXA_RECORD [OUT_DIR]" >&2
  exit 2
fi
vexa=$(realpath "$1")
motion=${MOTION:-$(dirname "$vexa")/../tools/test-motion/vexa-test-motion}
out=$(realpath -m "${2:-$(mktemp -d /tmp/vexa-polling-rate.XXXXXX)}")
duration=${DURATION:-10}
fps=${FPS:-30}
motion_rate=${MOTION_RATE:-30}
runs=${RUNS:-3}
scene=${SCENE:-motion}
require_tools "$vexa" "$motion" ffprobe Xvfb
mkdir -p "$out"

start_xvfb "$out" -extension DAMAGE

if [ "$scene" = still ]; then
  "$motion" --still >"$out/motion.log" 2>&1 &
else
  "$motion" --rate "$motion_rate" >"$out/motion.log" 2>&1 &
fi
pids+=($!)
sleep 1

echo "display $DISPLAY without DAMAGE, $scene scene (motion at $motion_rate Hz), $duration s at --fps $fps"
printf '%-4s %8s %9s %14s %14s %8s\n' run frames written/s 'gap<0.5P' 'gap median ms' cpu_s
for run in $(seq 1 "$runs"); do
  "$vexa" --duration "$duration" --fps "$fps" --stats --no-sound \
    --output-dir "$out/run$run" >"$out/run$run.stdout" 2>"$out/run$run.stderr"
  file=$(tail -n 1 "$out/run$run.stdout")
  cpu=$(grep -o '"cpu_seconds":[0-9.]*' "$out/run$run.stdout" | cut -d: -f2)
  ffprobe -v error -select_streams v:0 -show_entries packet=pts_time -of csv=p=0 "$file" |
    sort -g >"$out/run$run.times"
  awk 'NR > 1 { print $1 - last } { last = $1 }' "$out/run$run.times" | sort -g >"$out/run$run.gaps"
  awk -v d="$duration" -v fps="$fps" -v run="$run" -v cpu="$cpu" -v frames="$(wc -l <"$out/run$run.times")" '
    { g[NR] = $1; if ($1 < 0.5 / fps) ++short }
    END {
      median = NR > 0 ? g[int((NR + 1) / 2)] * 1000 : 0
      printf "%-4s %8d %9.2f %14d %14.1f %8s\n", run, frames, frames / d, short, median, cpu
    }' "$out/run$run.gaps"
done
