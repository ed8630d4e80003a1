#!/usr/bin/env bash
# How long the editor takes to exit after the close request, in each MIDI situation of
# tests/app/window_test.sh (idle, connected, device killed, JACK server frozen, no service,
# SIGTERM), over several rounds. The editor must be gone within 1000 ms in every case; a round
# that takes longer fails here, where a slow or sanitized build is not run.
# Usage: bench/app/close_bench.sh [BUILD_DIR] [ROUNDS]   (defaults: build, 5)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
rounds=${2:-5}
results=$(mktemp)
trap 'rm -f "$results"' EXIT
for _ in $(seq "$rounds"); do
  ORQ_CLOSE_LIMIT_MS=1000 "$root/tests/app/window_test.sh" "$build/orq-editor" "$build/wm_close" \
    "$build/orq-devsim" | tee -a "$results"
done
echo "case         median   max  (ms from the close request to the exit, $rounds rounds)"
awk '/closed in/ {sub(":", "", $1); print $1, $4}' "$results" | sort -k1,1 -k2,2n |
  awk '{t[$1] = t[$1] " " $2; n[$1]++}
       END {for (c in t) {split(substr(t[c], 2), v, " "); printf "%-12s %6d %5d\n", c, v[int((n[c] + 1) / 2)], v[n[c]]}}'
