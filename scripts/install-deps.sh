#!/usr/bin/env bash
# Installs every Debian 12 package the build, the tests and the demo need. Idempotent: does
# nothing when all of them are present. Runs apt-get as root, or through sudo. Never removes a
# package: if apt would have to (say, to swap the user's JACK 2 for JACK 1), it stops and says so.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  clang libclang-rt-14-dev                     # libFuzzer targets
  libgtk-3-dev librsvg2-dev librsvg2-bin       # window, drawing, SVG conversion at build time
  librtmidi-dev jackd2 libjack-jackd2-dev      # MIDI, and the JACK server the tests run
  libsndfile1-dev libcurl4-openssl-dev         # WAV import, firmware download
  zlib1g-dev                                   # the packed pictures
  libgtest-dev libgmock-dev libbenchmark-dev   # tests and benchmarks
  fonts-open-sans                              # the semibold panel face
  xvfb xdotool x11-utils xauth imagemagick     # real-window tests and screenshots
  x11-xserver-utils                            # xrdb: the desktop's Xft.dpi in the tests
  python3                                      # the end-to-end test driver, TLS test server
  openssl                                      # a throwaway certificate for the TLS test
  desktop-file-utils appstream debootstrap     # checks of the installed files and the package
  gdb                                          # thread stacks of a test program that crashed
  ccache                                       # compiler cache, kept between runs (~/.cache)
)
# libjack-jackd2-dev is named because librtmidi-dev accepts either JACK's development package
# and apt, left to choose, takes JACK 1's (libjack-dev), which conflicts with jackd2 and would
# remove it.

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: every package is installed"
  exit 0
fi

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# jackd2 asks whether to enable realtime scheduling; answer no without a prompt.
echo "jackd2 jackd/tweak_rt_limits boolean false" | $sudo debconf-set-selections
$sudo apt-get update -qq
# A dry run first: the install goes ahead only if it removes nothing.
plan=$(apt-get install -s --no-install-recommends "${missing[@]}")
removed=$(awk '$1 == "Remv" {print $2}' <<<"$plan" | tr '\n' ' ')
if [ -n "$removed" ]; then
  echo "install-deps: installing ${missing[*]} would remove: $removed" >&2
  echo "install-deps: nothing was changed; install the packages by hand, keeping yours" >&2
  exit 1
fi
$sudo apt-get install -y -qq --no-install-recommends --no-remove "${missing[@]}"
