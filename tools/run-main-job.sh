#!/usr/bin/env bash
# The main job: the desktop program VexaRecorder.
#  - With a display: starts it (its window shows; quit from the close button or the tray).
#  - Without one: starts it under a private virtual display and sound server with moving content,
#    takes a screenshot of the desktop, records five seconds through the start/stop hotkey (F7),
#    and prints the paths of the screenshot and of the recording.
# Usage: run-main-job.sh [BUILD_DIR] (build/release, as `make run` builds it, unless given).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
program=$build/bin/VexaRecorder

if [ -n "${DISPLAY:-}" ] && [ "${VEXA_HEADLESS_RUN:-0}" != 1 ]; then
  exec "$program"
fi

headless() {
  set -euo pipefail
  out=$(realpath -m "${VEXA_OUTPUT_DIR:-recordings}")
  mkdir -p "$out"
  export HOME
  HOME=$(mktemp -d /tmp/vexa-run-home.XXXXXX)
  # Recordings go to "<documents>/Miravo文件": the documents folder is the output folder here.
  mkdir -p "$HOME/.config"
  printf 'XDG_DOCUMENTS_DIR="%s"\n' "$out" >"$HOME/.config/user-dirs.dirs"
  "$build"/tools/test-motion/vexa-test-motion --rate 10 2>/dev/null &
  mover=$!
  "$program" &
  app=$!
  for _ in $(seq 1 100); do
    xdotool search --classname VexaRecorder_Main_Window >/dev/null 2>&1 && break
    sleep 0.1
  done
  sleep 1
  shot="$out/VexaRecorder-screenshot.png"
  import -window root "$shot"
  echo "screenshot: $shot"
  before=$(find "$out" -name '*.mp4' 2>/dev/null | sort)
  xdotool key F7
  sleep 8   # the default three-second count-down, then five seconds of recording
  xdotool key F7
  file=""
  for _ in $(seq 1 50); do
    file=$(comm -13 <(printf '%s\n' "$before") <(find "$out" -name '*.mp4' | sort) | tail -n 1)
    [ -n "$file" ] && break
    sleep 0.2
  done
  if [ -n "$file" ]; then
    sleep 1
    echo "recording: $file"
    ffprobe -v error -show_entries format=duration,size:stream=codec_name,width,height \
      -of compact=p=0:nk=0 "$file" | tr '\n' ' '
    echo
  else
    echo "recording: none (the start/stop hotkey made no recording)"
  fi
  kill "$app" "$mover" 2>/dev/null || true
  wait "$app" 2>/dev/null || true
  rm -rf "$HOME"
}
export -f headless
export program build
exec bash tools/with-test-env.sh bash -c headless
