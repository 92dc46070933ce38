#!/usr/bin/env bash
# Native 64-bit build: every test, and the check that libqpkit6.so exports
# nothing but the library's own functions.
set -euo pipefail
cd "$(dirname "$0")/.."
b=build/native
cmake -S . -B $b -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQP_BENCH=ON >/dev/null
cmake --build $b -j2
scripts/check-exports.sh $b/lib/libqpkit6.so
ctest --test-dir $b --output-on-failure -j2
# The benchmarks build with everything else; a short run shows they still
# work (their figures are read from a Release build, not from here).
$b/bin/qp_bench --benchmark_min_time=0.01 >/dev/null
