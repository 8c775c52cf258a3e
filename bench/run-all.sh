#!/usr/bin/env bash
# Runs every benchmark of the default build: the Google Benchmark executables (bench_*), then the
# scripted ones (side-by-side screen recording). Results go to standard output.
# Expects the test environment of tools/with-test-env.sh (a display and a sound server).
set -uo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build/default}
status=0
for exe in $(find "$build/bench" -type f -name 'bench_*' -perm -u+x | sort); do
  echo "== $(basename "$exe")"
  "$exe" --benchmark_min_time=0.2 || status=1
done
for script in $(find bench -mindepth 2 -name '*.sh' | sort); do
  echo "== $script"
  bash "$script" "$build" || status=1
done
exit $status
