#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, ASan, UBSan) in build-fuzz and runs them: the
# sysex reply handler, then the WAV import. Usage: scripts/fuzz.sh [RUNS] (default 1000000),
# shared evenly between the two (they run at about the same speed); ORQ_FUZZ_SECONDS caps the
# total time too. Exits non-zero when the build fails or a fuzzer finds a crash, leak or broken
# invariant.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-1000000}
build=${ORQ_FUZZ_BUILD:-$root/build-fuzz}
seconds=${ORQ_FUZZ_SECONDS:-0}
half_runs=$((runs / 2))
half_seconds=$(( seconds > 1 ? seconds / 2 : seconds ))

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DORQ_BUILD_FUZZ=ON -DORQ_BUILD_TESTS=OFF -DORQ_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --target fuzz_protocol fuzz_wav orq-wav-seeds -j2

# Seeds: one well-formed message of each reply, so the fuzzer starts from the real framing.
# Each seed is [length][message] as the target reads its input.
corpus=$build/fuzz-corpus/protocol
mkdir -p "$corpus"
seed() { printf "$2" >"$corpus/seed-$1"; }
seed ack '\x04\xf0\x00\x08\xf7'
seed version '\x06\xf0\x00\x0b\x01\x02\xf7'
seed notice '\x05\xf0\x00\x03\x21\xf7\x04\xf0\x00\x03\xf7'
seed dump '\x12\xf0\x00\x02\x00\x2c\x01\x01\x00\x01\x02\x01\x01\x13\x32\x21\x03\x02\xf7'
seed dump14 '\x0e\xf0\x00\x02\x05\x00\x01\x00\x01\x00\x01\x00\x01\x41\xf7'
name=$(printf '2_my cab'; head -c 61 /dev/zero | tr '\0' 'a')
{ printf '\x46\xf0\x00\x04\x00\x02'; printf '%s' "$name" | head -c 64; printf '\xf7'; } \
  >"$corpus/seed-slotname"

"$build/fuzz_protocol" -runs="$half_runs" -max_total_time="$half_seconds" -max_len=1024 \
  -print_final_stats=1 -artifact_prefix="$build/protocol-" "$corpus"

# Seeds: one short file of each accepted container and encoding, written by libsndfile.
corpus=$build/fuzz-corpus/wav
mkdir -p "$corpus"
"$build/orq-wav-seeds" "$corpus"
"$build/fuzz_wav" -runs="$((runs - half_runs))" -max_total_time="$half_seconds" -max_len=8192 \
  -print_final_stats=1 -artifact_prefix="$build/wav-" "$corpus"
