#!/usr/bin/env bash
# run-wayland-bed.sh BUILD_DIR [SCRIPT [ARGS...]]: runs the scripts of tests/wayland (each
# bed_*.sh, or with DESKTOP=kde each kde_*.sh, with DESKTOP=gnome each gnome_*.sh, or only SCRIPT) inside the Wayland test bed of
# tools/wayland-bed, a fresh bed for each: a private session bus, PipeWire, WirePlumber, and a
# headless sway at 1280x720 with XWayland and the wlr screen-sharing portal (DESKTOP=kde:
# kwin_wayland's virtual backend with XWayland and the KDE portal; DESKTOP=gnome: headless mutter with
# XWayland and the GNOME portal). A script gets BUILD_DIR's vexa-record, then BUILD_DIR, then ARGS.
# Before the beds come up the virtual keyboard and pointer (vinput) are built into
# BUILD_DIR/wayland-bed. `tools/install-deps.sh --wayland-bed` installs what the bed needs. Not
# part of `make test` (the bed's packages and its portal build are heavy): `make test-wayland-bed`
# runs it. Each run has a working folder of its own (see tools/wayland-bed/README.md).
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:?usage: $0 BUILD_DIR [SCRIPT [ARGS...]]}")
bed=$root/tools/wayland-bed
case ${DESKTOP:-sway} in kde | gnome) prefix=$DESKTOP ;; *) prefix=bed ;; esac
if [ -n "${2:-}" ]; then scripts=("$root/tests/wayland/$2"); else scripts=("$root"/tests/wayland/"$prefix"_*.sh); fi
mkdir -p "$build/wayland-bed"
bash "$bed/vinput/build.sh" "$build/wayland-bed/vinput" >/dev/null || exit 1
rc=0
for script in "${scripts[@]}"; do
  echo "== $(basename "$script")"
  # The bed runs as an unprivileged user: it must be able to read the program and the script.
  # A script's "# bed-env: VAR=VALUE ..." line sets up its bed (GNOME_MONITOR: the monitor's size).
  timeout 600 env $(sed -n 's/^# bed-env: //p' "$script") "$bed/bed.sh" bash "$script" "$build/cli/vexa-record" "$build" "${@:3}" || rc=1
done
exit $rc
