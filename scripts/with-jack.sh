#!/usr/bin/env bash
# Runs one command against a private JACK server with the dummy backend (no sound hardware,
# no kernel module), so MIDI tests and demos work where there is no ALSA sequencer.
# Usage: scripts/with-jack.sh CMD [ARGS...]   -> exits with CMD's status.
# Environment: ORQ_JACK_PERIOD (frames per cycle, default 256 = 5.3 ms at 48 kHz);
# ORQ_JACK_LOG=PATH keeps the server's output there.
set -u

if [ $# -eq 0 ]; then
  echo "usage: $0 CMD [ARGS...]" >&2
  exit 2
fi
if ! command -v jackd >/dev/null 2>&1; then
  echo "with-jack: jackd not found (Debian package jackd2)" >&2
  exit 2
fi

name="orq-$$-$RANDOM"
period="${ORQ_JACK_PERIOD:-256}"
log="${ORQ_JACK_LOG:-$(mktemp -t orq-jackd.XXXXXX)}"

# -r: no realtime scheduling (needs no privileges). The MIDI buffer of a JACK port holds one
# period's worth of bytes, so the period must stay large enough for a 522-byte sysex message.
# -S -t 5000: synchronous graph with a generous client timeout, so that a client slowed down by a
# loaded machine or a sanitizer is waited for, rather than its cycle (and its MIDI) dropped.
jackd -n "$name" -r -S -t 5000 -d dummy -r 48000 -p "$period" >"$log" 2>&1 &
jack_pid=$!

stop_server() {
  if kill -0 "$jack_pid" 2>/dev/null; then
    kill -TERM "$jack_pid" 2>/dev/null
    for _ in $(seq 1 50); do
      kill -0 "$jack_pid" 2>/dev/null || break
      sleep 0.1
    done
    kill -KILL "$jack_pid" 2>/dev/null
  fi
  wait "$jack_pid" 2>/dev/null
  [ -n "${ORQ_JACK_LOG:-}" ] || rm -f "$log"
}
trap stop_server EXIT
trap 'exit 130' INT TERM

export JACK_DEFAULT_SERVER="$name"
export JACK_NO_START_SERVER=1

# Wait until the server accepts clients (up to 10 s).
ready=0
for _ in $(seq 1 100); do
  if ! kill -0 "$jack_pid" 2>/dev/null; then break; fi
  if jack_lsp -s "$name" >/dev/null 2>&1; then
    ready=1
    break
  fi
  sleep 0.1
done
if [ "$ready" -ne 1 ]; then
  echo "with-jack: JACK server '$name' did not start:" >&2
  cat "$log" >&2
  exit 2
fi

"$@"
status=$?
exit "$status"
