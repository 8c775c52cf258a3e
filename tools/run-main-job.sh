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
    # Moving content: the root window changes colour five times a second.
    (while true; do for c in red green blue orange purple; do xsetroot -solid $c; sleep 0.2; done; done) &
    mover=$!
    record
    kill $mover'
fi
record
