#!/usr/bin/env bash
# Cross-builds the Windows editor (build-win/orq-editor.exe) and its tests with MinGW-w64, makes
# the setup program and the portable zip (build-win/ORQ-Editor-VERSION-setup.exe and
# -portable.zip, with NSIS through CPack), and runs the tests under Wine. Everything comes from Debian's archive: the cross compiler, Wine and
# zlib are packages; RtMidi and libsndfile are Debian's source packages (apt-get source; a deb-src
# entry is added when apt has none), built by our CMake; GoogleTest is /usr/src/googletest.
# The build-time generators (pictures, factory IRs, the icon) run on this machine, from the Linux
# build in build/ (made here when there is none, only the generators are built).
# Prints one line per stage; the full output goes to build-win/windows.log.
# Usage: scripts/build-windows.sh [build|test]...   (default: build test)
# Environment: ORQ_JOBS (parallel jobs, default 2), ORQ_HOST_BUILD (the Linux build, default
# build).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
win=$root/build-win
host=${ORQ_HOST_BUILD:-$root/build}
jobs=${ORQ_JOBS:-2}
mkdir -p "$win"
stage_prefix=windows
stage_log=$win/windows.log
. scripts/stage.sh
stage_begin

steps=("$@")
[ ${#steps[@]} -gt 0 ] || steps=(build test)

packages=(
  g++-mingw-w64-x86-64-posix     # the cross compiler (posix threads: std::thread, std::mutex)
  libz-mingw-w64-dev             # zlib for the packed pictures
  wine wine64                    # runs the Windows tests
  dpkg-dev                       # apt-get source unpacks with dpkg-source
  googletest                     # GoogleTest's sources
  cmake ninja-build xvfb x11-utils
  jackd2 xdotool python3         # the MIDI test: a JACK server, clicks, its script
  imagemagick                    # pictures of the window (the drop's hover look)
  nsis                           # the setup program (makensis, amd64-unicode stubs)
)

install_packages() {
  local missing=()
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -eq 0 ]; then
    echo "build-windows: every package is installed"
    return 0
  fi
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  local plan removed
  plan=$(apt-get install -s --no-install-recommends "${missing[@]}")
  removed=$(awk '$1 == "Remv" {print $2}' <<<"$plan" | tr '\n' ' ')
  if [ -n "$removed" ]; then
    echo "build-windows: installing ${missing[*]} would remove: $removed" >&2
    return 1
  fi
  $sudo apt-get install -y -qq --no-install-recommends --no-remove "${missing[@]}"
}

# apt-get source needs a deb-src entry; Debian 12's default sources have none.
have_deb_src() {
  grep -Eqs '^[[:space:]]*deb-src[[:space:]]|^Types:.*deb-src' \
    /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources
}
add_deb_src() {
  if have_deb_src; then
    echo "build-windows: apt has a deb-src entry"
    return 0
  fi
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo tee /etc/apt/sources.list.d/orq-deb-src.sources >/dev/null <<'SOURCES'
# Debian's source packages, for the Windows cross build (scripts/build-windows.sh)
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
  $sudo apt-get update -qq
}

# Unpacks a source package once into build-win/src (with Debian's patches applied) and prints
# its folder.
source_dir() {  # package
  ls -d "$win/src/$1"-[0-9]*/ 2>/dev/null | head -n 1
}
fetch_sources() {
  mkdir -p "$win/src"
  for p in rtmidi libsndfile; do
    if [ -z "$(source_dir $p)" ]; then
      (cd "$win/src" && apt-get source "$p")
    fi
    echo "build-windows: $p from $(source_dir $p)"
  done
}

host_tools() {
  if [ ! -f "$host/build.ninja" ]; then
    cmake -S "$root" -B "$host" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORQ_WERROR=ON
  fi
  cmake --build "$host" -j "$jobs" --target svg2raw pack orq-irgen ri2ico orq-shot wm_close \
    xdnd_drag orq-devsim orq-midi-bridge orqctl
}

configure() {
  # Release: no debugging information to compile and link, which keeps the stage short.
  cmake -S "$root" -B "$win" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORQ_WERROR=ON \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DORQ_HOST_BUILD="$host" \
    -DORQ_RTMIDI_SOURCE="$(source_dir rtmidi)" -DORQ_SNDFILE_SOURCE="$(source_dir libsndfile)"
}

# One display and one Wine server for the whole run, both stopped at the end.
xvfb_pid=""
cleanup() {
  if [ -n "$xvfb_pid" ]; then
    WINEPREFIX=$win/wine-prefix wineserver -k 2>/dev/null || true
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
}
trap cleanup EXIT
run_tests() {
  local fd_file
  fd_file=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1600x1200x24 -nolisten tcp 3>"$fd_file" 2>/dev/null &
  xvfb_pid=$!
  for _ in $(seq 200); do [ -s "$fd_file" ] && break; sleep 0.05; done
  [ -s "$fd_file" ] || { echo "build-windows: Xvfb did not start"; return 1; }
  export DISPLAY=":$(cat "$fd_file")"
  rm -f "$fd_file"
  ctest --test-dir "$win" --output-on-failure --timeout 300
}

for step in "${steps[@]}"; do
  case $step in
    build)
      stage "installing packages" install_packages
      stage "adding Debian's source packages to apt" add_deb_src
      stage "unpacking RtMidi and libsndfile" fetch_sources
      stage "building the generators on this machine" host_tools
      stage "configuring" configure
      stage "building" cmake --build "$win" -j "$jobs"
      stage_summary="package: .* generated"
      stage "making the setup program and the portable zip" cmake --build "$win" --target package
      stage_summary=""
      ;;
    test)
      stage_summary="tests passed"
      stage "testing under Wine" run_tests
      stage_summary=""
      ;;
    *)
      echo "build-windows: unknown step: $step"
      exit 2
      ;;
  esac
done
echo "build-windows: done: ${steps[*]} (output in $stage_log)"
