#!/usr/bin/env bash
# output_cost.sh BUILD_DIR [OTHER_RECORDER]: what writing the file costs. Records the whole
# 1920x1080 screen at 30 fps with moving content (vexa-test-motion) and the microphone, RUNS times
# (default 3) for DURATION seconds (default 30) each, and prints per run and as medians: CPU seconds
# per recorded second (the whole process, the stop and the finishing copy included), the file's bytes
# per recorded second, and the time from the end of the recording to the process's exit. With
# OTHER_RECORDER (another build's vexa-record) the two take turns, so both see the same machine.
# Expects the test environment of tools/with-test-env.sh (a display and the microphone "vexa_mic").
set -euo pipefail

[ $# -ge 1 ] || { echo "usage: $0 BUILD_DIR [OTHER_RECORDER]" >&2; exit 2; }
build=$(realpath "$1")
recorders=("$build/cli/vexa-record")
[ $# -ge 2 ] && recorders+=("$(realpath "$2")")
runs=${RUNS:-3}
duration=${DURATION:-30}
out=$(mktemp -d /tmp/vexa-output-cost.XXXXXX)
: "${DISPLAY:?output_cost: needs a display (tools/with-test-env.sh)}"

"$build/tools/test-motion/vexa-test-motion" --rate 30 >/dev/null 2>&1 &
motion=$!
trap 'kill $motion 2>/dev/null || true; rm -rf "$out"' EXIT
sleep 0.5

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

for run in $(seq 1 "$runs"); do
  for i in "${!recorders[@]}"; do
    dir="$out/$i-$run"
    mkdir -p "$dir"
    json=$(XDG_STATE_HOME="$out/state" "${recorders[$i]}" --fps 30 --mic vexa_mic --duration "$duration" --stats \
      --output-dir "$dir" 2>/dev/null | head -1)
    file=$(ls "$dir"/*.mp4)
    cpu=$(sed 's/.*"cpu_seconds":\([0-9.]*\).*/\1/' <<<"$json")
    stop=$(sed 's/.*"stop_seconds":\([0-9.]*\).*/\1/' <<<"$json")
    bytes=$(stat -c %s "$file")
    echo "$i $cpu $bytes $stop" >>"$out/results"
    awk -v r="${recorders[$i]}" -v n="$run" -v c="$cpu" -v b="$bytes" -v s="$stop" -v d="$duration" \
      'BEGIN { printf "%s run %d: %.3f CPU s per s, %.0f bytes per s, stop %.2f s\n", r, n, c / d, b / d, s }'
  done
done
for i in "${!recorders[@]}"; do
  cpu=$(awk -v i="$i" '$1 == i { print $2 }' "$out/results" | median)
  bytes=$(awk -v i="$i" '$1 == i { print $3 }' "$out/results" | median)
  awk -v r="${recorders[$i]}" -v c="$cpu" -v b="$bytes" -v d="$duration" \
    'BEGIN { printf "median of %s: %.3f CPU s per recorded s, %.0f bytes per recorded s\n", r, c / d, b / d }'
done
