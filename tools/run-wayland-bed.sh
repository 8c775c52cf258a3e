#!/usr/bin/env bash
# run-wayland-bed.sh BUILD_DIR [SCRIPT]: runs a script of tests/wayland (default bed_record.sh) with
# BUILD_DIR's vexa-record inside the Wayland test bed: the shared bed.sh (its private session bus,
# PipeWire, WirePlumber, a headless sway at 1280x720 with XWayland and the wlr screen-sharing
# portal, built to share a GPU-less screen). `tools/install-deps.sh --wayland-bed` installs what it
# needs. Not part of `make test` (the bed's packages and its portal build are heavy): `make
# test-wayland-bed` runs it. WAYLAND_BED_DIR overrides where bed.sh is.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:?usage: $0 BUILD_DIR [SCRIPT]}")
script=$root/tests/wayland/${2:-bed_record.sh}
bed=${WAYLAND_BED_DIR:-}
if [ -z "$bed" ]; then
  for candidate in "$root/../shared/wayland-bed" /work/shared/wayland-bed; do
    [ -x "$candidate/bed.sh" ] && { bed=$candidate; break; }
  done
fi
[ -n "$bed" ] && [ -x "$bed/bed.sh" ] || { echo "run-wayland-bed: no bed.sh (set WAYLAND_BED_DIR)" >&2; exit 1; }
# The bed runs as an unprivileged user: it must be able to read the program and the script.
timeout 300 "$bed/bed.sh" "$script" "$build/cli/vexa-record" "${@:3}"
