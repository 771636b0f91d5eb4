#!/usr/bin/env bash
# Installs what building and running sonavelt-cli need and builds it
# (scripts/setup.sh --demo), then shows Sonavelt's main job on the bundled
# material: a whole run on a copy of the sample page with the default sounds.
#   SONAVELT_DEMO_DIR   where the copy goes (default demo-output/)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
bash scripts/setup.sh --demo
BUILD_DIR=${SONAVELT_BUILD_DIR:-build}
CLI=$PWD/$BUILD_DIR/bin/sonavelt-cli
DATA=$PWD/$BUILD_DIR/share/sonavelt
OUT=${SONAVELT_DEMO_DIR:-demo-output}
mkdir -p "$OUT"
OUT=$(cd "$OUT" && pwd)

# The demo keeps its settings and work folders to itself, so it neither reads
# nor changes the choices a user has stored, and the install folder's sample
# page stays as shipped: the run edits a copy.
export XDG_CONFIG_HOME=$OUT/config
export XDG_DATA_HOME=$OUT/data
rm -rf "$OUT/page" "$OUT/config" "$OUT/data"
mkdir -p "$OUT/page"
cp "$DATA/samples/sample.htm" "$OUT/page/sample.htm"

echo "== sonavelt-cli run $OUT/page/sample.htm (four combinations, default sounds)"
"$CLI" run --yes --install-folder "$DATA" "$OUT/page/sample.htm"

echo
echo "== the page's folder"
ls -l "$OUT/page" "$OUT/page/audio"
echo
echo "== the block added to the page"
sed -n '/<br><center>/,/<\/center><br>/p' "$OUT/page/sample.htm"
echo
echo "== the resource file, decoded (each byte shifted right by one)"
python3 - "$OUT/page/sample.res" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
n = int.from_bytes(data[:4], "little")
text = bytes(b >> 1 for b in data[4:4 + n]).decode("ascii")
for i, field in enumerate(text.split(";")[:-1], 1):
    print(f"  {i:2} {field}")
PY
echo
HISTORY=$DATA/HISTORY
[ -d "$HISTORY" ] || HISTORY=$XDG_DATA_HOME/sonavelt/HISTORY
echo "== the settings page ($HISTORY/HIS_sample.htm), as text"
sed -e 's/<[^>]*>//g' -e '/^[[:space:]]*\r\?$/d' "$HISTORY/HIS_sample.htm"
echo
echo "== the stored choices ($XDG_CONFIG_HOME/Brindlecor/Sonavelt.ini)"
cat "$XDG_CONFIG_HOME/Brindlecor/Sonavelt.ini"
echo
echo "== a second run with the stored choices replaces the block in place"
"$CLI" run --yes --quiet --install-folder "$DATA" "$OUT/page/sample.htm"
echo "applet blocks in the page: $(grep -c '<applet' "$OUT/page/sample.htm")"
