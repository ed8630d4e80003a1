#!/usr/bin/env bash
# orq-editor.exe under Wine: its window titled "Tarvik Editor" appears, the panel is drawn in it
# (the gold bottom strip of a model 0 panel without a device), and the window manager's close
# request (WM_DELETE_WINDOW) ends the program with status 0 within 3 s.
# Uses the caller's display, or a private Xvfb started and stopped here.
# Usage: smoke_test.sh WINE_RUN EDITOR.exe WM_CLOSE
set -u
wine_run=$1
editor=$2
wm_close=$3
limit_ms=3000
tmp=$(mktemp -d)
epid="" xpid=""
cleanup() {
  if [ -n "$epid" ] && kill -0 "$epid" 2>/dev/null; then
    kill -TERM "$epid" 2>/dev/null
    wait "$epid" 2>/dev/null
  fi
  [ -n "$xpid" ] && kill "$xpid" 2>/dev/null && wait "$xpid" 2>/dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*"
  [ -s "$tmp/out" ] && { echo "---- editor output"; grep -v '^ALSA lib' "$tmp/out" | tail -20; }
  exit 1
}

if [ -z "${DISPLAY:-}" ]; then
  Xvfb -displayfd 3 -screen 0 1600x1200x24 -nolisten tcp 3>"$tmp/display" 2>/dev/null &
  xpid=$!
  for _ in $(seq 100); do [ -s "$tmp/display" ] && break; sleep 0.05; done
  [ -s "$tmp/display" ] || fail "Xvfb did not start"
  export DISPLAY=":$(cat "$tmp/display")"
fi

"$wine_run" "$editor" >"$tmp/out" 2>&1 &
epid=$!
id=""
for _ in $(seq 600); do
  id=$(xwininfo -root -tree 2>/dev/null | awk '/"Tarvik Editor"/ {print $1}' | while read -r w; do
    xwininfo -id "$w" | grep -q 'Map State: IsViewable' && echo "$w"; done | head -n 1)
  [ -n "$id" ] && break
  kill -0 "$epid" 2>/dev/null || fail "the editor ended before its window appeared"
  sleep 0.1
done
[ -n "$id" ] || fail "no window titled 'Tarvik Editor' appeared within 60 s"

# The X window is the client area; its bottom 21 pixels are the strip (at 96 dpi).
info=$(xwininfo -id "$id")
width=$(awk '/Width:/ {print $2}' <<<"$info")
height=$(awk '/Height:/ {print $2}' <<<"$info")
pixel() { import -window "$id" -crop "1x1+$1+$2" -depth 8 rgb:- 2>/dev/null | od -An -tx1 | tr -d ' \n'; }
colour=""
for _ in $(seq 50); do
  colour=$(pixel $((width / 2)) $((height - 10)))
  [ "$colour" = d2ae66 ] && break
  sleep 0.1
done
[ "$colour" = d2ae66 ] || fail "the panel was not drawn: $colour at the bottom strip of ${width}x$height"

start=$(date +%s%N)
"$wm_close" "Tarvik Editor" || fail "could not send the close request"
while kill -0 "$epid" 2>/dev/null; do
  [ $((($(date +%s%N) - start) / 1000000)) -gt $limit_ms ] && fail "still running $limit_ms ms after the close request"
  sleep 0.01
done
wait "$epid"
status=$?
elapsed=$((($(date +%s%N) - start) / 1000000))
epid=""
[ "$status" -eq 0 ] || fail "exit status $status"
echo "closed in $elapsed ms with status 0"
