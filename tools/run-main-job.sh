#!/usr/bin/env bash
# The main job: record 5 seconds of the screen with vexa-record and describe the file.
# Without a display, a virtual one with moving content is started first.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=build/default/cli/vexa-record

record() {
  local out
  out=$("$bin" --duration 5 --output-dir "${VEXA_OUTPUT_DIR:-recordings}" --stats)
  local file
  file=$(printf '%s\n' "$out" | tail -n 1)
  printf '%s\n' "$out" | head -n -1
  echo "$file"
  ffprobe -v error -show_entries format=duration,size:stream=codec_name,width,height \
    -of compact=p=0:nk=0 "$file" | tr '\n' ' '
  echo
}

if [ -z "${DISPLAY:-}" ]; then
  export -f record
  export bin
  exec bash tools/with-test-env.sh bash -c '
    build/default/tools/test-motion/vexa-test-motion --rate 10 2>/dev/null &
    mover=$!
    sleep 0.3
    record
    kill $mover'
fi
record
