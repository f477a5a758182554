#!/usr/bin/env bash
# Starts, uses or stops a private headless PipeWire (its own session bus, runtime, state and
# configuration directories, pipewire and wireplumber, a null sink standing for the sound card)
# for the JACK tests run through PipeWire's libjack. Each start begins from empty directories, as
# on a machine that never ran PipeWire, whatever the user's own PipeWire keeps.
#   pipewire_fixture.sh start DIR
#   pipewire_fixture.sh run   DIR COMMAND [ARGS...]   (COMMAND runs through pw-jack)
#   pipewire_fixture.sh stop  DIR
set -u
cmd=$1 dir=$2
shift 2
run="$dir/run"
export XDG_RUNTIME_DIR="$run" PIPEWIRE_RUNTIME_DIR="$run"
export XDG_STATE_HOME="$dir/state" XDG_CONFIG_HOME="$dir/config"
export DBUS_SESSION_BUS_ADDRESS="unix:path=$run/bus"
unset JACK_DEFAULT_SERVER PIPEWIRE_REMOTE

stop_all() {
  for p in wireplumber pipewire dbus; do
    if [ -f "$dir/$p.pid" ]; then
      pid=$(cat "$dir/$p.pid")
      kill "$pid" 2>/dev/null
      for _ in $(seq 30); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
      kill -9 "$pid" 2>/dev/null
      rm -f "$dir/$p.pid"
    fi
  done
}

case "$cmd" in
  start)
    stop_all
    rm -rf "$run" "$XDG_STATE_HOME" "$XDG_CONFIG_HOME"
    mkdir -p "$run" "$XDG_STATE_HOME" "$XDG_CONFIG_HOME" && chmod 700 "$run"
    dbus-daemon --session --fork --print-pid=1 --address="$DBUS_SESSION_BUS_ADDRESS" >"$dir/dbus.pid" || exit 1
    nohup pipewire >"$dir/pipewire.log" 2>&1 </dev/null &
    echo $! >"$dir/pipewire.pid"
    for _ in $(seq 100); do [ -S "$run/pipewire-0" ] && break; sleep 0.1; done
    nohup wireplumber >"$dir/wireplumber.log" 2>&1 </dev/null &
    echo $! >"$dir/wireplumber.pid"
    pw-cli create-node adapter '{ factory.name=support.null-audio-sink node.name=tocsin-test-sink
      media.class=Audio/Sink object.linger=true audio.position=[FL FR] }' >/dev/null 2>&1
    for _ in $(seq 100); do
      pw-jack jack_lsp 2>/dev/null | grep -q '^tocsin-test-sink:' && break
      sleep 0.1
    done
    if ! pw-jack jack_lsp 2>/dev/null | grep -q '^tocsin-test-sink:'; then
      echo "PipeWire did not start:"; cat "$dir/pipewire.log" "$dir/wireplumber.log"; stop_all; exit 1
    fi
    echo "PipeWire running in $run"
    ;;
  run)
    # The tests that make the server vanish restart it through this script.
    export TOCSIN_PIPEWIRE_DIR="$dir" TOCSIN_PIPEWIRE_FIXTURE="$0"
    exec pw-jack "$@"
    ;;
  stop)
    stop_all
    echo "PipeWire stopped"
    ;;
  *) echo "usage: $0 start|run|stop DIR [COMMAND...]"; exit 2 ;;
esac
