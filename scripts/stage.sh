# Sourced by the set-up scripts: each stage prints one line on the terminal and sends the
# command's whole output (apt, the compiler, the tests) to a log file; when a stage fails, the
# end of its output is shown and the script stops with its status.
# Before use set stage_prefix (e.g. "demo") and stage_log (a file, truncated by stage_begin).
# stage_summary, when set, is a pattern: the last output line matching it is added to "ok".

stage_begin() {
  mkdir -p "$(dirname "$stage_log")"
  : >"$stage_log"
}

# stage NAME CMD... : runs CMD with its output in the log; prints "PREFIX: NAME ... ok, N s".
stage() {
  local name=$1
  shift
  printf '%s: %s ... ' "$stage_prefix" "$name"
  local from
  from=$(($(wc -l <"$stage_log") + 1))
  echo "=== $name: $*" >>"$stage_log"
  local status=0 started=$SECONDS
  "$@" >>"$stage_log" 2>&1 </dev/null || status=$?
  local took="$((SECONDS - started)) s"
  if [ "$status" -eq 0 ]; then
    local summary=""
    if [ -n "${stage_summary:-}" ]; then
      summary=$(tail -n +"$from" "$stage_log" | grep -E "$stage_summary" | tail -n 1 || true)
    fi
    echo "ok, $took${summary:+ ($summary)}"
    return 0
  fi
  echo "FAILED after $took (exit status $status)"
  echo "----- end of its output (all of it is in $stage_log):"
  tail -n +"$from" "$stage_log" | tail -n 80
  exit "$status"
}
