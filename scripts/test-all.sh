#!/usr/bin/env bash
# Builds and runs every test suite: the native 64-bit build, its .deb
# installed, run and removed, the same suite under AddressSanitizer and
# UndefinedBehaviorSanitizer, the 32-bit (-m32) build, the fuzz runs and the
# Windows build under wine with qpkit.exe and the kit. Each stage is a script
# of its own (scripts/test-<stage>.sh); the first failure stops.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh all
for stage in native package sanitize m32 fuzz windows; do
  script=scripts/test-$stage.sh
  [ -x "$script" ] || continue
  echo "==== $stage"
  start=$SECONDS
  "$script"
  echo "==== $stage passed in $((SECONDS - start)) s"
done
