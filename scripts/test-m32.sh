#!/usr/bin/env bash
# 32-bit build (-m32): the library's real word size, where HostDoc's layout
# is exact and the exports are __stdcall.
set -euo pipefail
cd "$(dirname "$0")/.."
b=build/m32
cmake -S . -B $b -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_FLAGS=-m32 -DCMAKE_CXX_FLAGS=-m32 >/dev/null
cmake --build $b -j2
scripts/check-exports.sh $b/lib/libqpkit6.so
ctest --test-dir $b --output-on-failure -j2
