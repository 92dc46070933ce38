#!/usr/bin/env bash
# CI stage: fuzz every exported formula-text routine, the pattern-file
# reader and writer, and random sessions of every tool handler (one run per
# tool of fuzz/fuzz_tool_session.cpp's table), for a bounded time under
# AddressSanitizer and UndefinedBehaviorSanitizer, then the long session at
# full length under the same. Any finding (a crash, a sanitizer report, a
# broken promise of the routine, a timeout) fails the stage. Prints how
# many executions each run reached.
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

# Tool sessions: per tool, the executions, the share of sessions that
# reached the tool's edit (at least 20%) and the line coverage of the tool's
# own file over the inputs found (at least 80%, measured by replaying them
# once through a build with clang's source coverage).
llvm_bin() {
  command -v "$1" 2>/dev/null || ls /usr/lib/llvm-*/bin/"$1" 2>/dev/null | sort -V | tail -1
}
profdata=$(llvm_bin llvm-profdata)
cov=$(llvm_bin llvm-cov)
seeds="$out/seeds/tool_session"
rm -rf "$seeds"
mkdir -p "$seeds"
"$out/session_seeds" "$seeds" >/dev/null
tools=$(FUZZ_LIST_TOOLS=1 "$out/fuzz_tool_session" 2>/dev/null)
[ -n "$tools" ] || { echo "fuzz_tool_session: no tool in its table" >&2; failed+=(tool_session); }
while read -r tool source; do
  [ -n "$tool" ] || continue
  work="$out/work/tool_session/$tool"
  findings="$out/findings/tool_session/$tool"
  mkdir -p "$work" "$findings"
  log="$out/fuzz_tool_session_$tool.log"
  # Fixed seeds: inputs of past findings of the tool, played first.
  fixed=()
  [ -d "fuzz/corpus/tool_session/$tool" ] && fixed=("fuzz/corpus/tool_session/$tool")
  status=0
  # A session may mirror a grown piece several times over (the piece doubles
  # each time, up to 32767 points), which takes seconds under the
  # sanitizers on a loaded machine. A hang still fails.
  FUZZ_TOOL=$tool "$out/fuzz_tool_session" -max_total_time="$seconds" -timeout=60 -max_len=400 -len_control=0 \
      -artifact_prefix="$findings/" -print_final_stats=1 "$work" "$seeds" "${fixed[@]}" >"$log" 2>&1 || status=$?
  runs=$(grep -oE 'Done [0-9]+ runs' "$log" | grep -oE '[0-9]+' || echo "?")
  if [ "$status" -ne 0 ]; then
    echo "tool session $tool: FINDING after $runs executions (exit $status); see $log and $findings/"
    echo "  (FUZZ_ECHO=1 FUZZ_TOOL=$tool $out/fuzz_tool_session FILE plays a finding's session aloud)"
    grep -E '^tool session:|ERROR|runtime error|SUMMARY' "$log" | head -5 || true
    failed+=("tool_session:$tool")
    continue
  fi
  reach=$(grep -oE "^tool session $tool: .*" "$log" | tail -1)
  share=$(echo "$reach" | grep -oE '\(([0-9.]+)%\)' | tr -d '()%')
  profile="$out/coverage_$tool"
  rm -f "$profile".profraw
  FUZZ_TOOL=$tool LLVM_PROFILE_FILE="$profile.profraw" "$out/coverage_tool_session" -runs=0 \
      "$work" "$seeds" "${fixed[@]}" >/dev/null 2>&1
  "$profdata" merge -sparse "$profile.profraw" -o "$profile.profdata"
  lines=$("$cov" report "$out/coverage_tool_session" -instr-profile="$profile.profdata" "$source" |
          awk -v f="$source" 'index($1, f) { print $10 }' | tr -d '%')
  echo "tool session $tool: clean, $runs executions in $seconds s; ${share:-?}% of sessions reached the edit;" \
       "line coverage of $source ${lines:-?}%"
  if ! awk -v r="${share:-0}" -v c="${lines:-0}" 'BEGIN { exit !(r >= 20 && c >= 80) }'; then
    echo "tool session $tool: below the bar (edit reached in at least 20% of sessions, 80% of lines)" >&2
    failed+=("tool_session:$tool")
  fi
done <<<"$tools"

# The long session (tests/host/long_session_test.cpp) at its full length
# under the sanitizers: 10,000 point-increase clicks, then every other tool
# on the result, the checker throughout and the blocks counted.
sanitized=${SANITIZE_OUT:-build/sanitize}
scripts/test-sanitize.sh build
if ! QP_SOAK_CLICKS=10000 "$sanitized/bin/test_host" --gtest_filter='LongSession.*' >"$out/long_session.log" 2>&1; then
  echo "long session: FAILED; see $out/long_session.log"
  grep -E 'Failure|ERROR|runtime error|SUMMARY' "$out/long_session.log" | head -5 || true
  failed+=(long_session)
else
  echo "$(grep -E '^long session:' "$out/long_session.log"), clean under ASan and UBSan"
fi

if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzz: findings in ${failed[*]}" >&2
  exit 1
fi
