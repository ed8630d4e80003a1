#!/usr/bin/env bash
# The real editor under Xvfb: one window titled "Tarvik Editor" of 1024 x 740, and exit status 0
# after the close request whatever the MIDI side is doing. Each case runs against a private JACK
# server of its own (scripts/with-jack.sh), which it may freeze:
#   idle        no device; the window's geometry is checked here
#   connected   orq-devsim read in full
#   killed      orq-devsim killed (SIGKILL) just before the close: the JACK server stalls
#   frozen      the JACK server stopped (SIGSTOP): the worker hangs inside libjack
#   no-service  no JACK server under the name the editor looks for
#   sigterm     SIGTERM instead of the window manager's close request
# The process must end within a second of the request; that bound is measured by
# bench/app/close_bench.sh (this test also runs under sanitizers), so here only a hang fails
# (ORQ_CLOSE_LIMIT_MS, default 10000).
# Usage: window_test.sh EDITOR WM_CLOSE DEVSIM [CASE...]
set -u
editor=$1
wm_close=$2
devsim=$3
shift 3
here=$(cd "$(dirname "$0")" && pwd)
with_jack=$here/../../scripts/with-jack.sh
limit=${ORQ_CLOSE_LIMIT_MS:-10000}
fail() {
  echo "FAIL: $*"
  exit 1
}

# ---- one case, inside its own with-jack.sh
if [ "${1:-}" = --inside ]; then
  name=$2
  tmp=$(mktemp -d)
  epid="" dpid=""
  cleanup() {
    [ -n "${ORQ_JACK_PID:-}" ] && kill -CONT "$ORQ_JACK_PID" 2>/dev/null
    for p in $epid $dpid; do
      kill -TERM "$p" 2>/dev/null
      for _ in $(seq 30); do kill -0 "$p" 2>/dev/null || break; sleep 0.1; done
      kill -KILL "$p" 2>/dev/null
      wait "$p" 2>/dev/null
    done
    rm -rf "$tmp"
  }
  trap cleanup EXIT
  wants_device=0
  case $name in connected | killed | frozen | sigterm) wants_device=1 ;; esac
  if [ $wants_device = 1 ]; then
    "$devsim" --name "ORQ KTB close" --log "$tmp/devsim.log" </dev/null >"$tmp/devsim.out" 2>&1 &
    dpid=$!
    for _ in $(seq 100); do grep -q '^orq-devsim: ports' "$tmp/devsim.out" && break; sleep 0.1; done
    grep -q '^orq-devsim: ports' "$tmp/devsim.out" || fail "$name: orq-devsim did not start"
  fi
  [ "$name" = no-service ] && export JACK_DEFAULT_SERVER=orq-no-such-server

  "$editor" >"$tmp/out" 2>&1 &
  epid=$!
  info=""
  for _ in $(seq 200); do
    id=$(xwininfo -root -tree | awk '/"Tarvik Editor"/ {print $1}' | while read -r w; do
      xwininfo -id "$w" | grep -q 'Map State: IsViewable' && echo "$w"; done | head -n 1)
    [ -n "$id" ] && info=$(xwininfo -id "$id") && break
    sleep 0.05
  done
  [ -n "$info" ] || fail "$name: no window titled 'Tarvik Editor' appeared"
  if [ "$name" = idle ]; then
    # GTK also makes a hidden 10 x 10 client-leader window with the same title.
    count=0
    for id in $(xwininfo -root -tree | awk '/"Tarvik Editor"/ {print $1}'); do
      xwininfo -id "$id" | grep -q 'Map State: IsViewable' && count=$((count + 1))
    done
    [ "$count" -eq 1 ] || fail "expected one window, found $count"
    width=$(awk '/Width:/ {print $2}' <<<"$info")
    height=$(awk '/Height:/ {print $2}' <<<"$info")
    [ "$width" = 1024 ] && [ "$height" = 740 ] || fail "window is ${width}x${height}, expected 1024x740"
  fi
  if [ $wants_device = 1 ]; then
    for _ in $(seq 200); do
      [ "$(grep -c '<- READ_SLOT_NAME' "$tmp/devsim.log" 2>/dev/null)" -ge 6 ] && break
      sleep 0.05
    done
    [ "$(grep -c '<- READ_SLOT_NAME' "$tmp/devsim.log")" -ge 6 ] || fail "$name: the device was not read"
  else
    sleep 0.3 # let the first paints happen
  fi
  case $name in
    killed) kill -KILL "$dpid" && wait "$dpid" 2>/dev/null; dpid="" ;;
    frozen) kill -STOP "$ORQ_JACK_PID" ;;
  esac

  start=$(date +%s%N)
  if [ "$name" = sigterm ]; then
    kill -TERM "$epid"
  else
    "$wm_close" "Tarvik Editor" || fail "$name: could not send the close request"
  fi
  while kill -0 "$epid" 2>/dev/null; do
    [ $((($(date +%s%N) - start) / 1000000)) -gt "$limit" ] && fail "$name: still running ${limit} ms after the close request"
    sleep 0.01
  done
  wait "$epid"
  status=$?
  elapsed=$((($(date +%s%N) - start) / 1000000))
  epid=""
  [ "$status" -eq 0 ] || { cat "$tmp/out"; fail "$name: exit status $status"; }
  echo "$name: closed in ${elapsed} ms with status 0"
  exit 0
fi

# ---- all cases, each on a fresh server, under one display
if [ -z "${DISPLAY:-}" ]; then
  dtmp=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1600x1200x24 -nolisten tcp 3>"$dtmp" 2>/dev/null &
  xpid=$!
  trap 'kill $xpid 2>/dev/null; wait $xpid 2>/dev/null; rm -f "$dtmp"' EXIT
  for _ in $(seq 100); do [ -s "$dtmp" ] && break; sleep 0.05; done
  [ -s "$dtmp" ] || fail "Xvfb did not start"
  export DISPLAY=":$(cat "$dtmp")"
fi
cases=("$@")
[ ${#cases[@]} -gt 0 ] || cases=(idle connected killed frozen no-service sigterm)
for c in "${cases[@]}"; do
  "$with_jack" "$0" "$editor" "$wm_close" "$devsim" --inside "$c" || exit 1
done
