#!/usr/bin/env bash
# Builds the Debian package (scripts/package.sh), checks it (lintian,
# desktop-file-validate, appstreamcli validate, its contents and
# dependencies), then installs it with apt-get, uses the installed programs as
# a user would, with no build folder involved, and removes it again, also
# when a check fails. Needs root, or sudo.
#   scripts/test-package.sh          build, check, install, use, remove
#   SONAVELT_SKIP_PACKAGES=1         do not install build packages
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
APT=(env DEBIAN_FRONTEND=noninteractive $SUDO apt-get -o DPkg::Lock::Timeout=600 -y -q)

fail() { echo "test-package: FAIL: $*" >&2; exit 1; }
step() { echo "test-package: $*" >&2; }

bash scripts/package.sh
debs=(sonavelt_*.deb)
[ ${#debs[@]} -eq 1 ] || fail "expected one package, found: ${debs[*]}"
deb=${debs[0]}
version=$(dpkg-deb -f "$deb" Version)
upstream=${version%-*}

work=$(mktemp -d "${TMPDIR:-/tmp}/sonavelt-package-test.XXXXXX")
installed_by_us=0
clean_up() {
  local status=$?
  if [ $installed_by_us = 1 ]; then
    step "removing the package"
    "${APT[@]}" purge sonavelt >/dev/null || status=1
  fi
  # The run as root (through sudo) left root's files in $work.
  $SUDO rm -rf "$work"
  [ $status = 0 ] && step "passed" || step "failed"
  exit $status
}
trap clean_up EXIT

# --- The package file ---------------------------------------------------------
step "lintian $deb"
# Errors fail; warnings and the rest are shown.
lintian --fail-on error --display-info "$deb" || fail "lintian reports errors"

step "contents"
dpkg-deb -x "$deb" "$work/tree"
for path in usr/bin/sonavelt usr/bin/sonavelt-cli \
    usr/share/sonavelt/SonaveltRandomEventBackground.class \
    usr/share/sonavelt/samples/sample.htm usr/share/sonavelt/player/sonavelt-player.js \
    usr/share/sonavelt/help/index.html usr/share/sonavelt/system-wide \
    usr/share/applications/com.brindlecor.sonavelt.desktop \
    usr/share/metainfo/com.brindlecor.sonavelt.metainfo.xml \
    usr/share/icons/hicolor/scalable/apps/sonavelt.svg \
    usr/share/icons/hicolor/16x16/apps/sonavelt.png usr/share/icons/hicolor/48x48/apps/sonavelt.png \
    usr/share/icons/hicolor/256x256/apps/sonavelt.png \
    usr/share/man/man1/sonavelt.1.gz usr/share/man/man1/sonavelt-cli.1.gz \
    usr/share/bash-completion/completions/sonavelt-cli \
    usr/share/doc/sonavelt/copyright usr/share/doc/sonavelt/changelog.Debian.gz; do
  [ -e "$work/tree/$path" ] || fail "the package lacks /$path"
done
ls "$work"/tree/usr/share/sonavelt/audio/*/*.wav >/dev/null 2>&1 || fail "the package has no shipped sounds"
# Nothing a run in the build tree leaves behind.
for leftover in Cache HISTORY; do
  [ ! -e "$work/tree/usr/share/sonavelt/$leftover" ] || fail "the package holds /usr/share/sonavelt/$leftover"
done
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libc6 libqt6core6 libqt6widgets6 libqt6multimedia6 libcurl4 libqt6svg6; do
  [[ $depends == *"$lib"* ]] || fail "Depends lacks $lib: $depends"
done

step "desktop-file-validate, appstreamcli validate"
desktop-file-validate "$work/tree/usr/share/applications/com.brindlecor.sonavelt.desktop"
appstreamcli validate --no-net "$work/tree/usr/share/metainfo/com.brindlecor.sonavelt.metainfo.xml"
grep -q "<release version=\"$upstream\"" "$work/tree/usr/share/metainfo/com.brindlecor.sonavelt.metainfo.xml" ||
  fail "the metainfo's release is not $upstream"

# --- Installed ----------------------------------------------------------------
if dpkg-query -W -f='${Status}' sonavelt 2>/dev/null | grep -q "install ok installed"; then
  trap - EXIT
  rm -rf "$work"
  fail "sonavelt is installed on this machine already; remove it first"
fi
step "apt-get install ./$deb"
installed_by_us=1
# Recommends (sound backends for the wizard's previews) are left out, so that
# removing the package leaves the machine as it was.
"${APT[@]}" install --no-install-recommends "./$deb"

step "the installed programs"
[ "$(command -v sonavelt-cli)" = /usr/bin/sonavelt-cli ] || fail "sonavelt-cli is not /usr/bin/sonavelt-cli"
[ "$(/usr/bin/sonavelt-cli --version)" = "sonavelt-cli $upstream" ] ||
  fail "sonavelt-cli --version says '$(/usr/bin/sonavelt-cli --version)', the package is $version"
# The wizard starts (its libraries and Qt's platform plugin are there).
mkdir -p -m 700 "$work/runtime"
gui_version=$(QT_QPA_PLATFORM=offscreen HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" /usr/bin/sonavelt --version)
[ "$gui_version" = "Sonavelt $upstream" ] || fail "sonavelt --version says '$gui_version'"

manual=$(man -w sonavelt-cli) || fail "man -w sonavelt-cli finds no page"
[ "$manual" = /usr/share/man/man1/sonavelt-cli.1.gz ] || fail "man -w sonavelt-cli gives $manual"
man -w sonavelt >/dev/null || fail "man -w sonavelt finds no page"
# The pages render without complaint.
for page in sonavelt sonavelt-cli; do
  problems=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z \
             "/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
  [ -z "$problems" ] || fail "man $page: $problems"
done

# A run on a copy of the installed sample page, from a folder far from any
# build, as a user whose home is a fresh folder.
step "sonavelt-cli run on a copy of the installed sample page"
mkdir -p "$work/home" "$work/site"
cp /usr/share/sonavelt/samples/sample.htm "$work/site/index.htm"
run_cli() {
  (cd "$work" && env -i PATH=/usr/bin:/bin HOME="$work/home" \
      XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share" \
      XDG_CACHE_HOME="$work/home/.cache" /usr/bin/sonavelt-cli "$@")
}
status=0
run_cli run --yes --quiet --html5 "$work/site/index.htm" >"$work/run.out" 2>"$work/run.err" || status=$?
[ $status = 0 ] || { cat "$work/run.err" >&2; fail "sonavelt-cli run ended with status $status"; }
grep -qi "<applet code=SonaveltRandomEventBackground" "$work/site/index.htm" ||
  fail "the page did not get the player block"
grep -q 'src="sonavelt-player.js"' "$work/site/index.htm" || fail "the page does not load the browser player"
for file in index.res SonaveltRandomEventBackground.class sonavelt-player.js index.sounds.js; do
  [ -s "$work/site/$file" ] || fail "$file is not beside the page"
done
sounds=$(find "$work/site/audio" -name '*.au' -size +0 | wc -l)
[ "$sounds" -ge 4 ] || fail "audio/ beside the page holds $sounds sounds, expected at least 4"
grep -qx "page: $work/site/index.htm" "$work/run.out" || fail "the run does not name the page: $(cat "$work/run.out")"
# The work folders are the user's; the shared install folder stays as shipped.
[ -s "$work/home/.local/share/sonavelt/HISTORY/HIS_index.htm" ] || fail "no settings page in the user's HISTORY"
[ -s "$work/home/.config/Brindlecor/Sonavelt.ini" ] || fail "the choices were not stored"
for leftover in Cache HISTORY; do
  [ ! -e "/usr/share/sonavelt/$leftover" ] || fail "the run wrote /usr/share/sonavelt/$leftover"
done
left=$(find "$work/home/.cache/sonavelt" -mindepth 1 -maxdepth 1 -name 'work-*' | wc -l)
[ "$left" = 0 ] || fail "the run left $left work folders in the user's cache folder"
# A second run with the stored choices replaces the block in place.
run_cli run --yes --quiet >/dev/null 2>"$work/run.err" || status=$?
[ $status = 0 ] || { cat "$work/run.err" >&2; fail "the second run ended with status $status"; }
blocks=$(grep -ci "<applet code=SonaveltRandomEventBackground" "$work/site/index.htm")
[ "$blocks" = 1 ] || fail "the page holds $blocks player blocks after a second run"

# Root with no page given: the run takes root's own copy of the sample page,
# so the packaged files stay exactly as shipped.
step "sonavelt-cli run as root without a page"
mkdir -p "$work/root-home"
touch "$work/before-root-run"
status=0
(cd "$work" && $SUDO env -i PATH=/usr/bin:/bin HOME="$work/root-home" \
    /usr/bin/sonavelt-cli run --yes --quiet >"$work/root.out" 2>"$work/root.err") || status=$?
[ $status = 0 ] || { cat "$work/root.err" >&2; fail "the run as root without a page ended with status $status"; }
root_sample=$work/root-home/.local/share/sonavelt/sample/sample.htm
grep -qx "page: $root_sample" "$work/root.out" || fail "the run as root did not take $root_sample: $(cat "$work/root.out")"
grep -qi "<applet code=SonaveltRandomEventBackground" "$root_sample" || fail "root's copy of the sample page has no player block"
changed=$(dpkg --verify sonavelt 2>&1) || true
[ -z "$changed" ] || fail "dpkg --verify sonavelt after the run as root: $changed"
left=$(find /usr/share/sonavelt -newer "$work/before-root-run" | head -5)
[ -z "$left" ] || fail "the run as root wrote into the install folder: $left"

# Completion, found by bash-completion's loader where the package put it.
step "bash completion"
touch "$work/site/hello.wav" "$work/site/hi.AU" "$work/site/notes.txt"
mkdir -p "$work/site/more"
complete_words() {  # the words of the command line, the last one being completed
  (cd "$work/site" && bash -c '
    source /usr/share/bash-completion/bash_completion
    _completion_loader sonavelt-cli
    COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
    COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
    _sonavelt_cli sonavelt-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
    printf "%s\n" "${COMPREPLY[@]}" | LC_ALL=C sort | tr "\n" " "' complete "$@")
}
expect_completion() {
  local want=$1; shift
  local got
  got=$(complete_words "$@")
  [ "$got" = "$want" ] || fail "completing '$*' gives '$got', expected '$want'"
}
expect_completion "convert help remove run " sonavelt-cli ""
expect_completion "--entrance --entrance-off --entrance-on " sonavelt-cli run --ent
# File arguments by kind (and folders to go into): sounds in any letter case, pages.
expect_completion "audio hello.wav hi.AU more " sonavelt-cli run -e ""
expect_completion "audio index.htm more " sonavelt-cli run -n 2 ""
expect_completion "audio hello.wav hi.AU more " sonavelt-cli convert ""
expect_completion "--ca-file --help --host-key --identity -h " sonavelt-cli remove -

# Taking the sounds off gives back the page as installed, without its files.
step "sonavelt-cli remove"
status=0
run_cli remove "$work/site/index.htm" >"$work/remove.out" 2>"$work/remove.err" || status=$?
[ $status = 0 ] || { cat "$work/remove.err" >&2; fail "sonavelt-cli remove ended with status $status"; }
cmp -s /usr/share/sonavelt/samples/sample.htm "$work/site/index.htm" ||
  fail "the page after sonavelt-cli remove differs from the installed sample page"
for file in index.res index.sounds.js index.local.js SonaveltRandomEventBackground.class \
    sonavelt-player.js audio; do
  [ ! -e "$work/site/$file" ] || fail "$file is left beside the page after sonavelt-cli remove"
done

step "desktop files, as installed"
desktop-file-validate /usr/share/applications/com.brindlecor.sonavelt.desktop
appstreamcli validate --no-net /usr/share/metainfo/com.brindlecor.sonavelt.metainfo.xml

# Removal takes everything the package brought.
step "apt-get purge sonavelt"
"${APT[@]}" purge sonavelt >/dev/null
installed_by_us=0
for path in /usr/bin/sonavelt-cli /usr/bin/sonavelt /usr/share/sonavelt \
    /usr/share/man/man1/sonavelt-cli.1.gz /usr/share/bash-completion/completions/sonavelt-cli; do
  [ ! -e "$path" ] || fail "$path is left after removing the package"
done
# Nothing at all under /usr, also after the runs above (one as root).
left=$(find /usr -path '*sonavelt*' 2>/dev/null | head -5)
[ -z "$left" ] || fail "left under /usr after removing the package: $left"
