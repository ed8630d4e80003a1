#!/usr/bin/env bash
# A fuzzing campaign: each target (default: all six of scripts/fuzz.sh) run from its seeds to
# RUNS executions (default 10000000), one after another on one core. Each keeps its corpus in
# build-fuzz/campaign/TARGET, so a second campaign goes on where the first stopped. Prints, per
# target, the executions run, the time and the findings: a crash, leak or broken invariant ends
# that target's run and leaves its input in build-fuzz/TARGET-crash-... (mend the code, keep the
# input as a test, run again); libFuzzer's output is in build-fuzz/TARGET.log. Exits non-zero
# when any target had a finding. On a shared machine run it as nice -n 19.
# Usage: scripts/fuzz-campaign.sh [RUNS [TARGET...]]
set -euo pipefail

. "$(dirname "$0")/fuzz.sh"

runs=${1:-10000000}
[ $# -gt 0 ] && shift
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=("${fuzz_targets[@]}")

fuzz_build >/dev/null
marker=$(mktemp)
trap 'rm -f "$marker"' EXIT
failed=0
for target in "${targets[@]}"; do
  corpus=$build/campaign/$target
  fuzz_seed "$target" "$corpus"
  touch "$marker"
  started=$SECONDS
  status=0
  fuzz_run "$target" "$corpus" "$runs" 0 >/dev/null || status=$?
  findings=$(find "$build" -maxdepth 1 -name "$target-*" -newer "$marker" -printf '%f ')
  line="$target: ${fuzz_executions:-?} executions in $((SECONDS - started)) s"
  if [ "$status" -eq 0 ]; then
    echo "$line, no findings"
  elif grep -q 'libFuzzer: run interrupted' "$build/$target.log"; then
    echo "$line, interrupted"
    exit 130
  else
    failed=1
    why=$(grep -m 1 -E 'invariant broken|ERROR: (Address|Leak|libFuzzer)|runtime error' \
      "$build/$target.log" || true)
    echo "$line, stopped by a finding: ${findings:-(no input saved)} (${why:-status $status})"
  fi
done
exit "$failed"
