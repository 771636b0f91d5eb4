#!/usr/bin/env bash
# Every option sonavelt-cli's own help lists is in its manual page and in its
# bash completion, and the manual page lists no option the program lacks.
#   options_documented.sh SONAVELT_CLI SOURCE_DIR
set -euo pipefail
cli=$1
source_dir=$2
manual=$source_dir/docs/man/sonavelt-cli.1
completion=$source_dir/completion/sonavelt-cli

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
[ $status = 0 ] && echo "$(echo "$helped" | wc -l) options, all documented and completed"
exit $status
