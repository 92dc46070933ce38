#!/usr/bin/env bash
# Regenerates the peer's files from the patterns here: every piece exported
# by Valentina 0.7.52 (Debian package `valentina`; scripts/install-deps.sh
# peer installs it) as AAMA R12, AAMA R2000, ASTM R12 and plain R12 DXF and
# as SVG, then the figures measured on the SVG (figures.json), then a check
# of every DXF against those figures. The tests read the committed files and
# never need Valentina.
# Usage: tests/data/peer-dxf/make.sh
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
forms=(aama-r12:16 aama-r2000:19 astm-r12:25 plain-r12:7 svg:0)

command -v valentina >/dev/null || {
  echo "make.sh: valentina is not installed (scripts/install-deps.sh peer)" >&2; exit 2; }

# Valentina reads and writes its settings under the home folder; a fresh one
# keeps a user's preferences out of the files and the user's folder clean.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export HOME=$scratch XDG_CONFIG_HOME=$scratch/config XDG_RUNTIME_DIR=$scratch/run
export QT_QPA_PLATFORM=offscreen
mkdir -m 700 "$XDG_RUNTIME_DIR"

for source in "$here"/*.val; do
  name=$(basename "$source" .val)
  # Valentina may leave a backup beside a pattern it opens: give it a copy.
  val=$scratch/$name.val
  cp "$source" "$val"
  for form in "${forms[@]}"; do
    suffix=${form%%:*} number=${form##*:}
    out=$scratch/out
    rm -rf "$out" && mkdir "$out"
    valentina -b "$name" -d "$out" --exportOnlyDetails -f "$number" "$val" \
      >"$scratch/log" 2>&1 || { cat "$scratch/log" >&2; exit 1; }
    made=("$out"/*)
    [ ${#made[@]} -eq 1 ] && [ -f "${made[0]}" ] || {
      echo "make.sh: $name -f $number made ${#made[@]} files" >&2; exit 1; }
    case $suffix in
      svg) cp "${made[0]}" "$here/$name.svg" ;;
      *)   cp "${made[0]}" "$here/$name-$suffix.dxf" ;;
    esac
  done
done

/usr/bin/python3 "$here/figures.py" write
/usr/bin/python3 "$here/figures.py" check
