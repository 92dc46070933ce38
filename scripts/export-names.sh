#!/usr/bin/env bash
# The names the library exports: every function defined with QP_EXPORT in the
# library's rooms, one a line, sorted. The single list behind the Linux
# symbol check, the Windows .def file and the Windows export-table check.
set -euo pipefail
cd "$(dirname "$0")/.."
dirs=()
for d in frame formula pieces darts; do [ -d "$d" ] && dirs+=("$d"); done
[ ${#dirs[@]} -gt 0 ] || exit 0
grep -rhoE --include='*.cpp' --include='*.h' '^QP_EXPORT[^(]*\bqp[A-Za-z0-9_]+\(' "${dirs[@]}" \
  | grep -oE 'qp[A-Za-z0-9_]+\($' | tr -d '(' | LC_ALL=C sort -u || true
