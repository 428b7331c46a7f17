#!/usr/bin/env bash
# Redraws the virtual module's pictures in docs/ (docs/virtual-module.md) from the demo's module,
# docs/modules/p10-outdoor.txt, and packs them small with ImageMagick.
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${PRESET:-dev}
cmake --preset "$preset" > /dev/null
cmake --build --preset "$preset" --target ledcard-sim-pictures
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
"build/$preset/simulator/ledcard-sim-pictures" docs/modules/p10-outdoor.txt "$out"
for f in "$out"/*.png; do
  convert "$f" -define png:compression-level=9 "docs/$(basename "$f")"
done
ls "$out"
