#!/usr/bin/env bash
# Installs everything Sonavelt needs to build, run and test on Debian 12, from
# Debian's packages, then configures and builds into build/.
#   scripts/setup.sh            install packages (when missing) and build
#   SONAVELT_SKIP_PACKAGES=1    build only
#   SONAVELT_PACKAGES_ONLY=1    install packages only
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

PACKAGES=(
  # build
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev libqt6svg6
  libcurl4-openssl-dev
  # sound formats (MP3, FLAC, Ogg, AIFF, wide WAVE) and the browser copies
  libsndfile1-dev libmpg123-dev libsoxr-dev
  # tests: GoogleTest, Qt Test (in qt6-base-dev), a real FTP server, a real browser,
  # an X server for window screenshots, sound tools, a Java compiler for the applet
  libgtest-dev libgmock-dev
  python3 python3-pyftpdlib vsftpd openssl openssh-server
  # the publishing benchmark compares against lftp
  lftp
  chromium chromium-driver xvfb xauth
  # the wizard walked on a virtual display: a window manager, key presses,
  # the clipboard, window pictures and root-window properties
  openbox xdotool xclip x11-apps x11-utils
  sox ffmpeg time
  # the Opus copy benchmark's reference encoder
  opus-tools
  default-jdk-headless
  # sanitizers and fuzzing
  clang libclang-rt-14-dev
  # the browser player's tests: node's test runner driving chromium
  nodejs
  # the Debian package (scripts/package.sh) and its checks and test
  dpkg-dev fakeroot file librsvg2-bin lintian desktop-file-utils appstream
  man-db bash-completion
)
# A Node.js that brings its own npm conflicts with Debian's npm package.
command -v npm >/dev/null 2>&1 || PACKAGES+=(npm)

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

# playwright-core for the browser player's tests, at the version locked there.
if [ ! -d tests/browser_player/node_modules ]; then
  (cd tests/browser_player && npm ci --no-audit --no-fund)
fi

BUILD_DIR=${SONAVELT_BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=${SONAVELT_BUILD_TYPE:-RelWithDebInfo}
cmake --build "$BUILD_DIR" -j "$(nproc)"
