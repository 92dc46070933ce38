#!/usr/bin/env bash
# Native 64-bit build: every test, and the check that libqpkit6.so exports
# nothing but the library's own functions.
set -euo pipefail
cd "$(dirname "$0")/.."
b=build/native
cmake -S . -B $b -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build $b -j2
scripts/check-exports.sh $b/lib/libqpkit6.so
ctest --test-dir $b --output-on-failure -j2
