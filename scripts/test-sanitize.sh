#!/usr/bin/env bash
# Sanitized stage: the whole native suite and qpkit built with
# AddressSanitizer and UndefinedBehaviorSanitizer, every test program run
# under them, and every case of the replay corpus (examples/corpus.json)
# played through the sanitized qpkit, with `info` and `render` of each
# pattern. The first report of either sanitizer ends the program with a
# failure, and so the stage.
# SANITIZE_OUT (default build/sanitize) sets the build folder; with the
# argument `build` the stage only builds (the fuzz stage's long session runs
# the sanitized host tests).
set -euo pipefail
cd "$(dirname "$0")/.."
b=${SANITIZE_OUT:-build/sanitize}
# -O1 keeps the instrumented suite quick; no sanitizer is allowed to recover.
flags="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B $b -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" \
  -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="$flags" -DCMAKE_SHARED_LINKER_FLAGS="$flags" >/dev/null
cmake --build $b -j2
[ "${1:-}" = build ] && exit 0

# Leaks count too: a tool run that loses a block loses the user's memory
# over a day's session.
export ASAN_OPTIONS=abort_on_error=1:detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
# Every program that never loads the DXF library, checked in full.
ctest --test-dir $b --output-on-failure -j2 -E '^host'
# The host's programs (its tests and qpkit, which plays the corpus below)
# load libdime (DXF export and import), which frees what
# it allocates with new[] by delete in dimeUnknownEntity and its memory
# handler's malloc'd blocks by delete, and leaks its texts: faults of the
# library, not of ours, that glibc's one allocator absorbs. For these
# programs alone mismatched deallocation is not checked and the library's
# leaks are suppressed (scripts/lsan-libdime.supp); every leak of ours still
# counts.
export ASAN_OPTIONS=$ASAN_OPTIONS:alloc_dealloc_mismatch=0
export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan-libdime.supp
ctest --test-dir $b --output-on-failure -j2 -R '^host'

# The corpus through the sanitized program, as a user would run it.
qpkit=$b/bin/qpkit
out=$b/corpus
mkdir -p "$out"
cases=$(scripts/corpus-cases.sh)
n=0
while read -r pattern script; do
  name=${script%.txt}
  "$qpkit" run "examples/$pattern" "examples/$script" -o "$out/$name.json" --svg "$out/$name.svg" >"$out/$name.log"
  "$qpkit" info "$out/$name.json" >>"$out/$name.log"
  n=$((n + 1))
done <<<"$cases"
for pattern in $(printf '%s\n' "$cases" | cut -d ' ' -f1 | sort -u); do
  "$qpkit" info "examples/$pattern" >"$out/${pattern%.json}.info"
  "$qpkit" render "examples/$pattern" -o "$out/${pattern%.json}.svg" >/dev/null
done
echo "sanitize: every test program and $n corpus cases clean under ASan and UBSan"
