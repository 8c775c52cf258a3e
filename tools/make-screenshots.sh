#!/usr/bin/env bash
# Renders every layout of the skin to build/screenshots/<layout>.png with skin-preview (no display).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build/default}"
out="$root/build/screenshots"
cmake --build "$build" --target skin-preview -j "${JOBS:-2}"
mkdir -p "$out"
export QT_QPA_PLATFORM=offscreen
for layout in MainWnd.xml FloatWnd.xml MessageWnd.xml audio_list_item.xml camera_list_item.xml file_list_item.xml; do
  "$build/tools/skin-preview/skin-preview" "$layout" "$out/${layout%.xml}.png"
  echo "wrote $out/${layout%.xml}.png"
done
