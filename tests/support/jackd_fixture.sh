#!/usr/bin/env bash
# Starts or stops the private JACK server (dummy driver, no sound card) used by the tests.
#   jackd_fixture.sh start NAME STATE_DIR [RATE PERIOD]
#   jackd_fixture.sh stop  NAME STATE_DIR
# The server has its own name, so it never disturbs a user's server or a parallel run.
set -u
cmd=$1 name=$2 dir=$3
rate=${4:-44100} period=${5:-256}
pidfile="$dir/jackd-$name.pid"
log="$dir/jackd-$name.log"
export JACK_NO_AUDIO_RESERVATION=1

stop_server() {
  if [ -f "$pidfile" ]; then
    pid=$(cat "$pidfile")
    if kill -0 "$pid" 2>/dev/null; then
      kill "$pid" 2>/dev/null
      for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
      kill -9 "$pid" 2>/dev/null
    fi
    rm -f "$pidfile"
  fi
}

# JACK keeps at most 8 servers in its shared registry and frees a slot only when a server exits
# cleanly or one of the same name starts again. A server that was killed (as the tests that make a
# server vanish do) keeps its slot; free the slots whose process is gone, as JACK itself does for
# a name it restarts, so that runs never pile up into "Too many servers already active".
reclaim_dead_slots() {
  local reg=/dev/shm/jack-shm-registry off pid
  [ -w "$reg" ] || return 0
  for k in 0 1 2 3 4 5 6 7; do
    off=$(( 24 + k * 264 ))
    pid=$(od -An -t d4 -j "$off" -N 4 "$reg" 2>/dev/null | tr -d ' ')
    if [ -n "$pid" ] && [ "$pid" -gt 0 ] && [ ! -d "/proc/$pid" ]; then
      dd if=/dev/zero of="$reg" bs=1 seek="$off" count=264 conv=notrunc status=none 2>/dev/null
    fi
  done
}

case "$cmd" in
  start)
    mkdir -p "$dir"
    stop_server
    reclaim_dead_slots
    wait_us=$(( period * 1000000 / rate ))
    nohup jackd --no-realtime --sync -n "$name" -d dummy -r "$rate" -p "$period" -w "$wait_us" -C 2 -P 2 \
      >"$log" 2>&1 </dev/null &
    echo $! >"$pidfile"
    if ! jack_wait -s "$name" -w -t 60 >/dev/null 2>&1; then
      echo "JACK server $name did not start:"; cat "$log"; stop_server; exit 1
    fi
    echo "JACK server $name running (pid $(cat "$pidfile"), $rate Hz, period $period)"
    ;;
  stop)
    stop_server
    echo "JACK server $name stopped"
    ;;
  *) echo "usage: $0 start|stop NAME STATE_DIR [RATE PERIOD]"; exit 2 ;;
esac
