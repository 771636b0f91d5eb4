#!/usr/bin/env bash
# Mutation check for base/ and html/: makes each one-line change of the list
# below in a scratch copy of this tree, builds base_tests and html_tests there,
# runs them, and reports which mutants the tests let through. The checkout
# itself is never changed. Not part of the test run or CI; a survivor is a
# test to write (or a change that means nothing, to be taken off the list).
#   scripts/mutate.sh            every mutation (a build of the two rooms each)
#   SONAVELT_MUTATE_DIR=D        the scratch copy in D (default: a new folder
#                                under /tmp, removed at the end)
# Exit status 0 when every mutant was killed, 1 when one survived, 2 when the
# unchanged copy already fails its tests.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
SOURCE=$PWD

# file, the text as it is (exactly once in the file), the text it becomes.
MUTATIONS=(
  base/file_io.cpp "if (out.back() != '/') out += '/';" "out += '/';"
  base/file_io.cpp "if (folder.empty()) return std::string(name);" ""
  base/text.cpp "if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');"
                "if (c >= 'a' && c < 'z') c = static_cast<char>(c - 'a' + 'A');"
  base/text.cpp "while (n > 0 && IsWhiteSpace(text[n - 1])) --n;"
                "while (n > 1 && IsWhiteSpace(text[n - 1])) --n;"
  html/body_colour.cpp 'read.value.find_first_of(">\r\n")' 'read.value.find_first_of(">")'
  html/body_colour.cpp "if (c >= 'A' && c <= 'F') return c - 'A' + 10;"
                       "if (c >= 'A' && c < 'F') return c - 'A' + 10;"
  html/page_structure.cpp "first.element.offset + first.element.length > page.body_tag->offset"
                          "first.element.offset + first.element.length >= page.body_tag->offset"
  html/html_tokenizer.cpp "if (c == '>' && dashes >= 2) {" "if (c == '>' && dashes >= 3) {"
  html/html_tokenizer.cpp 'if (text_.substr(dashes + 2, 2) == "!>") {'
                          'if (text_.substr(dashes + 2, 2) == "!!") {'
  html/tag_scanner.cpp "while (end < v.size() && !IsWhiteSpace(v[end])) ++end;"
                       "while (end < v.size() && v[end] != ' ') ++end;"
)

if [ -n "${SONAVELT_MUTATE_DIR:-}" ]; then
  WORK=$SONAVELT_MUTATE_DIR
  mkdir -p "$WORK"
else
  WORK=$(mktemp -d /tmp/sonavelt-mutate.XXXXXX)
  trap 'rm -rf "$WORK"' EXIT
fi
COPY=$WORK/src
BUILD=$WORK/build

# The tree as it is now, uncommitted changes included, build folders not.
rm -rf "$COPY"
mkdir -p "$COPY"
git ls-files -z --cached --others --exclude-standard |
  (cd "$SOURCE" && xargs -0 tar -cf - --) | tar -xf - -C "$COPY"

cmake -S "$COPY" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DSONAVELT_BUILD_GUI=OFF -DSONAVELT_BUILD_TESTS=ON >"$WORK/configure.log"

# Builds and runs the two rooms' tests (html's include the standard parser's
# referee, which runs the page edit's driver and the program); 0 when all
# pass, 1 when one fails, 3 when the copy does not compile.
check() {
  cmake --build "$BUILD" -j "$(nproc)" --target base_tests html_tests page_edit_referee_driver \
    >"$WORK/build.log" 2>&1 || return 3
  local room
  for room in base html; do
    ctest --test-dir "$BUILD/tests/$room" --timeout 60 --stop-on-failure >"$WORK/test.log" 2>&1 || return 1
  done
}

# Replaces exactly one occurrence of $2 by $3 in file $1; 1 when $2 is not
# there exactly once (the code changed since the list was written).
replace_once() {
  python3 - "$@" <<'PY'
import sys
path, old, new = sys.argv[1:4]
text = open(path, encoding="latin-1").read()
if text.count(old) != 1:
    sys.exit(1)
open(path, "w", encoding="latin-1").write(text.replace(old, new))
PY
}

echo "mutate: building the unchanged copy in $WORK" >&2
status=0
check || status=$?
if [ $status -ne 0 ]; then
  echo "mutate: the unchanged copy fails its tests; nothing to measure" >&2
  tail -n 20 "$WORK/build.log" "$WORK/test.log" >&2 2>/dev/null || true
  exit 2
fi

killed=0 survived=0 stale=0
for ((i = 0; i < ${#MUTATIONS[@]}; i += 3)); do
  file=${MUTATIONS[i]} from=${MUTATIONS[i + 1]} to=${MUTATIONS[i + 2]}
  line="$file: '$from' -> '$to'"
  cp "$COPY/$file" "$WORK/original"
  if ! replace_once "$COPY/$file" "$from" "$to"; then
    echo "STALE     $line (not found exactly once)"
    stale=$((stale + 1))
    continue
  fi
  result=0
  check || result=$?
  cp "$WORK/original" "$COPY/$file"
  case $result in
    0) echo "SURVIVED  $line"; survived=$((survived + 1)) ;;
    3) echo "killed    $line (does not compile)"; killed=$((killed + 1)) ;;
    *) echo "killed    $line"; killed=$((killed + 1)) ;;
  esac
done
echo "mutate: $killed killed, $survived survived, $stale stale"
[ $survived -eq 0 ]
