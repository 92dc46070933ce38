#!/usr/bin/env bash
# qpkit.exe under wine against qpkit on Linux: every case of the replay
# corpus (examples/corpus.json), `make demo`'s page and the other
# subcommands, run both ways and compared.
#
# The Linux side is the native build of the same commit (build/native,
# configured and built here when missing; in `make test` the native stage
# has built it already), run in this stage. Each side runs in a folder of its
# own with the same relative paths, so everything each prints must be the
# same bytes (wine's console ends lines with CR LF; the CRs are dropped):
# the prompts, texts and message boxes of every run, its refusals, clicks
# that picked nothing and a run left unfinished, the change report (in mm
# and in inches, its points paired through the store's edit observer, which
# must cross the DLL boundary), `info` (with points off their formulas and
# 0 mm lines), `grade`, `points`, `measure` (in mm and in inches, and its
# refusal across chains), `tools`, `formula`, `--version`. Every pattern written is compared with `qpkit compare` (same
# records, formula texts byte for byte, every number within 1e-4 mm), every
# picture and page byte for byte. A difference fails the stage with the
# case and the place it names (piece, point, both values).
#
# Run by scripts/test-windows.sh, in its wine prefix and environment.
# Usage: check-windows-host.sh
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
native=$root/build/native/bin/qpkit
exe=$root/build/windows/bin/qpkit.exe
work=build/windows/host-check
tolerance=0.0001
examples=../../../../examples  # from each side's folder

if [ ! -x "$native" ]; then
  cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build build/native -j2 --target qpkit_cli >/dev/null

rm -rf "$work"
mkdir -p "$work/linux" "$work/windows"
failures=0
fail() {
  echo "check-windows-host: $*" >&2
  failures=$((failures + 1))
}

# both NAME ARGS...: qpkit ARGS on each side, in the side's folder; what it
# prints (stdout and stderr) and its status must be the same.
both() {
  local name=$1 rc
  shift
  rc=0
  (cd "$work/linux" && "$native" "$@") >"$work/linux/$name.out" 2>&1 || rc=$?
  echo "$rc" >"$work/linux/$name.status"
  rc=0
  # Into a file, not a pipe: wine's services inherit the output and keep a
  # pipe open long after the program ends.
  (cd "$work/windows" && winerun "$exe" "$@") >"$work/windows/$name.crlf" 2>&1 || rc=$?
  tr -d '\r' <"$work/windows/$name.crlf" >"$work/windows/$name.out"
  echo "$rc" >"$work/windows/$name.status"
  if ! cmp -s "$work/linux/$name.status" "$work/windows/$name.status"; then
    fail "$name: status $(cat "$work/linux/$name.status") on Linux, $(cat "$work/windows/$name.status") on Windows"
  fi
  if ! cmp -s "$work/linux/$name.out" "$work/windows/$name.out"; then
    fail "$name: qpkit.exe printed otherwise than qpkit (< Linux, > Windows):"
    diff "$work/linux/$name.out" "$work/windows/$name.out" | head -20 >&2 || true
  fi
}

largest=0
largest_at=""
# same_pattern CASE FILE: the two sides' FILE, record by record.
same_pattern() {
  local name=$1 file=$2 out rc=0 d
  out=$("$native" compare "$work/linux/$file" "$work/windows/$file" --tolerance $tolerance 2>&1) || rc=$?
  if [ $rc -ne 0 ]; then
    fail "$name: $file differs from the Linux run's:"
    grep -v '^largest coordinate difference' <<<"$out" | sed "s/^/    $name: /" >&2
    return
  fi
  d=$(sed -n 's/^largest coordinate difference: \([^ ]*\) mm.*/\1/p' <<<"$out")
  if awk -v a="$d" -v b="$largest" 'BEGIN { exit !(a + 0 > b + 0) }'; then
    largest=$d
    largest_at="$name, $(sed -n 's/^largest coordinate difference: [^(]*(\(.*\))$/\1/p' <<<"$out")"
  fi
}

same_bytes() {
  local name=$1 file=$2
  cmp -s "$work/linux/$file" "$work/windows/$file" || fail "$name: $file differs from the Linux run's"
}

# Wine takes the ANSI code page (936, GBK, as on the users' systems) from
# the locale's name.
winerun() { env LC_ALL=zh_CN.UTF-8 timeout 120 wine "$@"; }

# ---- the corpus: run (with its picture and change report), then info
cases=$(scripts/corpus-cases.sh)
n=0
while read -r pattern script; do
  name=${script%.txt}
  both "$name" run "$examples/$pattern" "$examples/$script" -o "$name.json" --svg "$name.svg" --report
  both "$name.info" info "$name.json"
  same_pattern "$name" "$name.json"
  same_bytes "$name" "$name.svg"
  n=$((n + 1))
done <<<"$cases"

# ---- the other subcommands, once each
both render render "$examples/basic-block.json" -o render.svg --before "$examples/basic-block.json"
same_bytes render render.svg
both info-json info "$examples/group-backs.json" --json
both measure measure "$examples/basic-block.json" --piece 0 --from 3 --to 9
both formula-pack formula pack "H/4+H/4+2.5"
both formula-spread formula spread "2*(H+B)-H"
both formula-scale formula scale "H/4+2.5" / 2
both formula-atof formula atof 12.5
both user-error measure "$examples/basic-block.json" --piece 9 --from 0 --to 1
both points points "$examples/basic-block.json" --piece 0
both measure-inch measure "$examples/basic-block.json" --piece 0 --from 3 --to 9 --inch
both tools tools
both version --version
# export and import need libdime, which has no Windows build: qpkit.exe
# refuses them with one line and writes nothing; their results are not
# compared. The Linux run's must work.
rc=0
(cd "$work/windows" && winerun "$exe" export "$examples/basic-block.json" -o left-out.dxf) \
  >"$work/windows/export.crlf" 2>&1 || rc=$?
if [ $rc -ne 1 ] || ! grep -q 'built without libdime' "$work/windows/export.crlf" || [ -e "$work/windows/left-out.dxf" ]; then
  fail "export: qpkit.exe did not refuse it for want of libdime (status $rc)"
fi
(cd "$work/linux" && "$native" export "$examples/basic-block.json" -o export.dxf >/dev/null) ||
  fail "export: the Linux qpkit could not write export.dxf"

# ---- runs that do not do all their script asks (status 3, or 0 when the
# script expects it): each said on its line the same way on both sides.
# script NAME TEXT: the script NAME.txt in each side's folder.
script() {
  for side in linux windows; do printf '%b' "$2" >"$work/$side/$1.txt"; done
}
# expect NAME TEXT: what the Linux run of NAME must have printed.
expect() {
  grep -qF -- "$2" "$work/linux/$1.out" || fail "$1: qpkit printed no line with '$2'"
}
# A message box: an unfold with no fold before it is refused with one.
script refused-unfold 'tool dart-fold\nmove 10 10\nunfold 100 300\n'
both message-box run "$examples/basic-block.json" refused-unfold.txt -o refused-unfold.json
expect message-box 'line 3: the dart fold refused: '
expect message-box '(message box: '
# A refusal in the prompt bar (an outline line is no pleat line), then the
# script ends before the run is finished.
script refused-pleat 'piece 3\ntool pleat\nclick line 0\n'
both refused-prompt run "$examples/basic-block.json" refused-pleat.txt -o refused-pleat.json --expect-refusal
expect refused-prompt 'line 3: the pleat spread refused: '
expect refused-prompt 'the script ended before the pleat spread run finished'
# A click far inside the half back picks no line for its symmetry; the
# next picks the centre back and the run finishes.
script picked-nothing 'piece 2\ntool symmetry\nclick 137 300\nclick line 0\n'
both picked-nothing run "$examples/basic-block.json" picked-nothing.txt -o picked-nothing.json
expect picked-nothing 'line 3: the click at (137.0, 300.0) mm picked nothing within 30 mm'
same_pattern picked-nothing picked-nothing.json

# The messages a Windows host forwards unasked, through qpkit.exe's own
# window: a dialog box's WM_CANCELMODE between the dart fold's apex and its
# direction click takes the middle point out and starts the run over, the
# others are not taken; the fold made afresh ends as the corpus fold does.
script cancelled-fold 'tool dart-fold\nmove point 0\nclick line 9 0.38\nclick line 10 0.45\nmove point 17\nclick point 17\nmessage WM_CANCELMODE\nmessage WM_PAINT\nmessage WM_SIZE 0 0x03000400\nmessage WM_KILLFOCUS\nmessage WM_TIMER 1\nmove point 0\nclick line 9 0.38\nclick line 10 0.45\nmove point 17\nclick point 17\nmove point 7\nclick point 7\nunfold\n'
both cancelled-fold run "$examples/basic-block.json" cancelled-fold.txt -o cancelled-fold.json -v
expect cancelled-fold '  WM_CANCELMODE -> 1'
same_pattern cancelled-fold cancelled-fold.json
"$native" compare "$work/linux/basic-block-dart-fold.json" "$work/linux/cancelled-fold.json" >/dev/null 2>&1 ||
  fail "cancelled-fold: the fold made again after the cancel differs from the corpus fold"

# ---- what info, run, grade and measure say of a pattern's faults, and the
# change picture and report that pair pieces and points.
# off.json: the half back's point 4 is 5 mm off its fx (W/4+2 gives 190 mm
# where x says 195); twin.json: the sleeve's point 8 doubled, a 0 mm line.
for side in linux windows; do
  sed 's|"W/4+2.5"|"W/4+2"|' examples/group-backs.json >"$work/$side/off.json"
  sed 's|\["K", 320, 0, "B/4+10", "0"\]|&, &|' examples/sleeve.json >"$work/$side/twin.json"
done
script empty ''
both off-info info off.json
expect off-info '1 point is off its formulas by more than 0.1 mm'
both off-info-json info off.json --json
expect off-info-json '"fxValue"'
both off-run run off.json empty.txt -o off-run.json
expect off-run 'off its formulas by more than 0.1 mm and keeps its coordinates'
same_pattern off-run off-run.json
both off-grade grade off.json -o rebuilt.json
expect off-grade '(1 point moved more than 0.1 mm)'
same_pattern off-grade rebuilt.json
both twin-info info twin.json
expect twin-info 'consistent; warning: line 1 (points 8..9) is 0 mm long'
both twin-run run twin.json empty.txt -o twin-run.json
expect twin-run 'piece 0 "sleeve": warning: line 1'
both measure-chains measure "$examples/sleeve.json" --piece 0 --from 13 --to 3
expect measure-chains 'is not on the chain of lines from point 3'
# The pleat spread leaves the skirt panel last: drawn over the panel it was.
both render-moved render basic-block-pleat.json -o render-moved.svg --before "$examples/basic-block.json"
same_bytes render-moved render-moved.svg
both report-inch run "$examples/sleeve.json" "$examples/sleeve-cap.txt" -o report-inch.json --report --inch
expect report-inch 'points paired as the store renumbered them'
expect report-inch ' in (+'

# ---- make demo: its page, pictures and the pattern files behind them
# (the DXF files and their links are Linux's only: libdime, above).
both demo demo --out demo
for f in "$work/linux/demo"/*; do
  file=demo/$(basename "$f")
  case $file in *.dxf) continue ;; esac
  if [ ! -f "$work/windows/$file" ]; then fail "demo: qpkit.exe wrote no $file"; continue; fi
  case $file in
    *.json) same_pattern demo "$file" ;;
    *.html)
      grep -v 'class="dxf"' "$work/linux/$file" >"$work/linux/$file.nodxf"
      cp "$work/windows/$file" "$work/windows/$file.nodxf"
      same_bytes demo "$file.nodxf" ;;
    *) same_bytes demo "$file" ;;
  esac
done

if [ $failures -gt 0 ]; then
  echo "check-windows-host: FAILED: $failures differences between qpkit.exe under wine and qpkit on Linux" >&2
  exit 1
fi
echo "check-windows-host: $n corpus cases, the demo and every subcommand the same through qpkit.exe under" \
     "wine as on Linux; largest coordinate difference $largest mm${largest_at:+ ($largest_at)}"
