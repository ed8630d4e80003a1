#!/usr/bin/env bash
# Runs the editor against the bundled device simulator. Installs what it needs, builds
# build/orq-editor and build/orq-devsim, and starts a private JACK server (dummy backend) when
# the machine has no ALSA sequencer. With a display the editor opens there until you close it;
# without one it runs under Xvfb for a few seconds and leaves a screenshot and the simulator's
# log in out/.
# Prints one line per stage; apt's and the compiler's output goes to build/demo.log, and the end
# of it is shown when a stage fails. Every wait is bounded, and everything the demo starts is
# stopped by its pid (SIGTERM, then SIGKILL).
# Environment: ORQ_DEMO_MODEL=0|1|2 (default 1), ORQ_DEMO_SECONDS (headless run, default 8).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

if [ -z "${ORQ_DEMO_INNER:-}" ]; then
  stage_prefix=demo
  stage_log=$root/build/demo.log
  . scripts/stage.sh
  stage_begin
  stage "installing packages" scripts/install-deps.sh
  stage "configuring" cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
  stage "building" cmake --build build -j "${ORQ_JOBS:-2}" --target orq-editor orq-devsim
  export ORQ_DEMO_INNER=1
  if [ ! -e /dev/snd/seq ] || [ "${ORQ_MIDI_API:-}" = jack ]; then
    echo "demo: no ALSA sequencer here; using a private JACK server (dummy backend)"
    export ORQ_MIDI_API=jack
    exec scripts/with-jack.sh "$0" "$@"
  fi
  exec "$0" "$@"
fi

mkdir -p out
log="$root/out/devsim.log"

alive() { kill -0 "$1" 2>/dev/null; }
# Stops one child: SIGTERM, up to 3 s, then SIGKILL; always reaps it.
stop() {
  local pid=$1 name=$2
  if alive "$pid"; then
    kill -TERM "$pid" 2>/dev/null || true
    for _ in $(seq 30); do alive "$pid" || break; sleep 0.1; done
    if alive "$pid"; then
      echo "demo: $name did not stop within 3 s; killing it"
      kill -KILL "$pid" 2>/dev/null || true
    fi
  fi
  wait "$pid" 2>/dev/null || true
}
editor_pid="" devsim_pid="" xvfb_pid=""
cleanup() {
  # The editor first: it closes its MIDI clients while the simulator and the server still run.
  [ -z "$editor_pid" ] || stop "$editor_pid" editor
  [ -z "$devsim_pid" ] || stop "$devsim_pid" orq-devsim
  [ -z "$xvfb_pid" ] || stop "$xvfb_pid" Xvfb
}
trap cleanup EXIT

build/orq-devsim --model "${ORQ_DEMO_MODEL:-1}" --log "$log" </dev/null >out/devsim.out 2>&1 &
devsim_pid=$!
for _ in $(seq 100); do
  grep -q '^orq-devsim: ports' out/devsim.out 2>/dev/null && break
  alive "$devsim_pid" || break
  sleep 0.1
done
if ! grep -q '^orq-devsim: ports' out/devsim.out 2>/dev/null; then
  echo "demo: the simulator did not start:"
  cat out/devsim.out
  exit 1
fi

if [ -n "${DISPLAY:-}" ] && timeout 10 xdpyinfo >/dev/null 2>&1; then
  echo "demo: editor on $DISPLAY, simulator log in out/devsim.log; close the window to end"
  build/orq-editor
  exit 0
fi

echo "demo: no display; running the editor under Xvfb, screenshot in out/demo.png, simulator log in out/devsim.log"
fd_file=$(mktemp)
Xvfb -displayfd 3 -screen 0 1024x740x24 -nolisten tcp 3>"$fd_file" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 200); do [ -s "$fd_file" ] && break; sleep 0.05; done
if [ ! -s "$fd_file" ]; then
  echo "demo: Xvfb did not start"
  exit 1
fi
export DISPLAY=":$(cat "$fd_file")"
rm -f "$fd_file"
build/orq-editor >out/editor.out 2>&1 &
editor_pid=$!
sleep "${ORQ_DEMO_SECONDS:-8}"
timeout 20 import -window root out/demo.png
echo "demo: wrote out/demo.png; the simulator received $(grep -c ' <- ' "$log" || true) messages (see out/devsim.log)"
