#!/usr/bin/env bash
# CI stage: fuzz every exported formula-text routine, and the pattern-file
# reader and writer, for a bounded time under
# AddressSanitizer and UndefinedBehaviorSanitizer. Any finding (a crash, a
# sanitizer report, a broken promise of the routine, a timeout) fails the
# stage. Prints how many executions each run reached.
# FUZZ_SECONDS (default 30) sets the time per harness, FUZZ_OUT (default
# build/fuzz) the build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${FUZZ_OUT:-build/fuzz}
seconds=${FUZZ_SECONDS:-30}
fuzz/build.sh "$out"

export ASAN_OPTIONS=abort_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

failed=()
for h in atof pack pack_brackets spread scale pattern_file; do
  case $h in
    pattern_file) limits=(-max_len=4096 -dict=fuzz/pattern.dict) ;;
    *) limits=(-max_len=128 -dict=fuzz/formula.dict) ;;
  esac
  # New inputs go to a work folder; the seed corpus in the tree is read only.
  work="$out/work/$h"
  mkdir -p "$work" "$out/findings/$h"
  log="$out/fuzz_$h.log"
  status=0
  "$out/fuzz_$h" -max_total_time="$seconds" -timeout=10 "${limits[@]}" \
      -artifact_prefix="$out/findings/$h/" \
      -print_final_stats=1 "$work" "fuzz/corpus/$h" >"$log" 2>&1 || status=$?
  runs=$(grep -oE 'Done [0-9]+ runs' "$log" | grep -oE '[0-9]+' || echo "?")
  if [ "$status" -ne 0 ]; then
    echo "fuzz_$h: FINDING after $runs executions (exit $status); see $log and $out/findings/$h/"
    grep -E 'ERROR|runtime error|SUMMARY' "$log" | head -5 || true
    failed+=("$h")
  else
    echo "fuzz_$h: clean, $runs executions in $seconds s"
  fi
done

if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzz: findings in ${failed[*]}" >&2
  exit 1
fi
