#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, ASan, UBSan) in build-fuzz and runs each from its
# seeds: the sysex reply handler (protocol), the WAV import (wav), program files and backups
# (settings_file), the dropped-file URI list (uri), the firmware address check (address) and
# orqctl's command line (orqctl). Usage: scripts/fuzz.sh [RUNS] (default 1000000), shared evenly
# between the targets; ORQ_FUZZ_SECONDS caps the total time too. Exits non-zero when the build
# fails or a fuzzer finds a crash, leak or broken invariant (its input is left in build-fuzz as
# TARGET-crash-...).
# scripts/fuzz-campaign.sh reads the functions below for its long runs.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${ORQ_FUZZ_BUILD:-$root/build-fuzz}
fuzz_targets=(protocol wav settings_file uri address orqctl)

fuzz_build() {
  CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DORQ_BUILD_FUZZ=ON -DORQ_BUILD_TESTS=OFF -DORQ_BUILD_BENCH=OFF -DORQ_WERROR=ON >/dev/null
  cmake --build "$build" -j2 --target orq-wav-seeds orq-settings-seeds \
    "${fuzz_targets[@]/#/fuzz_}"
}

# The longest input each target is given: what its decoder reads, with room to spare.
fuzz_max_len() {
  case $1 in
    wav) echo 8192 ;;
    settings_file) echo 4096 ;;  # a backup is 2304 bytes
    protocol) echo 1024 ;;
    *) echo 512 ;;
  esac
}

# Writes target $1's seeds into folder $2: the inputs its tests use.
fuzz_seed() {
  local target=$1 corpus=$2 n=0 line
  mkdir -p "$corpus"
  case $target in
    protocol)
      # One well-formed message of each reply, so the fuzzer starts from the real framing; each
      # seed is [length][message] as the target reads its input.
      printf '\x04\xf0\x00\x08\xf7' >"$corpus/seed-ack"
      printf '\x06\xf0\x00\x0b\x01\x02\xf7' >"$corpus/seed-version"
      printf '\x05\xf0\x00\x03\x21\xf7\x04\xf0\x00\x03\xf7' >"$corpus/seed-notice"
      printf '\x12\xf0\x00\x02\x00\x2c\x01\x01\x00\x01\x02\x01\x01\x13\x32\x21\x03\x02\xf7' \
        >"$corpus/seed-dump"
      printf '\x0e\xf0\x00\x02\x05\x00\x01\x00\x01\x00\x01\x00\x01\x41\xf7' >"$corpus/seed-dump14"
      { printf '\x46\xf0\x00\x04\x00\x02'; printf '2_my cab%056d' 0 | tr 0 a; printf '\xf7'; } \
        >"$corpus/seed-slotname"
      ;;
    wav) "$build/orq-wav-seeds" "$corpus" ;;  # one short file of each accepted encoding
    settings_file) "$build/orq-settings-seeds" "$corpus" ;;
    *)
      # One input a line, backslash escapes as printf %b reads them.
      while IFS= read -r line; do
        printf '%b' "$line" >"$corpus/seed-$((++n))"
      done <"$root/fuzz/$target/seeds.txt"
      ;;
  esac
}

# Runs target $1 on corpus $2 for $3 executions or $4 seconds (0: no limit), with libFuzzer's
# output in $build/TARGET.log as well; further arguments go to libFuzzer. Then prints
# "TARGET: N executions" and sets fuzz_executions to N. Its status is the fuzzer's.
fuzz_run() {
  local target=$1 corpus=$2 runs=$3 seconds=$4 status=0
  shift 4
  "$build/fuzz_$target" -runs="$runs" -max_total_time="$seconds" \
    -max_len="$(fuzz_max_len "$target")" -print_final_stats=1 \
    -artifact_prefix="$build/$target-" "$@" "$corpus" 2>&1 | tee "$build/$target.log" ||
    status=$?
  fuzz_executions=$(sed -n 's/^stat::number_of_executed_units: //p' "$build/$target.log")
  echo "$target: ${fuzz_executions:-?} executions"
  return "$status"
}

[ "${BASH_SOURCE[0]}" = "$0" ] || return 0  # read by another script: the functions only

runs=${1:-1000000}
seconds=${ORQ_FUZZ_SECONDS:-0}
count=${#fuzz_targets[@]}
total=0
fuzz_build
for target in "${fuzz_targets[@]}"; do
  corpus=$build/fuzz-corpus/$target
  fuzz_seed "$target" "$corpus"
  fuzz_run "$target" "$corpus" $((runs / count)) $((seconds > count ? seconds / count : seconds))
  total=$((total + fuzz_executions))
done
echo "fuzzed $count targets: $total executions"
