#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, the "fuzz" preset, into build-fuzz/) and
# runs each for a set time, one after the other.
#   scripts/fuzz.sh                 every target, 60 s each
#   scripts/fuzz.sh 600             every target, ten minutes each (the full campaign)
#   scripts/fuzz.sh 120 url page_edit
# Working corpora grow in build-fuzz/corpus/<target> (seeded from
# tests/fuzz/corpus/<target>); a crashing input lands in
# build-fuzz/artifacts/<target>/. Keep it as tests/fuzz/regressions/<target>/<name>
# once fixed, so every test run replays it. Exits non-zero when a target failed.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

SECONDS_EACH=${1:-60}
shift || true
ALL=(wave_reader au_reader page_edit body_colour resource_text url ftp_address listing_parser)
TARGETS=("$@")
[ ${#TARGETS[@]} -gt 0 ] || TARGETS=("${ALL[@]}")
JOBS=${SONAVELT_FUZZ_BUILD_JOBS:-2}

[ -f build-fuzz/CMakeCache.txt ] || cmake --preset fuzz >/dev/null || exit 1
cmake --build build-fuzz -j "$JOBS" --target "${TARGETS[@]/#/fuzz_}" || exit 1

# Any sanitizer report is a failure, with a stack for UBSan's.
export ASAN_OPTIONS=${ASAN_OPTIONS:-halt_on_error=1:abort_on_error=1:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}

failed=()
for t in "${TARGETS[@]}"; do
  corpus=build-fuzz/corpus/$t
  artifacts=build-fuzz/artifacts/$t
  mkdir -p "$corpus" "$artifacts"
  echo "fuzz: $t for ${SECONDS_EACH}s" >&2
  if ! build-fuzz/fuzz-bin/fuzz_"$t" -max_total_time="$SECONDS_EACH" -max_len=8192 \
        -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$artifacts/" "$corpus" "tests/fuzz/corpus/$t" \
        >"build-fuzz/fuzz-$t.log" 2>&1; then
    failed+=("$t")
    echo "fuzz: $t FAILED, see build-fuzz/fuzz-$t.log and $artifacts/" >&2
  fi
  grep -E "^(stat::number_of_executed_units|stat::new_units_added)" "build-fuzz/fuzz-$t.log" >&2
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz: failed: ${failed[*]}" >&2
  exit 1
fi
echo "fuzz: ${#TARGETS[@]} targets ran ${SECONDS_EACH}s each without a finding" >&2
