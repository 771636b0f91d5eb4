#!/usr/bin/env bash
# Publishing over loopback on four servers: sonavelt-cli run on a remote page
# against lftp's serial `mput` of the same files, on pyftpdlib, vsftpd,
# proftpd and pure-ftpd (bench/ftp_servers.sh starts them; proftpd and
# pure-ftpd come from scripts/setup.sh's .cache/test-servers). Nothing slows
# the network: what shows is each tool's own waiting (an idle poll between a
# server's reply and the next step costs the same here as on a real link).
#
# Both tools talk to the server through bench/delay_proxy.py with no delay,
# on 127.0.0.2, which logs every command with its time whatever the server;
# both are timed the same way as in run-publish-bench.sh, from those logs:
# lftp from its first command to its last; sonavelt from its login (USER to
# the command after PASS) plus its publish (the first command after the
# page's RETR to the last), leaving out the fetch and the local work in
# between, which lftp does not do. lftp sends the files as a user would by
# hand: one connection, `mput` of the sounds, then the files beside the page,
# then the page, no temporary names; sonavelt keeps all its safety (two
# connections, temporary names where the live page names a file, every
# file's size proved, the page last). Best of ROUNDS (default 5) per server;
# ratio below 1: sonavelt is faster. Needs lftp, and root for all but
# pyftpdlib (the others are skipped, with the reason).
#   bench/run-loopback-publish-bench.sh                 (uses build/)
#   SONAVELT_CLI=... ROUNDS=5 SERVERS="vsftpd proftpd" KEEP=1 bench/run-loopback-publish-bench.sh
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
CLI=${SONAVELT_CLI:-build/bin/sonavelt-cli}
DATA=${SONAVELT_DATA:-build/share/sonavelt}
ROUNDS=${ROUNDS:-5}
SERVERS=${SERVERS:-pyftpdlib vsftpd proftpd pure-ftpd}
PY=/usr/bin/python3
command -v lftp >/dev/null || { echo "needs lftp (Debian package lftp)" >&2; exit 2; }
source bench/ftp_servers.sh
source bench/publish_timing.sh
source bench/publish_setup.sh

BASE=$(( 33000 + ($$ % 200) * 50 ))  # control port; the next 40 are passive ports
WORK=$(mktemp -d)
chmod 755 "$WORK"  # the servers' "ftp" user goes through it
cleanup() {
  stop_ftp_server
  [ -n "$PROXY_PID" ] && kill "$PROXY_PID" 2>/dev/null
  [ -n "${KEEP:-}" ] || rm -rf "$WORK"
}
trap cleanup EXIT

# The proxy, logging to $1 (begun afresh).
proxy() { rm -f "$1"; start_proxy 0 0 --log-commands "$1"; }

make_bench_install

# A fresh site for server $1 with the sample page, the server started on it.
fresh_site() {
  stop_ftp_server
  rm -rf "$WORK/root"
  mkdir -p "$WORK/root/incoming/www"
  cp "$DATA/samples/sample.htm" "$WORK/root/incoming/www/index.htm"
  start_ftp_server "$1" "$WORK/root" "$WORK/config-$1" "$BASE" "$(( BASE + 1 ))" \
    "$(( BASE + 40 ))" bench
}

run_ours() {
  "$CLI" run --install-folder "$WORK/install" --yes -q -n 4 \
    "ftp://${FTP_USER_AT}127.0.0.2:$BASE/incoming/www/index.htm" > /dev/null \
    2> "$WORK/ours.err" < /dev/null || { cat "$WORK/ours.err" >&2; exit 1; }
}

lftp_run() {
  local beside=
  for f in "$WORK"/sent/*; do
    if [ -f "$f" ] && [ "$f" != "$WORK/sent/index.htm" ]; then beside+=" $f"; fi
  done
  lftp -u "${FTP_LOGIN:-anonymous,bench}" -e "set ftp:passive-mode on; set ftp:prefer-epsv yes; \
    set ftp:ssl-allow no; set net:max-retries 1; mkdir -p -f incoming/www/audio; \
    cd incoming/www/audio; mput $WORK/sent/audio/*; cd ..; mput$beside; \
    put $WORK/sent/index.htm; bye" "127.0.0.2:$BASE" > /dev/null
}

best() { printf '%s\n' "$@" | sort -g | head -1; }

# The files lftp sends: what a first run leaves on the site (it also
# converts the sounds, which later runs find in the cache).
proxy "$WORK/warm.log"
fresh_site pyftpdlib
run_ours
rm -rf "$WORK/sent"; cp -r "$WORK/root/incoming/www" "$WORK/sent"
files=$(find "$WORK/sent" -type f | wc -l)
bytes=$(du -sb "$WORK/sent" | cut -f1)
echo "$files files, $bytes bytes; over loopback; best of $ROUNDS rounds (seconds)"

printf '%-10s %9s %9s %9s\n' server sonavelt lftp-mput ratio
for server in $SERVERS; do
  if ! ftp_server_available "$server"; then
    printf '%-10s skipped (cannot run here: not installed, or not root)\n' "$server"
    continue
  fi
  ours=(); theirs=()
  for _ in $(seq "$ROUNDS"); do
    proxy "$WORK/ours.log"; fresh_site "$server"; run_ours
    ours+=("$(ours_time "$WORK/ours.log")")
    # Every server ends with the site of the first run, byte for byte.
    diff -r "$WORK/sent" "$WORK/root/incoming/www" > "$WORK/diff" ||
      { echo "$server: the site differs from the first run's" >&2; cat "$WORK/diff" >&2; exit 1; }
    proxy "$WORK/lftp.log"; fresh_site "$server"; lftp_run
    theirs+=("$(whole "$WORK/lftp.log")")
  done
  stop_ftp_server
  o=$(best "${ours[@]}"); t=$(best "${theirs[@]}")
  printf '%-10s %9s %9s %9.2f\n' "$server" "$o" "$t" "$(echo "$o / $t" | bc -l)"
  echo "  rounds: sonavelt ${ours[*]}; lftp ${theirs[*]}"
done
