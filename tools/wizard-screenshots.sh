#!/usr/bin/env bash
# Starts the wizard under a virtual X server, lets it walk through its pages
# (two sound combinations) and a whole run on a copy of the sample page, and
# saves a picture of every page and dialog.
#   tools/wizard-screenshots.sh [FOLDER]     default: docs/screenshots
#   SONAVELT_BUILD_DIR=build-x ...           another build tree (default: build)
# Needs xvfb-run (Debian package xvfb). Uses settings folders of its own.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

BUILD_DIR=${SONAVELT_BUILD_DIR:-build}
OUT=${1:-docs/screenshots}
mkdir -p "$OUT"
OUT=$(cd "$OUT" && pwd)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/site" "$work/config" "$work/data" "$work/runtime"
chmod 700 "$work/runtime"
cp "$BUILD_DIR/share/sonavelt/samples/sample.htm" "$work/site/index.htm"

XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work/runtime" \
  xvfb-run -a -s "-screen 0 1280x1024x24" \
  "$BUILD_DIR/bin/sonavelt" --screenshots "$OUT" "$work/site/index.htm"
echo "pictures in $OUT:"
ls "$OUT"
