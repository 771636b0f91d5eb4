#!/usr/bin/env bash
# Publishing to a slow FTP server: sonavelt-cli run on a remote page (4 and
# 16 combinations) against lftp sending the same files, to pyftpdlib on
# loopback that waits 50 ms before every reply (each connection on its own
# thread, so that the wait holds up only the connection it answers, as the
# network's latency does; SERIAL=1: one thread for all, every reply of every
# connection in one queue). Prints, per case, the
# publishing time (first to last command of the upload phase, from the
# server's own log), the commands sent, and commands per file on the site.
#   bench/run-publish-bench.sh              (uses build/)
#   SONAVELT_CLI=... DELAY_MS=... SERIAL=1 KEEP=1 bench/run-publish-bench.sh
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
CLI=${SONAVELT_CLI:-build/bin/sonavelt-cli}
DATA=${SONAVELT_DATA:-build/share/sonavelt}
DELAY_MS=${DELAY_MS:-50}
THREADED=--threaded; [ -n "${SERIAL:-}" ] && THREADED=
PY=/usr/bin/python3
command -v lftp >/dev/null || { echo "needs lftp (Debian package lftp)" >&2; exit 2; }

WORK=$(mktemp -d)
SERVER_PID=
cleanup() { [ -n "$SERVER_PID" ] && kill "$SERVER_PID" 2>/dev/null; [ -n "${KEEP:-}" ] || rm -rf "$WORK"; }
trap cleanup EXIT

mkdir -p "$WORK/install/samples" "$WORK/home"
cp "$DATA/SonaveltRandomEventBackground.class" "$WORK/install/"
cp "$DATA/samples/sample.htm" "$WORK/install/samples/"
cp -r "$DATA/player" "$WORK/install/"
ln -s "$(cd "$DATA/audio" && pwd)" "$WORK/install/audio"
printf 'bench' > "$WORK/pass"
export HOME=$WORK/home XDG_CONFIG_HOME=$WORK/home/.config XDG_DATA_HOME=$WORK/home/.data \
       XDG_CACHE_HOME=$WORK/home/.cache SONAVELT_FTP_PASSWORD=bench

start_server() {  # $1: log file (begun afresh)
  rm -f "$1" "$WORK/port"
  rm -rf "$WORK/site"; mkdir -p "$WORK/site/www"
  cp "$DATA/samples/sample.htm" "$WORK/site/www/index.htm"
  "$PY" tests/remote/ftp_test_server.py --root "$WORK/site" --user u \
    --password-file "$WORK/pass" --delay-ms "$DELAY_MS" --log-commands "$1" $THREADED \
    > "$WORK/port" 2> /dev/null &
  SERVER_PID=$!
  for _ in $(seq 100); do [ -s "$WORK/port" ] && break; sleep 0.05; done
  PORT=$(cat "$WORK/port")
}
stop_server() { kill "$SERVER_PID"; wait "$SERVER_PID" 2>/dev/null || true; SERVER_PID=; }

run_ours() {
  "$CLI" run --install-folder "$WORK/install" --yes -q -n "$1" \
    "ftp://u@127.0.0.1:$PORT/www/index.htm" > /dev/null 2> "$WORK/ours.err" < /dev/null \
    || { cat "$WORK/ours.err" >&2; exit 1; }
}

# "seconds commands" of a log: all of it, or (with $2) from the first command
# after the first line matching $2.
window() {
  awk -v pat="${2:-}" '
    pat == "" || started { n++; if (first == "") first = $1; last = $1 }
    pat != "" && !started && $0 ~ pat { started = 1 }
    END { printf "%.2f %d", last - first, n }' "$1"
}

printf '%-6s %-8s %8s %9s %6s %10s\n' combos client seconds commands files cmds/file
for n in 4 16; do
  start_server "$WORK/warm.log"   # the first run converts the sounds
  run_ours "$n"
  stop_server

  start_server "$WORK/ours.log"
  run_ours "$n"
  rm -rf "$WORK/sent"; cp -r "$WORK/site/www" "$WORK/sent"  # what lftp sends
  stop_server
  files=$(find "$WORK/sent" -type f | wc -l)
  read -r ours_s ours_cmds <<< "$(window "$WORK/ours.log" '^[0-9.]+ RETR ')"

  beside_page=
  for f in "$WORK"/sent/*; do
    if [ -f "$f" ] && [ "$f" != "$WORK/sent/index.htm" ]; then beside_page+="put $f; "; fi
  done
  start_server "$WORK/lftp.log"
  lftp -u u,bench -e "set ftp:passive-mode on; set net:max-retries 1; \
    mkdir -p -f www/audio; cd www/audio; mput $WORK/sent/audio/*; cd ..; \
    $beside_page put $WORK/sent/index.htm; bye" "127.0.0.1:$PORT" > /dev/null
  stop_server
  read -r lftp_s lftp_cmds <<< "$(window "$WORK/lftp.log")"

  for row in "sonavelt $ours_s $ours_cmds" "lftp $lftp_s $lftp_cmds"; do
    set -- $row
    printf '%-6s %-8s %8s %9s %6s %10.1f\n' "$n" "$1" "$2" "$3" "$files" \
      "$(echo "$3 / $files" | bc -l)"
  done
  echo "ratio_${n}=$(echo "$ours_s / $lftp_s" | bc -l | cut -c1-5)  (sonavelt / lftp)"
done
