#!/usr/bin/env bash
# make-metainfo-screenshots.sh [BUILD_DIR]: the software-centre screenshots the AppStream entry
# names (packaging/screenshots/<main|camera>.png), cut from the real program's windows that
# tools/make-desktop-screenshots.sh takes on the virtual display (1920x1080, the main window
# centred), in English. Run it again whenever the window changes (a new translation, a new skin); the default
# build is build/release, what the package ships.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build/release}"
LANGS=en MODES=comp bash "$root/tools/make-desktop-screenshots.sh" "$build"
shots="$root/build/desktop-screenshots"
out="$root/packaging/screenshots"
mkdir -p "$out"
# 16:9 frames around the window; the camera's preview window stands to the right of it.
convert "$shots/en-comp-main.png" -crop 1120x630+400+225 +repage -strip "$out/main.png"
convert "$shots/en-comp-camera-tab.png" -crop 1600x900+320+90 +repage -strip "$out/camera.png"
echo "wrote $out/main.png $out/camera.png"
