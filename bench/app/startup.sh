#!/usr/bin/env bash
# bench/app/startup.sh [BUILD_DIR] [RUNS]: the desktop program's start and idle cost.
#  - start: from exec to the main window mapped on the display (xdotool waits for it), per run;
#  - idle: CPU share of one core over 10 s with the window shown and nothing happening;
#  - memory: resident set at idle.
# Needs a display (run inside tools/with-test-env.sh). Each run uses a fresh HOME.
set -euo pipefail
build=${1:-build/default}
runs=${2:-5}
program=$(realpath "$build/bin/VexaRecorder")

ms_now() { date +%s%3N; }

for i in $(seq 1 "$runs"); do
  home=$(mktemp -d /tmp/vexa-bench-home.XXXXXX)
  start=$(ms_now)
  HOME=$home "$program" >/dev/null 2>&1 &
  pid=$!
  # xdotool's own --sync waits half a second between looks; look every 5 ms instead.
  until xdotool search --onlyvisible --classname VexaRecorder_Main_Window >/dev/null 2>&1; do sleep 0.005; done
  end=$(ms_now)
  echo "start run $i: $((end - start)) ms"
  if [ "$i" -eq "$runs" ]; then
    sleep 2
    ticks=$(getconf CLK_TCK)
    cpu() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
    before=$(cpu)
    sleep 10
    after=$(cpu)
    awk -v b="$before" -v a="$after" -v t="$ticks" 'BEGIN { printf "idle CPU: %.2f %% of one core\n", (a - b) / t / 10 * 100 }'
    echo "idle memory: $(awk '/VmRSS/ {printf "%.1f MB", $2 / 1024}' "/proc/$pid/status")"
  fi
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  rm -rf "$home"
done
