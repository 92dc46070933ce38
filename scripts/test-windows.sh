#!/usr/bin/env bash
# Windows build: Qpkit6.dll, the five sibling DLLs and qpkit.exe cross-built
# for 32-bit Windows (i686 MinGW), their export and import tables checked,
# every test program run under wine against the real USER32, GDI32 and
# KERNEL32; then qpkit.exe against qpkit on Linux on the whole replay corpus,
# the demo and every subcommand (scripts/check-windows-host.sh), and the kit
# for host developers, its ZIP built and checked (scripts/check-kit.sh).
#
# Headless: a 32-bit wine prefix of our own (build/windows/wineprefix, about
# 0.6 GB, some 15 s to create the first time) with the null graphics driver,
# so windows, device contexts and GDI work without an X server. Message boxes
# and dialogs are answered by the test programs themselves
# (tests/support/win32). Every program runs under `timeout`; the prefix's
# wineserver is stopped at the end. The ANSI code page is 936 (GBK), as on
# the systems the DLL is made for.
# Usage: test-windows.sh [--all]   (--all: every export must have landed)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
b=build/windows
per_program_timeout=${QP_WINE_TIMEOUT:-300}

cmake --preset windows >/dev/null    # build/windows, cmake/i686-w64-mingw32.cmake
cmake --build --preset windows
scripts/check-dll.sh "$@" $b/bin

export WINEPREFIX=$root/$b/wineprefix
export WINEARCH=win32
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
# Wine takes its code page from the locale's name; the locale itself need not
# be installed (env keeps bash from complaining about it).
codepage=(env LC_ALL=zh_CN.UTF-8)
trap 'wineserver -k 2>/dev/null || true' EXIT

if [ ! -f "$WINEPREFIX/.qpkit-ready" ]; then
  start=$SECONDS
  rm -rf "$WINEPREFIX"
  # wineboot complains about the missing display before the null driver is
  # set; that is expected and harmless.
  timeout 300 wineboot -i >/dev/null 2>&1
  timeout 60 wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null
  # A crashing test program must end, not wait in the crash dialog.
  timeout 60 wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null
  timeout 60 wineserver -w
  touch "$WINEPREFIX/.qpkit-ready"
  echo "test-windows: wine prefix created in $((SECONDS - start)) s"
fi

shopt -s nullglob
programs=($b/bin/test_*.exe)
if [ ${#programs[@]} -eq 0 ]; then
  echo "test-windows: no test programs yet"
  exit 0
fi
logs=$b/test-logs
mkdir -p $logs
failed=()
for exe in "${programs[@]}"; do
  name=$(basename "$exe" .exe)
  log=$logs/$name.log
  rc=0
  # From bin/, where the sibling DLLs are found next to the program. Into a
  # file, not a pipe: wine's services inherit the output and would hold a
  # pipe open for seconds after the program ends. wine's console writes
  # CR LF; the logs keep Unix line ends.
  (cd $b/bin && timeout "$per_program_timeout" "${codepage[@]}" wine "$name.exe" --gtest_color=no) \
    >"$log.crlf" 2>&1 || rc=$?
  tr -d '\r' <"$log.crlf" >"$log"
  rm -f "$log.crlf"
  passed=$(grep -oE '^\[  PASSED  \] [0-9]+' "$log" | grep -oE '[0-9]+$' || echo 0)
  skipped=$(grep -oE '^\[  SKIPPED \] [0-9]+ test' "$log" | grep -oE '[0-9]+' || echo 0)
  if [ $rc -ne 0 ]; then
    [ $rc -eq 124 ] && echo "test-windows: $name timed out after $per_program_timeout s" >&2
    echo "---- $name failed (exit $rc); its output:" >&2
    cat "$log" >&2
    failed+=("$name")
    continue
  fi
  echo "test-windows: $name: $passed passed, $skipped skipped"
  # Each skipped test with its reason.
  awk '/: Skipped$/ { reason = ""; on = 1; next }
       on && /^\[  SKIPPED \]/ { sub(/ \([0-9]+ ms\)$/, ""); print "    skipped " $4 ": " reason; on = 0; next }
       on && NF { reason = reason (reason == "" ? "" : " ") $0 }' "$log"
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "test-windows: FAILED under wine: ${failed[*]}" >&2
  exit 1
fi
echo "test-windows: all ${#programs[@]} test programs passed under wine"

scripts/check-windows-host.sh
scripts/check-kit.sh
