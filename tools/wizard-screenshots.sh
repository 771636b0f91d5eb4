#!/usr/bin/env bash
# Starts the wizard under a virtual X server, lets it walk through its pages
# (two sound combinations) and a whole run on a copy of the sample page, and
# saves a picture of every page and dialog: the build tree's
# sonavelt-screenshot-tour (tools/screenshot_tour), which is the wizard with a
# tour driving it instead of the user.
#   tools/wizard-screenshots.sh [FOLDER]     default: docs/screenshots
#   SONAVELT_BUILD_DIR=build-x ...           another build tree (default: build)
#   QT_SCALE_FACTOR=2 ...                    the pictures at 200 %
# The pictures show the paths of an example user, not this machine's: the
# tour is copied to /opt/sonavelt and the page to /home/alice/site, both
# seen only by the wizard, in a mount namespace of its own (unshare; as root,
# or where user namespaces are allowed). Without one, the paths of a scratch
# folder show instead. Needs xvfb-run (Debian package xvfb). Uses settings
# folders of its own.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

BUILD_DIR=${SONAVELT_BUILD_DIR:-build}
OUT=${1:-docs/screenshots}
mkdir -p "$OUT"
OUT=$(cd "$OUT" && pwd)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home/alice/site" "$work/opt/sonavelt/bin" "$work/opt/sonavelt/share" "$work/out"
tour=$BUILD_DIR/tools-bin/sonavelt-screenshot-tour
[ -x "$tour" ] || { echo "$tour is not built (cmake --build $BUILD_DIR --target sonavelt-screenshot-tour)" >&2; exit 1; }
cp "$tour" "$work/opt/sonavelt/bin/"
cp -r "$BUILD_DIR/share/sonavelt" "$work/opt/sonavelt/share/"
cp "$BUILD_DIR/share/sonavelt/samples/sample.htm" "$work/home/alice/site/index.htm"

# Runs the wizard with HOME=$1 and the program in $2.
cat >"$work/tour.sh" <<'TOUR'
set -euo pipefail
home=$1 prefix=$2 out=$3 runtime=$4
export HOME=$home XDG_CONFIG_HOME=$home/.config XDG_DATA_HOME=$home/.local/share
export XDG_RUNTIME_DIR=$runtime
unset BROWSER
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
cd "$home"
xvfb-run -a -s "-screen 0 2560x2048x24" "$prefix/bin/sonavelt-screenshot-tour" "$out" "$home/site/index.htm"
TOUR

if [ "$(id -u)" = 0 ] && unshare -m true 2>/dev/null; then
  namespace=(unshare -m --propagation private)
elif unshare -rm true 2>/dev/null; then
  namespace=(unshare -rm --propagation private)
else
  namespace=()
fi
if [ ${#namespace[@]} -gt 0 ]; then
  "${namespace[@]}" bash -c 'mount --bind "$1/home" /home && mount --bind "$1/opt" /opt && \
      bash "$1/tour.sh" /home/alice /opt/sonavelt "$1/out" "$1/runtime"' _ "$work"
else
  echo "no mount namespace: the pictures show the paths under $work" >&2
  bash "$work/tour.sh" "$work/home/alice" "$work/opt/sonavelt" "$work/out" "$work/runtime"
fi
cp "$work"/out/*.png "$OUT"/
echo "pictures in $OUT:"
ls "$OUT"
