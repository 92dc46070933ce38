#!/usr/bin/env bash
# Builds the fuzz harnesses of the formula-text routines and of pattern files
# with clang, libFuzzer,
# AddressSanitizer and UndefinedBehaviorSanitizer, straight from the formula
# sources (not through the main build, so that it stays quick).
# Usage: fuzz/build.sh [output folder, default build/fuzz]
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-build/fuzz}
mkdir -p "$out/obj"

cxx=${CXX_FUZZ:-clang++}
# Any undefined behaviour ends the run: a report that only warned would let
# the run pass.
flags=(-std=c++17 -g -O1 -I. -fno-omit-frame-pointer -fno-sanitize-recover=all)
sanitize=address,undefined

sources=(formula/number_text.cpp formula/grammar.cpp formula/packing.cpp formula/spreading.cpp)
harnesses=(atof pack pack_brackets spread scale)

objects=()
for src in "${sources[@]}"; do
  obj="$out/obj/$(basename "${src%.cpp}").o"
  "$cxx" "${flags[@]}" -fsanitize=fuzzer-no-link,$sanitize -c "$src" -o "$obj"
  objects+=("$obj")
done
for h in "${harnesses[@]}"; do
  "$cxx" "${flags[@]}" -fsanitize=fuzzer,$sanitize "fuzz/fuzz_$h.cpp" "${objects[@]}" -o "$out/fuzz_$h"
done

# Pattern files: the host's reader and writer over the store stand-in and
# the desktop's global memory, with the formula evaluation the loader uses.
pattern_sources=(host/pattern_read.cpp host/pattern_write.cpp host/record_fields.cpp host/host_io.cpp host/host_io_linux.cpp host/pattern_store.cpp
                 siblings/records/*.cpp siblings/buffers/*.cpp
                 siblings/geometry/formula_eval.cpp win/desktop.cpp win/global_memory.cpp)
"$cxx" "${flags[@]}" -fsanitize=fuzzer,$sanitize fuzz/fuzz_pattern_file.cpp \
  "${pattern_sources[@]}" -o "$out/fuzz_pattern_file"
harnesses+=(pattern_file)

# Tool sessions: the whole library, the sibling stand-ins, the desktop and
# the qpkit host (its replay plays the sessions). Built twice: under the
# sanitizers for the runs, and with clang's source coverage (no sanitizers)
# to measure the line coverage of each tool's own file on the inputs found.
# Files ending in _win32.cpp are the Windows side of the host and of win/.
session_sources=(frame/*.cpp formula/*.cpp pieces/*.cpp darts/*.cpp siblings/*/*.cpp)
for src in win/*.cpp host/*.cpp; do
  [ "$src" = host/main.cpp ] || [[ $src == *_win32.cpp ]] || session_sources+=("$src")
done
# The examples the demo plays, built in as the CMake build does.
cmake -DOUTPUT="$out/examples_embedded.cpp" -DSOURCE_DIR="$PWD/examples" -DKINDS=json,txt,csv \
  -P cmake/embed_files.cmake
session_sources+=("$out/examples_embedded.cpp")
cli11=$(dirname "$(dirname "$(find /usr/include -name CLI.hpp -path '*CLI/CLI.hpp' | head -1)")")
session_flags=("${flags[@]}" -I"$cli11" -DQP_SOURCE_DIR=\"$PWD\")
launcher=()
command -v ccache >/dev/null && launcher=(ccache)
# Objects of one flavour in folder $1, compiled two at a time; $2.. are the
# flags. Any failed compile fails the build.
compile_sessions() {
  local dir=$1
  shift
  rm -rf "$dir"
  mkdir -p "$dir"
  local pids=()
  for src in "${session_sources[@]}"; do
    "${launcher[@]}" "$cxx" "$@" -c "$src" -o "$dir/$(echo "${src%.cpp}" | tr / _).o" &
    pids+=($!)
    if [ ${#pids[@]} -ge 2 ]; then
      wait "${pids[0]}"
      pids=("${pids[@]:1}")
    fi
  done
  for pid in "${pids[@]}"; do wait "$pid"; done
}
compile_sessions "$out/obj-session" "${session_flags[@]}" -fsanitize=fuzzer-no-link,$sanitize
"$cxx" "${session_flags[@]}" -fsanitize=fuzzer,$sanitize fuzz/fuzz_tool_session.cpp \
  "$out"/obj-session/*.o -o "$out/fuzz_tool_session"
compile_sessions "$out/obj-coverage" "${session_flags[@]}" -fsanitize=fuzzer-no-link \
  -fprofile-instr-generate -fcoverage-mapping
"$cxx" "${session_flags[@]}" -fsanitize=fuzzer -fprofile-instr-generate -fcoverage-mapping \
  fuzz/fuzz_tool_session.cpp "$out"/obj-coverage/*.o -o "$out/coverage_tool_session"
# The seed corpus: every case of examples/corpus.json as a session.
"$cxx" "${session_flags[@]}" -DQP_SESSION_SEEDS -fsanitize=$sanitize fuzz/fuzz_tool_session.cpp \
  "$out"/obj-session/*.o -o "$out/session_seeds" -fsanitize=fuzzer-no-link
harnesses+=(tool_session)
echo "fuzz: built ${harnesses[*]} in $out"
