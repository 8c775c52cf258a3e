#!/usr/bin/env bash
# The layers include one way: platform -> engine, net, settings -> toolkit -> ui -> app; cli and
# tools build on platform, engine, net and settings (tools also on toolkit), never on ui or app.
# engine, net and settings never include Qt. Prints every include that runs against this
# order and fails when there is one. Usage: check-layers.sh [source root] (default: this checkout).
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}

declare -A allowed=(
  [platform]="platform"
  [engine]="platform engine"
  [net]="platform net"
  [settings]="platform settings"
  [toolkit]="platform engine net settings toolkit"
  [ui]="platform engine net settings toolkit ui"
  [app]="platform engine net settings toolkit ui app"
  [cli]="platform engine net settings cli"
  [tools]="platform engine net settings toolkit"
)
layers="platform engine net settings toolkit ui app cli"
no_qt="engine net settings"

faults=0
for folder in "${!allowed[@]}"; do
  [[ -d $root/$folder ]] || continue
  while IFS= read -r hit; do
    file=${hit%%:*}
    rest=${hit#*:}
    line=${rest%%:*}
    [[ ${rest#*:} =~ include[[:space:]]+\"([a-z_]+)/ ]] || continue
    target=${BASH_REMATCH[1]}
    # Only the project's own folders count; "tests/..." and generated headers are not layers.
    [[ " $layers " == *" $target "* ]] || continue
    if [[ " ${allowed[$folder]} " != *" $target "* ]]; then
      echo "${file#"$root"/}:$line: $folder/ includes $target/" >&2
      faults=$((faults + 1))
    fi
  done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]+"[a-z_]+/' "$root/$folder" \
             --include='*.h' --include='*.cpp' --include='*.in' || true)
done
for folder in $no_qt; do
  [[ -d $root/$folder ]] || continue
  while IFS= read -r hit; do
    file=${hit%%:*}
    rest=${hit#*:}
    echo "${file#"$root"/}:${rest%%:*}: $folder/ includes Qt" >&2
    faults=$((faults + 1))
  done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]+<Q' "$root/$folder" \
             --include='*.h' --include='*.cpp' || true)
done
if ((faults > 0)); then
  echo "check-layers: $faults include(s) against the layer order (docs/architecture.md)" >&2
  exit 1
fi
echo "check-layers: every include follows the layer order"
