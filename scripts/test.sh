#!/usr/bin/env bash
# Sets up (packages and build) and runs every test.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
bash scripts/setup.sh
BUILD_DIR=${SONAVELT_BUILD_DIR:-build}
ctest --test-dir "$BUILD_DIR" --output-on-failure -j "$(nproc)" --timeout 600
