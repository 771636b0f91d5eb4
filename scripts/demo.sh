#!/usr/bin/env bash
# Sets up (packages and build), then shows Sonavelt's main job on the bundled
# material: the default sounds converted into the player's .au format.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
bash scripts/setup.sh
BUILD_DIR=${SONAVELT_BUILD_DIR:-build}
CLI=$BUILD_DIR/bin/sonavelt-cli
DATA=$BUILD_DIR/share/sonavelt
OUT=${SONAVELT_DEMO_DIR:-demo-output}
mkdir -p "$OUT"
for wav in "$DATA"/audio/*/*.wav; do
  "$CLI" convert "$wav" "$OUT/$(basename "${wav%.wav}").au"
  echo "converted $wav -> $OUT/$(basename "${wav%.wav}").au"
done
ls -l "$OUT"
