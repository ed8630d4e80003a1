#!/usr/bin/env bash
# Builds the editor and runs every test: a normal build, its Debian package installed into a
# throwaway Debian 12 root, an AddressSanitizer + UndefinedBehaviorSanitizer build, a
# ThreadSanitizer build for the threaded tests, and a short fuzzing run. Starts the services the tests need (Xvfb; each MIDI test run gets a private JACK
# dummy server) and stops them again. Warnings are errors.
# Usage: scripts/test.sh [normal|package|asan|tsan|fuzz ...]   (default: all five; package needs
# the normal build and installs the Debian package into a throwaway Debian 12 root)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
scripts/install-deps.sh

stages=("$@")
[ ${#stages[@]} -gt 0 ] || stages=(normal package asan tsan fuzz)
jobs=${ORQ_JOBS:-2}

# One virtual display for every GUI test of this run.
xvfb_pid=""
cleanup() { [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null; wait 2>/dev/null || true; }
trap cleanup EXIT
start_xvfb() {
  [ -n "$xvfb_pid" ] && return
  local fd_file
  fd_file=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1600x1200x24 -nolisten tcp 3>"$fd_file" 2>/dev/null &
  xvfb_pid=$!
  for _ in $(seq 200); do [ -s "$fd_file" ] && break; sleep 0.05; done
  [ -s "$fd_file" ] || { echo "Xvfb did not start"; exit 1; }
  export DISPLAY=":$(cat "$fd_file")"
  rm -f "$fd_file"
}

configure_and_build() {  # dir, extra cmake args...
  local dir=$1; shift
  cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORQ_WERROR=ON "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
}

run_ctest() {  # dir, ctest args...
  local dir=$1; shift
  start_xvfb
  scripts/with-jack.sh ctest --test-dir "$dir" --output-on-failure --timeout 600 "$@"
}

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1

for stage in "${stages[@]}"; do
  echo "=== $stage ==="
  case $stage in
    normal)
      configure_and_build build
      run_ctest build
      ;;
    package)
      scripts/package-test.sh build
      ;;
    asan)
      configure_and_build build-asan -DORQ_SANITIZE=address -DORQ_BUILD_BENCH=OFF
      run_ctest build-asan
      ;;
    tsan)
      configure_and_build build-tsan -DORQ_SANITIZE=thread -DORQ_BUILD_BENCH=OFF
      run_ctest build-tsan -L threaded
      ;;
    fuzz)
      if [ -x scripts/fuzz.sh ]; then scripts/fuzz.sh "${ORQ_FUZZ_RUNS:-200000}"; fi
      ;;
    *)
      echo "unknown stage: $stage"; exit 2
      ;;
  esac
done
echo "all test stages passed: ${stages[*]}"
