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
pattern_sources=(host/pattern_read.cpp host/pattern_write.cpp host/record_fields.cpp host/host_io.cpp host/pattern_store.cpp
                 siblings/records/*.cpp siblings/buffers/*.cpp
                 siblings/geometry/formula_eval.cpp win/desktop.cpp win/global_memory.cpp)
"$cxx" "${flags[@]}" -fsanitize=fuzzer,$sanitize fuzz/fuzz_pattern_file.cpp \
  "${pattern_sources[@]}" -o "$out/fuzz_pattern_file"
harnesses+=(pattern_file)
echo "fuzz: built ${harnesses[*]} in $out"
