#!/usr/bin/env bash
# make-desktop-screenshots.sh [BUILD_DIR]: the real program on a plain X11 desktop (openbox on the
# private display of with-test-env.sh, a blue desktop, the virtual camera), in each language of
# LANGS (default "zh en", set as LANGUAGE) once without and once with a compositing manager
# (xcompmgr; MODES="nocomp comp" by default), each window that matters captured as the user would
# see it:
#   build/desktop-screenshots/<lang>-<nocomp|comp>-<main|exit-prompt|count-down|sound-tab|
#   camera-tab|camera-hover|settings-tab|folder-chooser>.png
# A tool for looking at the windows, not a test: it waits fixed times for windows to settle.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build/default}"
out="$root/build/desktop-screenshots"
mkdir -p "$out"
if [ -z "${VEXA_TEST_ENV:-}" ]; then
  exec bash "$root/tools/with-test-env.sh" bash "$0" "$build"
fi

program="$build/bin/VexaRecorder"
work=$(mktemp -d /tmp/vexa-desktop-shots.XXXXXX)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

shot() { sleep "${2:-1}"; import -window root "$out/$1.png"; echo "wrote $out/$1.png"; }
# Clicks at (x, y) inside the window with class $1.
click_in() {
  local id geo
  id=$(xdotool search --classname "$1" | head -n 1)
  eval "$(xdotool getwindowgeometry --shell "$id")"
  xdotool mousemove $((X + $2)) $((Y + $3)) click 1
}

xsetroot -solid '#3a6ea5'
openbox >/dev/null 2>&1 &
pids+=($!)
sleep 1
export VEXA_VIRTUAL_CAMERA="YUYV:640x480@30"
for lang in ${LANGS:-zh en}; do
export LANGUAGE="$lang"
for mode in ${MODES:-nocomp comp}; do
  comp=""
  if [ "$mode" = comp ]; then
    xcompmgr >/dev/null 2>&1 &
    comp=$!
    sleep 1
  fi
  export HOME="$work/$lang-$mode"
  mkdir -p "$HOME/.config"
  "$program" &
  app=$!
  for _ in $(seq 1 100); do
    xdotool search --classname VexaRecorder_Main_Window >/dev/null 2>&1 && break
    sleep 0.1
  done
  shot "$lang-$mode-main" 2
  click_in VexaRecorder_Main_Window 936 25          # close: the exit prompt
  shot "$lang-$mode-exit-prompt"
  click_in MessageWnd 622 383                       # cancel
  sleep 0.5
  xdotool key F7                                    # start: the bar and the count-down
  shot "$lang-$mode-count-down" 1.2
  xdotool key Escape                                # taken back
  sleep 1
  click_in VexaRecorder_Main_Window 76 150          # the sound tab
  shot "$lang-$mode-sound-tab" 1
  click_in VexaRecorder_Main_Window 76 208          # the camera tab: its preview
  shot "$lang-$mode-camera-tab" 2
  if id=$(xdotool search --classname Tolvo_Camera_Wnd | head -n 1) && [ -n "$id" ]; then
    eval "$(xdotool getwindowgeometry --shell "$id")"
    xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2))
    sleep 0.5
    shot "$lang-$mode-camera-hover" 0.5
  fi
  click_in VexaRecorder_Main_Window 76 266          # settings, then the folder chooser
  shot "$lang-$mode-settings-tab" 1
  click_in VexaRecorder_Main_Window 805 105
  shot "$lang-$mode-folder-chooser" 1.5
  xdotool key Escape
  kill "$app" 2>/dev/null || true
  wait "$app" 2>/dev/null || true
  if [ -n "$comp" ]; then kill "$comp"; wait "$comp" 2>/dev/null || true; fi
done
done
