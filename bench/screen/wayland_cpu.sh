#!/usr/bin/env bash
# wayland_cpu.sh BUILD_DIR: CPU per recorded second at 1280x720 and 30 fps, with a client playing
# video in a 640x360 window (testsrc2 at 30 fps) and over a still screen:
#  - vexa-record through the ScreenCast portal and PipeWire, on the Wayland test bed (headless sway);
#  - GStreamer's pipewiresrc ! x264enc (veryfast, constant quality 23 = vexa-record's default
#    quality, no B-frames) on the same portal stream;
#  - vexa-record's X11 damage method on an Xvfb of the same size, with the same client through X11.
# "desktop side" is what the display server spends meanwhile (sway, the portal and PipeWire; Xvfb).
# DESKTOP=gnome records on the GNOME bed instead (headless mutter and GNOME's portal; its share
# dialog answered through the accessibility bus).
# Needs root and `tools/install-deps.sh --wayland-bed[-gnome]`; says so and does nothing otherwise.
set -uo pipefail
build=$(realpath "${1:?usage: $0 BUILD_DIR}")
root=$(cd "$(dirname "$0")/../.." && pwd)
vexa=$build/cli/vexa-record
duration=${DURATION:-10}
bed=$root/tools/wayland-bed
desktop=${DESKTOP:-sway}
if [ "$desktop" = gnome ] && { [ "$(id -u)" != 0 ] || ! command -v mutter >/dev/null; }; then
  echo "wayland_cpu: skipped (needs root and tools/install-deps.sh --wayland-bed-gnome)"
  exit 0
elif [ "$desktop" != gnome ] && { [ "$(id -u)" != 0 ] || ! command -v sway >/dev/null || [ ! -x /usr/local/libexec/xdpw-shm ]; }; then
  echo "wayland_cpu: skipped (needs root and tools/install-deps.sh --wayland-bed)"
  exit 0
fi

echo "== Wayland: portal + PipeWire on headless $([ "$desktop" = gnome ] && echo mutter || echo sway) 1280x720"
DESKTOP=$desktop DURATION=$duration BED_DIR=$bed timeout 600 "$bed/bed.sh" bash "$root/bench/screen/wayland_cpu.inner" "$vexa" 2>/dev/null

echo "== X11: damage method on Xvfb 1280x720"
out=$(mktemp -d /tmp/vexa-x11-cpu.XXXXXX)
: >"$out/display"
Xvfb -displayfd 3 -screen 0 1280x720x24 -nolisten tcp 3>"$out/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 1 100); do [ -s "$out/display" ] && break; sleep 0.05; done
export DISPLAY=":$(tr -d '\n' <"$out/display")"
hz=$(getconf CLK_TCK)
xvfb_ticks() { awk '{print $14 + $15}' "/proc/$xvfb/stat"; }
x11_run() {  # x11_run NAME
  local before after stats cpu file
  before=$(xvfb_ticks)
  XDG_CONFIG_HOME=$out/config XDG_STATE_HOME=$out/state "$vexa" --capture-method damage --no-sound --fps 30 \
    --duration "$duration" --stats --output-dir "$out" >"$out/$1.txt" 2>&1
  after=$(xvfb_ticks)
  stats=$(grep '^{' "$out/$1.txt")
  cpu=$(echo "$stats" | sed 's/.*"cpu_seconds":\([0-9.]*\).*/\1/')
  file=$(tail -1 "$out/$1.txt")
  awk -v n="vexa-record X11 damage, $1" -v c="$cpu" -v f="$(ffprobe -v error -select_streams v:0 -count_packets \
    -show_entries stream=nb_read_packets -of csv=p=0 "$file")" -v d="$(ffprobe -v error -show_entries \
    format=duration -of csv=p=0 "$file")" -v t=$((after - before)) -v hz="$hz" 'BEGIN {
    printf "%-34s %6.3f s CPU per recorded second (%d frames in %.1f s); desktop side %.3f s/s\n",
           n, c / d, f, d, t / hz / d }'
}
SDL_AUDIODRIVER=dummy ffplay -loglevel error -noborder -an -left 640 -top 0 -f lavfi \
  'testsrc2=size=640x360:rate=30' >/dev/null 2>&1 &
player=$!
sleep 2
x11_run moving
kill "$player"; wait "$player" 2>/dev/null
sleep 1
x11_run still
kill "$xvfb"; wait "$xvfb" 2>/dev/null
rm -rf "$out"
