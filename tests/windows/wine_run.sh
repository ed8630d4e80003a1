#!/usr/bin/env bash
# Runs one Windows program of the cross build under Wine (the build's
# CMAKE_CROSSCOMPILING_EMULATOR): in a Wine prefix of the build's own (ORQ_WINEPREFIX, default
# wine-prefix beside the program), made on first use, with Wine's debug output off and its Mono
# and Gecko installers disabled, so that nothing is fetched from anywhere. The program gets the
# caller's display, or, without one, a private Xvfb started and stopped here (Direct2D under Wine
# draws through OpenGL, which needs an X display even offscreen). Wine's menu builder is off: the
# shortcuts and file types that programs (and the making of a prefix) create stay in the prefix,
# out of the desktop's menus and MIME types in the home folder.
# Usage: wine_run.sh PROGRAM.exe [ARGS...]   -> exits with the program's status.
set -u
if [ $# -eq 0 ]; then
  echo "usage: $0 PROGRAM.exe [ARGS...]" >&2
  exit 2
fi
program_dir=$(cd "$(dirname "$1")" && pwd)
export WINEPREFIX=${ORQ_WINEPREFIX:-$program_dir/wine-prefix}
export WINEARCH=win64
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"
# Mesa's DRI3 path presents nothing on Xvfb: a Direct2D window stays black without this.
export LIBGL_DRI3_DISABLE=1
wine=$(command -v wine || command -v wine64) || {
  echo "wine_run: wine is not installed (Debian packages wine, wine64)" >&2
  exit 2
}

xvfb_pid=""
stop_xvfb() {
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
  fi
}
trap stop_xvfb EXIT
if [ -z "${DISPLAY:-}" ]; then
  fd_file=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1600x1200x24 -nolisten tcp 3>"$fd_file" 2>/dev/null &
  xvfb_pid=$!
  for _ in $(seq 200); do [ -s "$fd_file" ] && break; sleep 0.05; done
  [ -s "$fd_file" ] || { echo "wine_run: Xvfb did not start" >&2; rm -f "$fd_file"; exit 2; }
  export DISPLAY=":$(cat "$fd_file")"
  rm -f "$fd_file"
fi

# The first run makes the prefix; runs side by side wait for it rather than make it twice.
mkdir -p "$(dirname "$WINEPREFIX")"
exec {lock}>"$WINEPREFIX.lock"
flock "$lock"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  "$wine" wineboot --init >/dev/null 2>&1
  wineserver_bin=$(command -v wineserver || echo /usr/lib/wine/wineserver64)
  "$wineserver_bin" --wait 2>/dev/null
fi
flock -u "$lock"

# Wine's own processes (services, devices) start with the first program of a session and
# outlive it, holding whatever it had as output: started here on /dev/null, they never keep the
# caller's pipe (and so ctest) waiting.
"$wine" cmd /c exit </dev/null >/dev/null 2>&1

# Without an Xvfb of ours to stop afterwards, the program takes this process's place, so that
# a signal to it reaches the program.
if [ -z "$xvfb_pid" ]; then
  trap - EXIT
  exec "$wine" "$@"
fi
"$wine" "$@"
