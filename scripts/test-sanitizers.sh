#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer (the
# "asan" preset, into build-asan/) and runs the whole test suite there. Any
# sanitizer report ends the reporting process with a failure, so a test that
# meets one fails, also when the report comes from a program it started
# (sonavelt-cli inherits these settings).
# Run scripts/setup.sh first (packages); this script only builds and tests.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

BUILD_DIR=build-asan
cmake --preset asan >/dev/null
cmake --build "$BUILD_DIR" -j "$(nproc)"

export ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1:check_initialization_order=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
# The GUI tests run too: Qt (offscreen) gives no report here, so nothing is
# excluded. One leak is let through, inside one test: the SSH session libcurl
# abandons when a silent server keeps it from shutting down (tests/remote/CMakeLists.txt).

ctest --test-dir "$BUILD_DIR" --output-on-failure -j "$(nproc)" --timeout 900
