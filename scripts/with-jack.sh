#!/usr/bin/env bash
# Runs one command against a private JACK server with the dummy backend (no sound hardware,
# no kernel module), so MIDI tests and demos work where there is no ALSA sequencer.
# Usage: scripts/with-jack.sh CMD [ARGS...]   -> exits with CMD's status.
# Environment: ORQ_JACK_PERIOD (frames per cycle, default 256 = 5.3 ms at 48 kHz);
# ORQ_JACK_LOG=PATH keeps the server's output there. CMD gets JACK_DEFAULT_SERVER and
# ORQ_JACK_PID (the server's pid).
set -u

if [ $# -eq 0 ]; then
  echo "usage: $0 CMD [ARGS...]" >&2
  exit 2
fi
if ! command -v jackd >/dev/null 2>&1; then
  echo "with-jack: jackd not found (Debian package jackd2)" >&2
  exit 2
fi

period="${ORQ_JACK_PERIOD:-256}"
log="${ORQ_JACK_LOG:-$(mktemp -t orq-jackd.XXXXXX)}"

# Server names come from a small pool, each held by a lock for this script's lifetime, so runs
# side by side get distinct servers. Reusing names matters: libjack keeps at most 8 servers in
# its registry and reclaims the entry of a dead server only when a server of the same name
# starts, so ever-new names would fill it up ("Too many servers already active").
# When every name is taken (test runs side by side, some nesting a server of their own), wait
# for one for up to two minutes.
lockdir="${TMPDIR:-/tmp}"
name=""
for _ in $(seq 240); do
  for i in 0 1 2 3 4 5; do
    exec {lockfd}>"$lockdir/orq-jack-$i.lock"
    if flock -n "$lockfd"; then
      name="orq-jack-$i"
      break 2
    fi
    exec {lockfd}>&-
  done
  sleep 0.5
done
if [ -z "$name" ]; then
  echo "with-jack: all private JACK server names stayed in use for two minutes" >&2
  exit 2
fi

jack_pid=""
start_server() {
  # -r: no realtime scheduling (needs no privileges). The period sets the MIDI latency (one
  # cycle per hop) and the server's own CPU use; 256 frames is 5.3 ms at 48 kHz.
  # -S -t 5000: synchronous graph with a generous client timeout, so that a client slowed down
  # by a loaded machine or a sanitizer is waited for, rather than its cycle (and its MIDI)
  # dropped.
  jackd -n "$name" -r -S -t 5000 -d dummy -r 48000 -p "$period" >"$log" 2>&1 &
  jack_pid=$!
}

stop_server() {
  if [ -n "$jack_pid" ] && kill -0 "$jack_pid" 2>/dev/null; then
    kill -TERM "$jack_pid" 2>/dev/null
    for _ in $(seq 1 50); do
      kill -0 "$jack_pid" 2>/dev/null || break
      sleep 0.1
    done
    kill -KILL "$jack_pid" 2>/dev/null
  fi
  [ -n "$jack_pid" ] && wait "$jack_pid" 2>/dev/null
  [ -n "${ORQ_JACK_LOG:-}" ] || rm -f "$log"
}
trap stop_server EXIT
trap 'exit 130' INT TERM

# Waits until the server accepts clients (up to 10 s); false if it ended or never answered.
wait_ready() {
  for _ in $(seq 1 100); do
    kill -0 "$jack_pid" 2>/dev/null || return 1
    if JACK_NO_START_SERVER=1 jack_lsp -s "$name" >/dev/null 2>&1; then return 0; fi
    sleep 0.1
  done
  return 1
}

any_jackd_running() {
  local comm
  for d in /proc/[0-9]*; do
    [ "$d" = "/proc/$jack_pid" ] && continue  # our own server, which failed to start
    comm=$(cat "$d/comm" 2>/dev/null) || continue
    [ "$comm" = jackd ] && return 0
  done
  return 1
}

start_server
if ! wait_ready; then
  # A registry full of dead servers' entries (left by servers that were killed) is cleared when
  # no JACK server at all is running, then the start is tried once more.
  if grep -q "Too many servers" "$log" 2>/dev/null && ! any_jackd_running; then
    rm -f /dev/shm/jack-shm-registry
    stop_server
    start_server
  fi
  if ! wait_ready; then
    echo "with-jack: JACK server '$name' did not start:" >&2
    cat "$log" >&2
    exit 2
  fi
fi

export JACK_DEFAULT_SERVER="$name"
export JACK_NO_START_SERVER=1
export ORQ_JACK_PID="$jack_pid"  # for tests that freeze the server they asked for

"$@"
status=$?
exit "$status"
