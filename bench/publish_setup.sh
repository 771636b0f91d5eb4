# What both publishing benchmarks set up: the delaying proxy in front of the
# loopback servers, and an install folder and home of the benchmark's own.
# Needs $PY, $BASE (the first port), $WORK and $DATA (the build's data folder).

PROXY_PID=

# (Re)starts the proxy on 127.0.0.2, ports $BASE..$BASE+40, with a round
# trip of $1 ms and a cap of $2 bits per second (0: none); further arguments
# go to the proxy (--log-commands FILE). Returns once it listens.
start_proxy() {
  local delay=$1 rate=$2
  shift 2
  [ -n "$PROXY_PID" ] && { kill "$PROXY_PID"; wait "$PROXY_PID" 2>/dev/null || true; }
  rm -f "$WORK/proxy"
  "$PY" bench/delay_proxy.py --listen-host 127.0.0.2 --to-host 127.0.0.1 \
    --ports "$BASE-$(( BASE + 40 ))" --delay-ms "$delay" --rate-bps "$rate" "$@" > "$WORK/proxy" &
  PROXY_PID=$!
  for _ in $(seq 100); do [ -s "$WORK/proxy" ] && break; sleep 0.05; done
}

# The install folder sonavelt-cli runs from (the sounds linked, not copied)
# and a home whose settings and caches are the benchmark's.
make_bench_install() {
  mkdir -p "$WORK/install/samples" "$WORK/home"
  cp "$DATA/SonaveltRandomEventBackground.class" "$WORK/install/"
  cp "$DATA/samples/sample.htm" "$WORK/install/samples/"
  cp -r "$DATA/player" "$WORK/install/"
  ln -s "$(cd "$DATA/audio" && pwd)" "$WORK/install/audio"
  export HOME=$WORK/home XDG_CONFIG_HOME=$WORK/home/.config XDG_DATA_HOME=$WORK/home/.data \
         XDG_CACHE_HOME=$WORK/home/.cache SONAVELT_FTP_PASSWORD=bench
}
