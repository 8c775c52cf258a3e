#!/usr/bin/env bash
# Renders every layout of the skin with skin-preview (no display), in each language of LANGS
# (default "zh en", set as LANGUAGE), to build/screenshots/<lang>-<layout>.png.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build/default}"
out="$root/build/screenshots"
cmake --build "$build" --target skin-preview vexa_translations -j "${JOBS:-2}"
mkdir -p "$out"
export QT_QPA_PLATFORM=offscreen
export VEXA_LOCALEDIR="$build/share/locale"
for lang in ${LANGS:-zh en}; do
  for layout in MainWnd.xml FloatWnd.xml MessageWnd.xml audio_list_item.xml camera_list_item.xml file_list_item.xml; do
    LANGUAGE="$lang" "$build/tools/skin-preview/skin-preview" "$layout" "$out/$lang-${layout%.xml}.png"
    echo "wrote $out/$lang-${layout%.xml}.png"
  done
done
