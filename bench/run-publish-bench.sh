#!/usr/bin/env bash
# Publishing over a slow network, like for like: sonavelt-cli run on a remote
# page (4 combinations) against lftp sending the same files to the same
# server. The server (pyftpdlib, each connection on its own thread) listens on
# 127.0.0.1; both tools talk to it through bench/delay_proxy.py on 127.0.0.2,
# which delays every chunk of every connection (control and data: the data
# ports are proxied too) by half the round trip in each direction, and can
# share one link of a given speed among them: the latency is the network's,
# not the server's.
#
# Both tools are timed from their first command to their last, logins
# included, from the server's own log; sonavelt's fetch of the page and the
# local work between fetch and publish are left out (lftp fetches nothing),
# its login is counted. lftp runs as `mput -P N` with N = the number of
# connections sonavelt opened (its logins in the first run's log), and with
# temporary names and renames (xfer:use-temp-file, the same safety as
# sonavelt's). Three rounds per case; the best of each is compared. Needs lftp.
#   bench/run-publish-bench.sh              (uses build/)
#   SONAVELT_CLI=... ROUNDS=3 KEEP=1 NETWORKS="50:0 50:4000000" bench/run-publish-bench.sh
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
CLI=${SONAVELT_CLI:-build/bin/sonavelt-cli}
DATA=${SONAVELT_DATA:-build/share/sonavelt}
ROUNDS=${ROUNDS:-3}
NETWORKS=${NETWORKS:-50:0 50:4000000}  # round trip in ms : bits per second (0: no cap)
PY=/usr/bin/python3
command -v lftp >/dev/null || { echo "needs lftp (Debian package lftp)" >&2; exit 2; }

BASE=$(( 30000 + ($$ % 200) * 100 ))  # control port; the next 40 are passive ports
PORT=$BASE
source bench/publish_timing.sh
source bench/publish_setup.sh

WORK=$(mktemp -d)
SERVER_PID=
cleanup() {
  [ -n "$SERVER_PID" ] && kill "$SERVER_PID" 2>/dev/null
  [ -n "$PROXY_PID" ] && kill "$PROXY_PID" 2>/dev/null
  [ -n "${KEEP:-}" ] || rm -rf "$WORK"
}
trap cleanup EXIT

network() { start_proxy "$1" "$2"; }  # $1: round trip in ms, $2: bits per second (0: no cap)

make_bench_install
printf 'bench' > "$WORK/pass"

start_server() {  # $1: log file (begun afresh)
  rm -f "$1" "$WORK/port"
  rm -rf "$WORK/site"; mkdir -p "$WORK/site/www"
  cp "$DATA/samples/sample.htm" "$WORK/site/www/index.htm"
  "$PY" tests/remote/ftp_test_server.py --root "$WORK/site" --user u \
    --password-file "$WORK/pass" --port "$BASE" --passive-ports "$(( BASE + 1 ))-$(( BASE + 40 ))" \
    --log-commands "$1" --threaded > "$WORK/port" 2> /dev/null &
  SERVER_PID=$!
  for _ in $(seq 100); do [ -s "$WORK/port" ] && break; sleep 0.05; done
}
stop_server() { kill "$SERVER_PID"; wait "$SERVER_PID" 2>/dev/null || true; SERVER_PID=; }

run_ours() {
  "$CLI" run --install-folder "$WORK/install" --yes -q -n 4 \
    "ftp://u@127.0.0.2:$PORT/www/index.htm" > /dev/null 2> "$WORK/ours.err" < /dev/null \
    || { cat "$WORK/ours.err" >&2; exit 1; }
}


lftp_run() {  # $1: extra settings
  local beside=
  for f in "$WORK"/sent/*; do
    if [ -f "$f" ] && [ "$f" != "$WORK/sent/index.htm" ]; then beside+=" $f"; fi
  done
  lftp -u u,bench -e "set ftp:passive-mode on; set ftp:prefer-epsv yes; set net:max-retries 1; $1 \
    mkdir -p -f www/audio; cd www/audio; mput -P $CONNECTIONS $WORK/sent/audio/*; cd ..; \
    mput -P $CONNECTIONS$beside; put $WORK/sent/index.htm; bye" "127.0.0.2:$PORT" > /dev/null
}

best() { printf '%s\n' "$@" | sort -g | head -1; }

network 0 0
start_server "$WORK/warm.log"   # the first run converts the sounds
run_ours
rm -rf "$WORK/sent"; cp -r "$WORK/site/www" "$WORK/sent"  # what lftp sends
stop_server
CONNECTIONS=$(grep -c ' USER ' "$WORK/warm.log")  # the run's own and those beside it
files=$(find "$WORK/sent" -type f | wc -l)
bytes=$(du -sb "$WORK/sent" | cut -f1)
echo "$files files, $bytes bytes; $CONNECTIONS connections each; best of $ROUNDS rounds"

printf '%-22s %10s %10s %10s %9s %9s\n' network sonavelt lftp-P lftp-temp "/lftp-P" "/lftp-temp"
for net in $NETWORKS; do
  set -- ${net/:/ }
  network "$1" "$2"
  ours=(); plain=(); temp=()
  for _ in $(seq "$ROUNDS"); do
    start_server "$WORK/ours.log"; run_ours; stop_server
    ours+=("$(ours_time "$WORK/ours.log")")
    start_server "$WORK/lftp.log"; lftp_run ""; stop_server
    plain+=("$(whole "$WORK/lftp.log")")
    start_server "$WORK/lftp-temp.log"; lftp_run "set xfer:use-temp-file yes;"; stop_server
    temp+=("$(whole "$WORK/lftp-temp.log")")
  done
  o=$(best "${ours[@]}"); p=$(best "${plain[@]}"); t=$(best "${temp[@]}")
  printf '%-22s %10s %10s %10s %9.2f %9.2f\n' "${1}ms rtt $( [ "$2" = 0 ] || echo "$(( $2 / 1000000 )) Mbit/s")" "$o" "$p" "$t" \
    "$(echo "$o / $p" | bc -l)" "$(echo "$o / $t" | bc -l)"
  echo "  rounds: sonavelt ${ours[*]}; lftp -P ${plain[*]}; lftp temp ${temp[*]}"
done
