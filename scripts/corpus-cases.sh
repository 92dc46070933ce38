#!/usr/bin/env bash
# The cases of the replay corpus (examples/corpus.json), one a line:
# "PATTERN SCRIPT", file names in examples/. Fails, saying so, when the
# corpus has none. The one reading of the corpus for the scripts that replay
# it (test-sanitize.sh, check-windows-host.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
cases=$(sed -n 's/.*"pattern": *"\([^"]*\)".*/\1/p; s/.*"script": *"\([^"]*\)".*/\1/p' examples/corpus.json |
        paste -d ' ' - -)
[ -n "$cases" ] || { echo "corpus-cases: no case found in examples/corpus.json" >&2; exit 1; }
echo "$cases"
