#!/usr/bin/env bash
# Builds the Debian package, sonavelt_<version>-<release>_<arch>.deb, into
# this folder: a build of its own in build-deb/ (Debian's hardening flags,
# no tests, the system-package install rules), then CPack's DEB generator,
# which strips the programs and takes the library dependencies from
# dpkg-shlibdeps.
#   scripts/package.sh            install build packages when missing, then build
#   SONAVELT_SKIP_PACKAGES=1      build only
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

SONAVELT_PACKAGES_ONLY=1 bash scripts/setup.sh

BUILD_DIR=${SONAVELT_DEB_BUILD_DIR:-build-deb}

# The flags Debian builds its packages with (hardening included); CMake reads
# no CPPFLAGS, so those go with the compiler flags.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
eval "$(dpkg-buildflags --export=sh)"
cmake -S . -B "$BUILD_DIR" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_INSTALL_PREFIX=/usr \
  -DCMAKE_C_FLAGS="$CFLAGS $CPPFLAGS" \
  -DCMAKE_CXX_FLAGS="$CXXFLAGS $CPPFLAGS" \
  -DCMAKE_EXE_LINKER_FLAGS="$LDFLAGS" \
  -DSONAVELT_BUILD_TESTS=OFF \
  -DSONAVELT_PACKAGE=ON
cmake --build "$BUILD_DIR" -j "$(nproc)"

rm -f "$BUILD_DIR"/sonavelt_*.deb
(cd "$BUILD_DIR" && cpack -G DEB)
rm -f sonavelt_*.deb
cp "$BUILD_DIR"/sonavelt_*.deb .
ls sonavelt_*.deb
