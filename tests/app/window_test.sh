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
#   dpi120, dpi144  no device, on a display of its own whose Xft.dpi is 120 or 144: the window
#               opens at 1280 x 925 or 1536 x 1110 and the panel is drawn at that scale
# The idle and dpi cases also check the program's icon on the window (_NET_WM_ICON, 48 and 256).
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
  [ -s "${tmp:-}/out" ] && { echo "---- editor output"; tail -40 "$tmp/out"; }
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
    [ -n "${xpid:-}" ] && kill "$xpid" 2>/dev/null && wait "$xpid" 2>/dev/null
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
  want_w=1024 want_h=740 xft_dpi=""
  case $name in
    dpi*)
      # A display of its own, kept from resetting (which drops the resources) between clients.
      xft_dpi=${name#dpi}
      Xvfb -displayfd 3 -noreset -screen 0 1600x1200x24 -nolisten tcp 3>"$tmp/display" 2>/dev/null &
      xpid=$!
      for _ in $(seq 100); do [ -s "$tmp/display" ] && break; sleep 0.05; done
      [ -s "$tmp/display" ] || fail "$name: Xvfb did not start"
      export DISPLAY=":$(cat "$tmp/display")"
      echo "Xft.dpi: $xft_dpi" | xrdb -nocpp -merge || fail "$name: xrdb could not set Xft.dpi"
      # The outer size rounds up: ceiling(dpi x 1024 / 96).
      want_w=$(((xft_dpi * 1024 + 95) / 96))
      want_h=$(((xft_dpi * 740 + 95) / 96))
      ;;
  esac

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
  if [ "$name" = idle ] || [ -n "$xft_dpi" ]; then
    # GTK also makes a hidden 10 x 10 client-leader window with the same title.
    count=0
    for w in $(xwininfo -root -tree | awk '/"Tarvik Editor"/ {print $1}'); do
      xwininfo -id "$w" | grep -q 'Map State: IsViewable' && count=$((count + 1))
    done
    [ "$count" -eq 1 ] || fail "expected one window, found $count"
    width=$(awk '/Width:/ {print $2}' <<<"$info")
    height=$(awk '/Height:/ {print $2}' <<<"$info")
    [ "$width" = "$want_w" ] && [ "$height" = "$want_h" ] ||
      fail "$name: window is ${width}x${height}, expected ${want_w}x${want_h}"
    # The program's icon rides on the window as _NET_WM_ICON: 48 x 48 first, then 256 x 256.
    for _ in $(seq 40); do
      icon=$(xprop -len 1000000 -id "$id" -notype -f _NET_WM_ICON 32c _NET_WM_ICON 2>/dev/null | tr -d ' ')
      grep -q "^_NET_WM_ICON=" <<<"$icon" && break
      sleep 0.05
    done
    grep -q "^_NET_WM_ICON=48,48," <<<"$icon" || fail "$name: no 48 x 48 window icon: ${icon:0:80}"
    values=$(tr ',' '\n' <<<"$icon" | wc -l)
    [ "$values" -eq $((2 + 48 * 48 + 2 + 256 * 256)) ] ||
      fail "$name: window icon of $values values, not 48 and 256"
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
  # The panel is drawn at the display's scale: the bottom strip (21 units high, model 0's gold
  # plate) starts 21 x dpi / 96 pixels above the bottom, not 21.
  if [ -n "$xft_dpi" ]; then
    pixel() { import -window root -crop "1x1+$1+$2" -depth 8 rgb:- 2>/dev/null | od -An -tx1 | tr -d ' \n'; }
    x=$((width / 2))
    strip=$((height - (21 * xft_dpi + 95) / 96 + 1))
    [ "$(pixel "$x" "$strip")" = d2ae66 ] || fail "$name: no strip at y $strip: $(pixel "$x" "$strip")"
    [ "$(pixel "$x" $((strip - 3)))" != d2ae66 ] || fail "$name: strip already at y $((strip - 3))"
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
  [ "$status" -eq 0 ] || fail "$name: exit status $status"
  echo "$name: closed in ${elapsed} ms with status 0"
  exit 0
fi

# ---- all cases, each on a fresh server, under one display of their own: the window count
# must not see the windows of tests running beside this one (the same title, on their display)
dtmp=$(mktemp)
Xvfb -displayfd 3 -screen 0 1600x1200x24 -nolisten tcp 3>"$dtmp" 2>/dev/null &
xpid=$!
trap 'kill $xpid 2>/dev/null; wait $xpid 2>/dev/null; rm -f "$dtmp"' EXIT
for _ in $(seq 100); do [ -s "$dtmp" ] && break; sleep 0.05; done
[ -s "$dtmp" ] || fail "Xvfb did not start"
export DISPLAY=":$(cat "$dtmp")"
cases=("$@")
[ ${#cases[@]} -gt 0 ] || cases=(idle connected killed frozen no-service sigterm dpi120 dpi144)
for c in "${cases[@]}"; do
  "$with_jack" "$0" "$editor" "$wm_close" "$devsim" --inside "$c" || exit 1
done
