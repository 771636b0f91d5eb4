#!/usr/bin/env bash
# Times `sonavelt-cli convert` against the reference loop, sox and ffmpeg.
#
#   bench/run-convert-bench.sh [--quick] [other convert-bench.sh options]
#
# Builds sonavelt-cli in build-bench/ (RelWithDebInfo, the project's default)
# unless SONAVELT_CLI names a program, then runs convert-bench.sh, found at
# $CONVERT_BENCH or ../shared/bench/convert-bench.sh beside this checkout.
# Results and how to read them: bench/README.md. Never part of the tests.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
ROOT=$PWD
BENCH=${CONVERT_BENCH:-$ROOT/../shared/bench/convert-bench.sh}
[ -x "$BENCH" ] || { echo "run-convert-bench: $BENCH not found (set CONVERT_BENCH)" >&2; exit 2; }
CLI=${SONAVELT_CLI:-}
if [ -z "$CLI" ]; then
    cmake -S "$ROOT" -B "$ROOT/build-bench" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DSONAVELT_BUILD_TESTS=OFF -DSONAVELT_BUILD_GUI=OFF >/dev/null
    cmake --build "$ROOT/build-bench" --target sonavelt-cli -j 2 >/dev/null
    CLI=$ROOT/build-bench/bin/sonavelt-cli
fi
exec "$BENCH" "$@" "$CLI"
