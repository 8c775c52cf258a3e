#!/usr/bin/env bash
# run-wayland-bed.sh BUILD_DIR [SCRIPT [ARGS...]]: runs a script of tests/wayland (default
# bed_record.sh) inside the Wayland test bed of tools/wayland-bed (its private session bus,
# PipeWire, WirePlumber, a headless sway at 1280x720 with XWayland and the wlr screen-sharing
# portal, built to share a GPU-less screen). The script gets BUILD_DIR's vexa-record, then
# BUILD_DIR, then ARGS. Before the bed comes up the virtual keyboard and pointer (vinput) are built
# into BUILD_DIR/wayland-bed. `tools/install-deps.sh --wayland-bed` installs what the bed needs.
# Not part of `make test` (the bed's packages and its portal build are heavy): `make
# test-wayland-bed` runs it. Each run has a working folder of its own (see tools/wayland-bed).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:?usage: $0 BUILD_DIR [SCRIPT [ARGS...]]}")
script=$root/tests/wayland/${2:-bed_record.sh}
bed=$root/tools/wayland-bed
mkdir -p "$build/wayland-bed"
bash "$bed/vinput/build.sh" "$build/wayland-bed/vinput" >/dev/null
# The bed runs as an unprivileged user: it must be able to read the program and the script.
timeout 600 "$bed/bed.sh" bash "$script" "$build/cli/vexa-record" "$build" "${@:3}"
