#!/usr/bin/env bash
# build.sh [OUT]: builds vinput, a virtual pointer and full-keymap virtual keyboard for a wlroots
# compositor (sway) or KWin (KDE fake input), driven by lines on stdin ("move X Y", "down", "up", "key CODE", "keydown CODE",
# "keyup CODE", "mods M", "sleep MS", "keymap small" / "keymap full"). Input reaches X11 programs through XWayland as a person's
# would, so a key can be held for a realistic time. Needs libwayland-dev, libwayland-bin and
# libxkbcommon-dev (`tools/install-deps.sh --wayland-bed`).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd); out=${1:-$here/vinput}
command -v wayland-scanner >/dev/null && pkg-config --exists wayland-client xkbcommon ||
  { echo "vinput: missing libwayland-dev/libwayland-bin/libxkbcommon-dev (tools/install-deps.sh --wayland-bed)" >&2; exit 1; }
[ "$out" -nt "$here/vinput.c" ] && [ "$out" -nt "$here/build.sh" ] && exit 0
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
for p in vkbd vptr kfake; do
  wayland-scanner client-header "$here/$p.xml" "$tmp/$p.h"
  wayland-scanner private-code "$here/$p.xml" "$tmp/$p.c"
done
cc -O2 -I"$tmp" -o "$out" "$here/vinput.c" "$tmp/vkbd.c" "$tmp/vptr.c" "$tmp/kfake.c" -lwayland-client -lxkbcommon
echo "$out"
