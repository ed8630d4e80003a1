#!/usr/bin/env bash
# Builds the editor and runs every test: a normal build, its Debian package installed into a
# throwaway Debian 12 root, the Windows editor cross-built with MinGW-w64 and tested under Wine,
# an AddressSanitizer + UndefinedBehaviorSanitizer build, a ThreadSanitizer build for the
# threaded tests, and a short fuzzing run. Starts the services the
# tests need (Xvfb; each MIDI test run gets a private JACK dummy server) and stops them again.
# Warnings are errors.
# Prints one line per stage; apt's, the compiler's and the tests' output goes to build/test.log,
# and the end of it is shown when a stage fails.
# Usage: scripts/test.sh [normal|package|windows|asan|tsan|fuzz ...]   (default: all six; package
# and windows need the normal build)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
stage_prefix=test
stage_log=$root/build/test.log
. scripts/stage.sh
stage_begin

stage "installing packages" scripts/install-deps.sh

stages=("$@")
[ ${#stages[@]} -gt 0 ] || stages=(normal package windows asan tsan fuzz)
jobs=${ORQ_JOBS:-2}

# One virtual display for every GUI test of this run, stopped by pid at the end.
xvfb_pid=""
cleanup() {
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
}
trap cleanup EXIT
start_xvfb() {
  [ -n "$xvfb_pid" ] && return
  local fd_file
  fd_file=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1600x1200x24 -nolisten tcp 3>"$fd_file" 2>/dev/null &
  xvfb_pid=$!
  for _ in $(seq 200); do [ -s "$fd_file" ] && break; sleep 0.05; done
  [ -s "$fd_file" ] || { echo "test: Xvfb did not start"; exit 1; }
  export DISPLAY=":$(cat "$fd_file")"
  rm -f "$fd_file"
}

configure() {  # dir, extra cmake args...
  local dir=$1
  shift
  cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORQ_WERROR=ON "$@"
}

run_ctest() {  # dir, ctest args...
  local dir=$1
  shift
  scripts/with-jack.sh ctest --test-dir "$dir" --output-on-failure --timeout 600 "$@"
}

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1

for stage in "${stages[@]}"; do
  case $stage in
    normal) dir=build args=() tests=() ;;
    asan) dir=build-asan args=(-DORQ_SANITIZE=address -DORQ_BUILD_BENCH=OFF) tests=() ;;
    tsan) dir=build-tsan args=(-DORQ_SANITIZE=thread -DORQ_BUILD_BENCH=OFF) tests=(-L threaded) ;;
    package)
      stage_summary="package: orq-editor"
      stage "installing the package into a fresh Debian 12 root" scripts/package-test.sh build
      stage_summary=""
      continue
      ;;
    windows)
      # Its own stages and log (build-win/windows.log); the generators come from build/.
      stage_summary="tests passed"
      stage "building the Windows editor and testing it under Wine" scripts/build-windows.sh
      stage_summary=""
      continue
      ;;
    fuzz)
      if [ -x scripts/fuzz.sh ]; then
        stage_summary="Done [0-9]+ runs"
        stage "fuzzing" scripts/fuzz.sh "${ORQ_FUZZ_RUNS:-200000}"
        stage_summary=""
      fi
      continue
      ;;
    *)
      echo "test: unknown stage: $stage"
      exit 2
      ;;
  esac
  stage "configuring $stage" configure "$dir" "${args[@]}"
  stage "building $stage" cmake --build "$dir" -j "$jobs"
  start_xvfb
  stage_summary="tests passed"
  stage "testing $stage" run_ctest "$dir" "${tests[@]}"
  stage_summary=""
done
echo "test: all stages passed: ${stages[*]} (output in build/test.log)"
