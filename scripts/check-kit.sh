#!/usr/bin/env bash
# The kit for host developers, as one receives it: the ZIP that
# `cmake --build --preset windows --target package` writes, unpacked, its
# names checked against the list below, its DLLs' tables checked, its public
# header compiled alone (C and C++) by a program that links only the kit's
# import library (tests/kit/header_check.c), and HOST.md's minimal host built
# by the command HOST.md gives and run; both run under wine beside the kit's
# DLLs, and so does the kit's qpkit.exe.
#
# Run by scripts/test-windows.sh, in its wine prefix and environment.
# Usage: check-kit.sh
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
b=build/windows
cc=i686-w64-mingw32-gcc-posix
cxx=i686-w64-mingw32-g++-posix
# Wine takes the ANSI code page (936, GBK) from the locale's name.
winerun() { env LC_ALL=zh_CN.UTF-8 timeout 120 wine "$@"; }

cmake --build --preset windows --target package >/dev/null
shopt -s nullglob
zips=($b/Qpkit6-*-win32.zip)
[ ${#zips[@]} -eq 1 ] || { echo "check-kit: expected one kit in $b, found ${#zips[@]}" >&2; exit 1; }
zip=${zips[0]}
top=$(basename "$zip" .zip)

want="bin/Qpkit.dll
bin/Qpkit1.dll
bin/Qpkit2.dll
bin/Qpkit3.dll
bin/Qpkit4.dll
bin/Qpkit6.dll
bin/qpkit.exe
examples/minimal_host.c
HOST.md
include/qpkit6/qpkit6.h
include/qpkit6/records.h
lib/libQpkit6.dll.a
lib/Qpkit6.def"
have=$(cmake -E tar tf "$zip" | grep -v '/$' | sed "s|^$top/||" | LC_ALL=C sort)
if [ "$have" != "$(LC_ALL=C sort <<<"$want")" ]; then
  echo "check-kit: $zip holds other files than the kit's (< wanted, > in the zip):" >&2
  diff <(LC_ALL=C sort <<<"$want") <(echo "$have") >&2 || true
  exit 1
fi
kit=$b/kit-check
rm -rf "$kit"
mkdir -p "$kit"
(cd "$kit" && cmake -E tar xf "$root/$zip")
kit=$kit/$top
echo "check-kit: $(basename "$zip"), $(du -k "$zip" | cut -f1) KiB, holds:"
(cd "$kit" && find . -type f -printf '%P %s\n' | LC_ALL=C sort | awk '{ printf "    %-28s %8d bytes\n", $1, $2 }')
scripts/check-dll.sh --all "$kit/bin" | grep -E 'Qpkit6.dll exports|as required'

# The header alone, as C and as C++, warnings as errors, linked against the
# kit's import library and nothing else of ours.
for lang in c c++; do
  std=-std=c11
  [ $lang = c++ ] && std=-std=c++17
  $cxx -x $lang $std -Wall -Wextra -pedantic -Werror -I"$kit/include" tests/kit/header_check.c \
    -x none -static "$kit/lib/libQpkit6.dll.a" -o "$kit/bin/header_check.exe"
  (cd "$kit/bin" && winerun header_check.exe >header_check.out 2>&1) ||
    { cat "$kit/bin/header_check.out" >&2; echo "check-kit: the header check failed ($lang)" >&2; exit 1; }
  echo "check-kit: $lang: $(tr -d '\r' <"$kit/bin/header_check.out")"
done

# HOST.md's minimal host, built as HOST.md says, run beside the kit's DLLs.
(cd "$kit" && $cc -std=c11 -Wall -Wextra -Werror -Iinclude examples/minimal_host.c -o bin/minimal_host.exe \
   -luser32 -lgdi32)
if ! (cd "$kit/bin" && winerun minimal_host.exe >minimal_host.out 2>&1); then
  cat "$kit/bin/minimal_host.out" >&2
  echo "check-kit: the minimal host did not run its tool" >&2
  exit 1
fi
echo "check-kit: minimal host: $(tr -d '\r' <"$kit/bin/minimal_host.out" | tr '\n' ' ')"

# The kit's own qpkit.exe (stripped) on a pattern of the examples.
(cd "$kit/bin" && winerun qpkit.exe info "$root/examples/sleeve.json" >qpkit.out 2>&1) ||
  { cat "$kit/bin/qpkit.out" >&2; echo "check-kit: the kit's qpkit.exe failed" >&2; exit 1; }
grep -q 'consistency checker: consistent' "$kit/bin/qpkit.out" ||
  { cat "$kit/bin/qpkit.out" >&2; echo "check-kit: the kit's qpkit.exe printed no verdict" >&2; exit 1; }
echo "check-kit: the kit's qpkit.exe runs"
