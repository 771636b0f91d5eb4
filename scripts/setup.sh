#!/usr/bin/env bash
# Installs what Sonavelt needs on Debian 12, from Debian's packages, then
# configures and builds into build/.
#   scripts/setup.sh            every list below, then the whole build with the tests
#   scripts/setup.sh --demo     RUN_PACKAGES only, then sonavelt-cli and its install
#                               folder (scripts/demo.sh); a new build/ gets neither
#                               the wizard nor the tests
#   SONAVELT_SKIP_PACKAGES=1    build only
#   SONAVELT_PACKAGES_ONLY=1    install packages only
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

MODE=all
[ "${1:-}" = --demo ] && MODE=demo

# What building and running sonavelt-cli need (scripts/demo.sh installs only these).
RUN_PACKAGES=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev
  libcurl4-openssl-dev
  # sound formats (MP3, FLAC, Ogg, AIFF, wide WAVE) and the browser copies
  libsndfile1-dev libmpg123-dev libsoxr-dev libopus-dev libogg-dev
  # the applet class file the run puts beside the page
  default-jdk-headless
  # the demo decodes the resource file with it
  python3
)

# What the wizard adds: its sound previews and its icon.
WIZARD_PACKAGES=(
  qt6-base-dev-tools qt6-multimedia-dev libqt6svg6
)

# What the tests, the benchmarks and the Debian package add (scripts/test.sh,
# scripts/package.sh and CI install every list).
TEST_PACKAGES=(
  git
  # the browser copies' tests decode them as a player would
  libopusfile-dev
  # tests: GoogleTest, Qt Test (in qt6-base-dev), a real FTP server, a real browser,
  # an X server for window screenshots, sound tools
  libgtest-dev libgmock-dev
  python3-pyftpdlib vsftpd openssl openssh-server
  # the publishing benchmark compares against lftp
  lftp
  chromium chromium-driver xvfb xauth
  # the wizard walked on a virtual display: a window manager, key presses,
  # the clipboard, window pictures and root-window properties
  openbox xdotool xclip x11-apps x11-utils
  sox ffmpeg time
  # the Opus copy benchmark's reference encoder
  opus-tools
  # the page edit's referee: a standard HTML parser, and real pages (the HTML
  # documentation of these packages, a few hundred pages in all)
  python3-html5lib libxml2-doc debian-faq
  # sanitizers and fuzzing
  clang libclang-rt-14-dev
  # the browser player's tests: node's test runner driving chromium
  nodejs
  # the Debian package (scripts/package.sh) and its checks and test
  dpkg-dev fakeroot file librsvg2-bin lintian desktop-file-utils appstream
  man-db bash-completion
)

PACKAGES=("${RUN_PACKAGES[@]}")
if [ "$MODE" = all ]; then
  PACKAGES+=("${WIZARD_PACKAGES[@]}" "${TEST_PACKAGES[@]}")
  # A Node.js that brings its own npm conflicts with Debian's npm package.
  command -v npm >/dev/null 2>&1 || PACKAGES+=(npm)
fi

if [ "${SONAVELT_SKIP_PACKAGES:-0}" != 1 ]; then
  missing=()
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO=sudo
    echo "setup: installing ${missing[*]}" >&2
    $SUDO apt-get update
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
  fi
fi

# SONAVELT_PACKAGES_ONLY=1: only the packages (scripts/package.sh builds on its own).
[ "${SONAVELT_PACKAGES_ONLY:-0}" = 1 ] && exit 0

BUILD_DIR=${SONAVELT_BUILD_DIR:-build}
if [ "$MODE" = demo ]; then
  # A build folder set up before keeps its options (a developer's, with the
  # tests); the demo then builds only what it runs.
  options=()
  [ -f "$BUILD_DIR/CMakeCache.txt" ] || options=(-DSONAVELT_BUILD_GUI=OFF -DSONAVELT_BUILD_TESTS=OFF)
  cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=${SONAVELT_BUILD_TYPE:-RelWithDebInfo} "${options[@]}"
  cmake --build "$BUILD_DIR" -j "$(nproc)" --target sonavelt-cli sonavelt_data
  exit 0
fi

# playwright-core and axe-core for the browser player's tests, at the versions locked there.
# Again when a package was added since (axe-core came after playwright-core).
if [ ! -d tests/browser_player/node_modules/playwright-core ] ||
   [ ! -d tests/browser_player/node_modules/axe-core ]; then
  (cd tests/browser_player && npm ci --no-audit --no-fund)
fi

cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=${SONAVELT_BUILD_TYPE:-RelWithDebInfo} \
  -DSONAVELT_BUILD_GUI=ON -DSONAVELT_BUILD_TESTS=ON
cmake --build "$BUILD_DIR" -j "$(nproc)"
