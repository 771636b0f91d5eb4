# Timing of a publish from a log of the FTP commands a server received (one
# line per command: seconds, then the command), as the test server and the
# delaying proxy write it with --log-commands; shared by the publishing
# benchmarks.

# Seconds from the first command to the last of a log.
whole() { awk 'NR == 1 { first = $1 } { last = $1 } END { printf "%.3f", last - first }' "$1"; }
# sonavelt's: its login (USER to the command after PASS), plus the publish
# (the first command after the page's RETR to the last).
ours_time() {
  awk '
    NR == 1 { user = $1 }
    login == "" && prev == "PASS" { login = $1 - user }
    fetched && start == "" { start = $1 }
    $2 == "RETR" { fetched = 1 }
    { prev = $2; last = $1 }
    END { printf "%.3f", login + last - start }' "$1"
}
