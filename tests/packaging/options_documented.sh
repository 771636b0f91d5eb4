#!/usr/bin/env bash
# Every option sonavelt-cli's own help lists is in its manual page and in its
# bash completion, and the manual page lists no option the program lacks.
# The same for the sound formats: the file-name endings `convert --help`
# lists are the ones the program takes (in any letter case), and every text
# that names formats names them all: both commands' help, both manual pages,
# the wizard's help, the file dialog, the refusal message, the completion
# (which offers them in any letter case); the package and AppStream
# descriptions name every format.
#   options_documented.sh SONAVELT_CLI SOURCE_DIR
set -euo pipefail
cli=$1
source_dir=$2
manual=$source_dir/docs/man/sonavelt-cli.1
completion=$(realpath "$source_dir/completion/sonavelt-cli")

# Words that start with one or two dashes and a letter, not inside a word
# ("mu-law", "sonavelt-cli" are no options).
options_in() { grep -oP '(?<![A-Za-z0-9-])--?[a-z][a-z0-9]*(-[a-z0-9]+)*' | sort -u; }

# -h, taken everywhere --help is, is named by no usage text.
helped=$( { "$cli" --help; "$cli" run --help; "$cli" convert --help; "$cli" remove --help
            echo -h; } | options_in)
# roff writes a dash as \- and switches fonts with \fB, \fI, \fR, \fP.
documented=$(sed -e 's/\\f[BIRP]//g' -e 's/\\-/-/g' "$manual" | options_in)
completed=$(options_in < "$completion")

status=0
missing=$(comm -23 <(echo "$helped") <(echo "$documented"))
[ -z "$missing" ] || { echo "not in $manual:" $missing; status=1; }
stale=$(comm -13 <(echo "$helped") <(echo "$documented"))
[ -z "$stale" ] || { echo "in $manual but not in the program's help:" $stale; status=1; }
missing=$(comm -23 <(echo "$helped") <(echo "$completed"))
[ -z "$missing" ] || { echo "not in $completion:" $missing; status=1; }

# The sound formats.
exts=$("$cli" convert --help | sed -n 's/^ *Sound files: //p' | tr ' ' '\n' | grep '^\.' || true)
run_exts=$("$cli" run --help | sed -n 's/^ *Sound files: //p' | tr ' ' '\n' | grep '^\.' || true)
[ -n "$exts" ] || { echo "convert --help lists no sound files"; status=1; }
[ "$exts" = "$run_exts" ] || { echo "run --help and convert --help list different sound files"; status=1; }
has_word() { grep -qP "(?<![A-Za-z0-9])\\$1(?![A-Za-z0-9])" "$2"; }
roff_clean() { sed -e 's/\\f[BIRP]//g' -e 's/\\-/-/g' -e 's/\\(\*m/mu/g' "$1"; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
roff_clean "$manual" > "$scratch/sonavelt-cli.txt"
roff_clean "$source_dir/docs/man/sonavelt.1" > "$scratch/sonavelt.txt"
for ext in $exts; do
  for file in "$scratch/sonavelt-cli.txt" "$scratch/sonavelt.txt" \
              "$source_dir/data/app/help/index.html" "$source_dir/app/wizard_app.cpp" \
              "$source_dir/audio/sound_messages.cpp"; do
    has_word "$ext" "$file" || { echo "$ext is not named in ${file#"$scratch/"}"; status=1; }
  done
  grep -qE "^ *for ext in( [a-z0-9]+)* ${ext#.}( |;)" "$completion" ||
    { echo "$ext is not offered by $completion"; status=1; }
  # Taken by the program in any letter case: an empty file is refused as
  # empty or unreadable, never as a kind of file it does not handle.
  upper=$scratch/SOUND${ext^^}
  : > "$upper"
  said=$("$cli" convert "$upper" "$scratch/out.au" 2>&1 || true)
  if grep -q "cannot handle the audio file" <<< "$said"; then
    echo "sonavelt-cli refuses the name $upper"; status=1
  fi
done
: > "$scratch/SOUND.wma"
said=$("$cli" convert "$scratch/SOUND.wma" "$scratch/out.au" 2>&1 || true)
grep -q "cannot handle the audio file" <<< "$said" || { echo "sonavelt-cli takes a .wma file"; status=1; }
for name in WAVE "Sun .au" MP3 FLAC "Ogg Vorbis" Opus AIFF; do
  for file in "$source_dir/cmake/Packaging.cmake" \
              "$source_dir/data/desktop/com.brindlecor.sonavelt.metainfo.xml.in" \
              "$scratch/sonavelt-cli.txt" "$scratch/sonavelt.txt"; do
    tr -s ' \n' ' ' < "$file" | grep -qF "$name" || { echo "$name is not named in ${file#"$scratch/"}"; status=1; }
  done
done
# The completion offers every sound in any letter case, and nothing else.
if [ -r /usr/share/bash-completion/bash_completion ]; then
  mkdir "$scratch/offer"
  for ext in $exts; do : > "$scratch/offer/a${ext^^}"; : > "$scratch/offer/b${ext}"; done
  : > "$scratch/offer/c.txt"
  offered=$(cd "$scratch/offer" && bash -c '
    source /usr/share/bash-completion/bash_completion
    source "$1"
    COMP_WORDS=(sonavelt-cli run -e ""); COMP_CWORD=3
    COMP_LINE="sonavelt-cli run -e "; COMP_POINT=${#COMP_LINE}
    _sonavelt_cli sonavelt-cli "" -e
    printf "%s\n" "${COMPREPLY[@]}"' _ "$completion" | sort)
  wanted=$(cd "$scratch/offer" && ls | grep -v '^c\.txt$' | sort)
  [ "$offered" = "$wanted" ] || { echo "completion after -e offers:" $offered; status=1; }
fi
[ $status = 0 ] && echo "$(echo "$helped" | wc -l) options, all documented and completed;" \
  "$(echo "$exts" | wc -l) sound file endings, named everywhere and taken in any letter case"
exit $status
