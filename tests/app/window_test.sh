#!/usr/bin/env bash
# The real editor under Xvfb: one window titled "Tarvik Editor" of 1024 x 740 (at the desktop's
# 96 dpi; at another Xft.dpi scaled with it, and the panel with it), carrying the program's
# icon, and exit status 0 within one second of the window manager's close request.
# Usage: window_test.sh EDITOR WM_CLOSE [XFT_DPI]
set -u
editor=$1
wm_close=$2
xft_dpi=${3:-}
tmp=$(mktemp -d)
cleanup() {
  [ -n "${epid:-}" ] && kill "$epid" 2>/dev/null
  [ -n "${xpid:-}" ] && kill "$xpid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*"
  [ -s "$tmp/out" ] && { echo "---- editor output"; tail -40 "$tmp/out"; }
  exit 1
}

# A display of our own, unless the caller gave one. A test of another dpi always has its own,
# kept from resetting (which would drop the resources) when the last client leaves.
if [ -z "${DISPLAY:-}" ] || [ -n "$xft_dpi" ]; then
  Xvfb -displayfd 3 -noreset -screen 0 1600x1200x24 -nolisten tcp 3>"$tmp/display" 2>/dev/null &
  xpid=$!
  for _ in $(seq 100); do [ -s "$tmp/display" ] && break; sleep 0.05; done
  [ -s "$tmp/display" ] || fail "Xvfb did not start"
  export DISPLAY=":$(cat "$tmp/display")"
fi
want_w=1024
want_h=740
if [ -n "$xft_dpi" ]; then
  echo "Xft.dpi: $xft_dpi" | xrdb -nocpp -merge || fail "xrdb could not set Xft.dpi"
  # The outer size rounds up: ceiling(dpi x 1024 / 96).
  want_w=$(( (xft_dpi * 1024 + 95) / 96 ))
  want_h=$(( (xft_dpi * 740 + 95) / 96 ))
fi

"$editor" >"$tmp/out" 2>&1 &
epid=$!
info=""
for _ in $(seq 100); do
  id=$(xwininfo -root -tree | awk '/"Tarvik Editor"/ && /1024x|[0-9]x[0-9]/ {print $1}' | while read -r w; do
    xwininfo -id "$w" | grep -q 'Map State: IsViewable' && echo "$w"; done | head -n 1)
  [ -n "$id" ] && info=$(xwininfo -id "$id") && break
  sleep 0.05
done
[ -n "$info" ] || fail "no window titled 'Tarvik Editor' appeared"
# GTK also makes a hidden 10 x 10 client-leader window with the same title; count mapped ones.
count=0
for w in $(xwininfo -root -tree | awk '/"Tarvik Editor"/ {print $1}'); do
  xwininfo -id "$w" | grep -q 'Map State: IsViewable' && count=$((count + 1))
done
[ "$count" -eq 1 ] || fail "expected one window, found $count"
width=$(awk '/Width:/ {print $2}' <<<"$info")
height=$(awk '/Height:/ {print $2}' <<<"$info")
[ "$width" = "$want_w" ] && [ "$height" = "$want_h" ] ||
  fail "window is ${width}x${height}, expected ${want_w}x${want_h}"
# The program's icon rides on the window as _NET_WM_ICON: 48 x 48 first, then 256 x 256.
for _ in $(seq 40); do
  icon=$(xprop -len 1000000 -id "$id" -notype -f _NET_WM_ICON 32c _NET_WM_ICON 2>/dev/null | tr -d ' ')
  grep -q "^_NET_WM_ICON=" <<<"$icon" && break
  sleep 0.05
done
grep -q "^_NET_WM_ICON=48,48," <<<"$icon" || fail "no 48 x 48 window icon: ${icon:0:80}"
values=$(tr ',' '\n' <<<"$icon" | wc -l)
[ "$values" -eq $((2 + 48 * 48 + 2 + 256 * 256)) ] || fail "window icon of $values values, not 48 and 256"
sleep 0.3  # let the first paints happen

# The panel is drawn at the same scale: the bottom strip (21 units high, model 0's gold plate)
# starts 21 x dpi / 96 pixels above the bottom, not 21.
if [ -n "$xft_dpi" ]; then
  pixel() { import -window root -crop "1x1+$1+$2" -depth 8 rgb:- 2>/dev/null | od -An -tx1 | tr -d ' \n'; }
  x=$(( width / 2 ))
  strip=$(( height - (21 * xft_dpi + 95) / 96 + 1 ))
  [ "$(pixel "$x" "$strip")" = d2ae66 ] || fail "no strip at y $strip: $(pixel "$x" "$strip")"
  [ "$(pixel "$x" $((strip - 3)))" != d2ae66 ] || fail "strip already at y $((strip - 3))"
fi

start=$(date +%s%N)
"$wm_close" "Tarvik Editor" || fail "could not send the close request"
status=""
while kill -0 "$epid" 2>/dev/null; do
  [ $(( ($(date +%s%N) - start) / 1000000 )) -gt 1000 ] && fail "still running 1 s after the close request"
  sleep 0.01
done
wait "$epid"; status=$?
epid=""
elapsed=$(( ($(date +%s%N) - start) / 1000000 ))
[ "$status" -eq 0 ] || { cat "$tmp/out"; fail "exit status $status"; }
echo "window ${width}x${height}${xft_dpi:+ at Xft.dpi $xft_dpi}, closed in ${elapsed} ms with status 0"
