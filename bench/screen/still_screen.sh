#!/usr/bin/env bash
# still_screen.sh VEXA_RECORD|BUILD_DIR [OUT_DIR]: records a still 1920x1080 virtual screen (damage method)
# and prints, over the recording's steady part (from 5 s to 5 s before its end), the CPU seconds per
# recorded second and the wake-ups per second of the whole process (voluntary and involuntary context
# switches of all its threads), with the cursor recorded and with --no-cursor; then the same with a
# 200x40 rectangle repainted once a second (a clock), so its cost over the still screen shows.
# For the first recording of each scene it also prints, second by second from the start, the CPU
# milliseconds and the page faults (minor and major, /proc/PID/stat) of the process: the encoder's
# start-up cost shows there.
# Environment: DURATION (seconds recorded, default 30), PER_SECOND (seconds shown one by one, default
# 12; 0 for none).
set -euo pipefail
. "$(dirname "$0")/../lib.sh"

if [ $# -lt 1 ]; then
  echo "usage: $0 VEXA_RECORD [OUT_DIR]" >&2
  exit 2
fi
vexa=$(realpath "$1")
[ -d "$vexa" ] && vexa="$vexa/cli/vexa-record"
out=$(realpath -m "${2:-$(mktemp -d /tmp/vexa-still-screen.XXXXXX)}")
duration=${DURATION:-30}
per_second=${PER_SECOND:-12}
require_tools "$vexa" Xvfb python3
mkdir -p "$out"
start_xvfb "$out"

# CPU nanoseconds and context switches of every thread of a process.
sample() {
  local pid=$1 ns=0 switches=0 t s
  for t in /proc/"$pid"/task/*; do
    s=$(cut -d' ' -f1 "$t/schedstat" 2>/dev/null) || continue
    ns=$((ns + s))
    switches=$((switches + $(awk '/ctxt_switches/ { n += $2 } END { print n + 0 }' "$t/status" 2>/dev/null)))
  done
  echo "$ns $switches"
}

# Page faults (minor + major) of the whole process.
faults() {
  awk '{ print $10 + $12 }' /proc/"$1"/stat 2>/dev/null || echo 0
}

# Prints, for each of the first N seconds of the process, its CPU milliseconds and page faults.
per_second_table() {
  local pid=$1 n=$2 name=$3 i t0 t1 s f0 f1
  read -r t0 s < <(sample "$pid")
  f0=$(faults "$pid")
  for ((i = 1; i <= n; i++)); do
    sleep 1
    read -r t1 s < <(sample "$pid")
    f1=$(faults "$pid")
    printf '  %-20s second %2d: %6.1f ms CPU, %5d page faults\n' "$name" "$i" \
      "$(awk -v a="$t0" -v b="$t1" 'BEGIN { print (b - a) / 1e6 }')" "$((f1 - f0))"
    t0=$t1
    f0=$f1
  done
}

clock_pid=
start_clock() {
  # A 200x40 rectangle that changes colour once a second, like a clock in a corner.
  python3 - <<'PY' &
import ctypes, time
x = ctypes.CDLL("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
d = x.XOpenDisplay(None)
x.XDefaultRootWindow.restype = ctypes.c_ulong
root = x.XDefaultRootWindow(ctypes.c_void_p(d))
x.XCreateGC.restype = ctypes.c_void_p
gc = x.XCreateGC(ctypes.c_void_p(d), ctypes.c_ulong(root), 0, None)
n = 0
while True:
    n += 1
    x.XSetForeground(ctypes.c_void_p(d), ctypes.c_void_p(gc), ctypes.c_ulong(0x101010 * (n % 16)))
    x.XFillRectangle(ctypes.c_void_p(d), ctypes.c_ulong(root), ctypes.c_void_p(gc), 1700, 1030, 200, 40)
    x.XSync(ctypes.c_void_p(d), 0)
    time.sleep(1)
PY
  clock_pid=$!
  pids+=("$clock_pid")
}

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-22s %14s %12s\n' case cpu_s_per_s wakeups_per_s
for scene in still clock; do
  [ "$scene" = clock ] && start_clock
  for cursor in "" --no-cursor; do
    name="$scene${cursor:+ no-cursor}"
    "$vexa" --duration "$duration" --no-sound $cursor --output-dir "$out/rec" >"$out/out.txt" 2>&1 &
    pid=$!
    # The steady part: from 5 s (or the end of the table) to 5 s before the end.
    lead=5
    if [ -z "$cursor" ] && [ "$per_second" -gt 0 ]; then
      per_second_table "$pid" "$per_second" "$name" >"$out/per_second_$scene.txt"
      if [ "$per_second" -lt 5 ]; then sleep $((5 - per_second)); else lead=$per_second; fi
    else
      sleep 5
    fi
    steady=$((duration - 5 - lead))
    read -r t0 s0 < <(sample "$pid")
    sleep "$steady"
    read -r t1 s1 < <(sample "$pid")
    wait "$pid"
    awk -v t="$((t1 - t0))" -v s="$((s1 - s0))" -v d="$steady" -v n="$name" \
      'BEGIN { printf "%-22s %14.4f %12.1f\n", n, t / 1e9 / d, s / d }'
  done
done
if [ "$per_second" -gt 0 ]; then
  echo "second by second from the start (with the cursor):"
  cat "$out"/per_second_still.txt "$out"/per_second_clock.txt
fi
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
