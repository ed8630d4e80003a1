#!/usr/bin/env bash
# Runs the editor against the bundled device simulator. Installs what it needs, builds
# build/orq-editor and build/orq-devsim, and starts a private JACK server (dummy backend) when
# the machine has no ALSA sequencer. With a display the editor opens there until you close it;
# without one it runs under Xvfb for a few seconds and leaves a screenshot and the simulator's
# log in out/.
# Environment: ORQ_DEMO_MODEL=0|1|2 (default 1), ORQ_DEMO_SECONDS (headless run, default 8).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

if [ -z "${ORQ_DEMO_INNER:-}" ]; then
  scripts/install-deps.sh
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build build -j "${ORQ_JOBS:-2}" --target orq-editor orq-devsim
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
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT

build/orq-devsim --model "${ORQ_DEMO_MODEL:-1}" --log "$log" </dev/null >out/devsim.out 2>&1 &
pids+=($!)
sleep 0.5

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  echo "demo: editor on $DISPLAY, simulator log in out/devsim.log; close the window to end"
  build/orq-editor
  exit 0
fi

echo "demo: no display; running the editor under Xvfb, screenshot in out/demo.png, simulator log in out/devsim.log"
fd_file=$(mktemp)
Xvfb -displayfd 3 -screen 0 1024x740x24 -nolisten tcp 3>"$fd_file" 2>/dev/null &
pids+=($!)
for _ in $(seq 200); do [ -s "$fd_file" ] && break; sleep 0.05; done
export DISPLAY=":$(cat "$fd_file")"
rm -f "$fd_file"
build/orq-editor >out/editor.out 2>&1 &
pids+=($!)
sleep "${ORQ_DEMO_SECONDS:-8}"
import -window root out/demo.png
echo "demo: wrote out/demo.png; the simulator received:"
grep -c '<-' "$log" | xargs -I{} echo "  {} messages (see out/devsim.log)"
