#!/usr/bin/env bash
# Runs every libFuzzer target (executables named fuzz_*) under a fuzz build folder for a fixed number
# of runs and prints how many executions each ran clean. Exit status is non-zero when any target
# found a crash, a leak or a sanitizer report.
#   usage: tools/run-fuzzers.sh [build-folder] [runs]    (defaults: build/fuzz 200000)
set -uo pipefail

build=${1:-build/fuzz}
runs=${2:-200000}
status=0
found=0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

while IFS= read -r target; do
  found=1
  name=$(basename "$target")
  log="$work/$name.log"
  mkdir -p "$work/$name.corpus"
  # Crash files go to the scratch folder, not into the source tree.
  if "$target" -runs="$runs" -artifact_prefix="$work/$name-" "$work/$name.corpus" >"$log" 2>&1; then
    done_line=$(grep -E '^Done [0-9]+ runs' "$log" | tail -1)
    echo "$name: clean, ${done_line:-no summary}"
  else
    status=1
    echo "$name: FAILED after $(grep -cE '^#[0-9]+' "$log") progress lines; last output:"
    tail -n 30 "$log"
  fi
done < <(find "$build" -type f -name 'fuzz_*' -perm -u+x | sort)

if [ "$found" -eq 0 ]; then
  echo "run-fuzzers: no fuzz_* executables under $build (configure with the fuzz preset first)" >&2
  exit 1
fi
exit "$status"
