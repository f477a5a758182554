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

case "$cmd" in
  start)
    mkdir -p "$dir"
    stop_server
    wait_us=$(( period * 1000000 / rate ))
    nohup jackd --no-realtime --sync -n "$name" -d dummy -r "$rate" -p "$period" -w "$wait_us" -C 2 -P 2 \
      >"$log" 2>&1 </dev/null &
    echo $! >"$pidfile"
    if ! jack_wait -s "$name" -w -t 20 >/dev/null 2>&1; then
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
