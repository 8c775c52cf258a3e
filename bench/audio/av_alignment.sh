#!/usr/bin/env bash
# Audio/video alignment of a screen recording with sound: runs vexa-av-align for SECONDS (default 30;
# 600 for the ten-minute drift check) in the test environment unless one is already there.
# Usage: bench/audio/av_alignment.sh [BUILD_DIR] [SECONDS]
set -euo pipefail
build=${1:-build/default}
seconds=${2:-30}
tool="$build/bench/audio/vexa-av-align"
[ -x "$tool" ] || { echo "av_alignment: $tool not built" >&2; exit 0; }
if [ -n "${VEXA_TEST_ENV:-}" ]; then
  exec "$tool" "$seconds"
fi
exec bash "$(dirname "$0")/../../tools/with-test-env.sh" "$tool" "$seconds"
