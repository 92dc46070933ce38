#!/usr/bin/env bash
# The dynamic symbols that libqpkit6.so defines must be exactly the exported
# functions that exist in the sources: every QP_EXPORT definition, nothing more.
set -euo pipefail
cd "$(dirname "$0")/.."
lib=${1:?usage: check-exports.sh path/to/libqpkit6.so}
want=$(scripts/export-names.sh)
have=$(nm -D --defined-only "$lib" | awk '{print $3}' | sed 's/@.*//' | LC_ALL=C sort -u)
if [ "$want" != "$have" ]; then
  echo "check-exports: $lib exports differ from the sources' QP_EXPORT definitions" >&2
  diff <(echo "$want") <(echo "$have") >&2 || true
  exit 1
fi
echo "check-exports: $(echo "$have" | grep -c . || true) exports, as defined: $(echo $have)"
