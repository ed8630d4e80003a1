#!/usr/bin/env bash
# Installs every Debian 12 package the build, the tests and the demo need. Idempotent: does
# nothing when all of them are present. Runs apt-get as root, or through sudo.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  clang libclang-rt-14-dev                     # libFuzzer targets
  libgtk-3-dev librsvg2-dev librsvg2-bin       # window, drawing, SVG conversion at build time
  librtmidi-dev jackd2                         # MIDI, and the JACK server the tests run
  libsndfile1-dev libcurl4-openssl-dev         # WAV import, firmware download
  zlib1g-dev                                   # the packed pictures
  libgtest-dev libgmock-dev libbenchmark-dev   # tests and benchmarks
  fonts-open-sans                              # the semibold panel face
  xvfb xdotool x11-utils xauth imagemagick     # real-window tests and screenshots
  x11-xserver-utils                            # xrdb: the desktop's Xft.dpi in the tests
  python3                                      # the end-to-end test driver, TLS test server
  openssl                                      # a throwaway certificate for the TLS test
  desktop-file-utils appstream debootstrap     # checks of the installed files and the package
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# jackd2 asks whether to enable realtime scheduling; answer no without a prompt.
echo "jackd2 jackd/tweak_rt_limits boolean false" | $sudo debconf-set-selections
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
