#!/usr/bin/env bash
# with-test-env.sh COMMAND...: runs COMMAND inside a private test environment and tears it down:
#  - a virtual X display (Xvfb, 1920x1080x24, MIT-SHM, DAMAGE, RandR) on a free display number;
#  - a private PulseAudio server with two null sinks as speakers ("vexa_speaker", "vexa_speaker2")
#    and a microphone ("vexa_mic") that plays a steady 440 Hz sine in real time.
# Exports DISPLAY, PULSE_SERVER, XDG_RUNTIME_DIR and VEXA_TEST_ENV=1 for the command.
# When DISPLAY is already set and VEXA_KEEP_DISPLAY=1, that display is used instead.
set -euo pipefail

work=$(mktemp -d /tmp/vexa-test-env.XXXXXX)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

start_display() {
  # Xvfb picks a free display number itself and writes it to the pipe, so that test runs that start
  # at the same moment never share a display.
  exec 9<> <(:)
  Xvfb -displayfd 9 -screen 0 1920x1080x24 -noreset -nolisten tcp +extension MIT-SHM +extension DAMAGE \
    +extension RANDR >"$work/xvfb.log" 2>&1 &
  pids+=($!)
  local n=""
  read -r -t 10 n <&9 || true
  exec 9<&-
  if [ -z "$n" ]; then
    echo "with-test-env: Xvfb did not start" >&2
    cat "$work/xvfb.log" >&2
    return 1
  fi
  export DISPLAY=":$n"
  for _ in $(seq 1 100); do
    xdpyinfo >/dev/null 2>&1 && return 0
    sleep 0.05
  done
  echo "with-test-env: Xvfb on $DISPLAY does not answer" >&2
  return 1
}

start_pulse() {
  export XDG_RUNTIME_DIR="$work/runtime"
  mkdir -m 700 -p "$XDG_RUNTIME_DIR"
  cat >"$work/default.pa" <<PA
load-module module-native-protocol-unix auth-anonymous=1 socket=$work/pulse.sock
load-module module-null-sink sink_name=vexa_speaker rate=48000 sink_properties=device.description=Test_Speaker
load-module module-null-sink sink_name=vexa_speaker2 rate=44100 sink_properties=device.description=Test_Speaker_2
load-module module-sine-source source_name=vexa_mic rate=48000 frequency=440
update-source-proplist vexa_mic device.description=Test_Microphone
set-default-sink vexa_speaker
set-default-source vexa_mic
PA
  HOME="$work" pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit=yes --use-pid-file=no \
    --log-target=file:"$work/pulse.log" -F "$work/default.pa" >/dev/null 2>&1 &
  pids+=($!)
  export PULSE_SERVER="unix:$work/pulse.sock"
  for _ in $(seq 1 100); do
    pactl info >/dev/null 2>&1 && return 0
    sleep 0.05
  done
  echo "with-test-env: PulseAudio did not start" >&2
  cat "$work/pulse.log" >&2 || true
  return 1
}

if [ "${VEXA_KEEP_DISPLAY:-0}" != 1 ] || [ -z "${DISPLAY:-}" ]; then
  start_display
fi
start_pulse
export VEXA_TEST_ENV=1
"$@"
