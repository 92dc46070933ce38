#!/usr/bin/env bash
# The Linux package: `cpack -G DEB` on the native build writes qpkit_*.deb
# (qpkit in /usr/bin, libqpkit6.so and the stand-ins of the siblings and of
# Win32 in /usr/lib/qpkit6). Its names are checked; it is installed as root
# (apt-get install -y ./qpkit_*.deb), the installed qpkit runs the demo into a
# scratch folder and the page is checked, and the package is removed again.
# Needs root or sudo, as CI has. A qpkit package already installed on the
# machine is not touched: the stage stops and says so.
set -euo pipefail
cd "$(dirname "$0")/.."
b=build/native
cmake -S . -B $b -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build $b -j2 --target qpkit_cli >/dev/null
rm -f $b/qpkit_*.deb
(cd $b && cpack -G DEB >/dev/null)
debs=($b/qpkit_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "test-package: cpack wrote no qpkit_*.deb" >&2; exit 1; }
deb=${debs[0]}

want="./usr/bin/qpkit
./usr/lib/qpkit6/libQpkit.so
./usr/lib/qpkit6/libQpkit1.so
./usr/lib/qpkit6/libQpkit2.so
./usr/lib/qpkit6/libQpkit3.so
./usr/lib/qpkit6/libQpkit4.so
./usr/lib/qpkit6/libqpkit6.so
./usr/lib/qpkit6/libqpwin.so"
have=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $NF }' | LC_ALL=C sort)
if [ "$have" != "$(LC_ALL=C sort <<<"$want")" ]; then
  echo "test-package: $deb holds other files than the package's (< wanted, > in the package):" >&2
  diff <(LC_ALL=C sort <<<"$want") <(echo "$have") >&2 || true
  exit 1
fi
echo "test-package: $(basename "$deb"), $(du -k "$deb" | cut -f1) KiB, $(dpkg-deb -f "$deb" Depends | sed 's/^/depends on /')"

if dpkg-query -W -f='${Status}' qpkit 2>/dev/null | grep -q 'install ok installed'; then
  echo "test-package: a qpkit package is installed on this machine already; remove it to run this stage" >&2
  exit 1
fi
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
scratch=$(mktemp -d)
cleanup() {
  $sudo apt-get purge -y -qq qpkit >/dev/null 2>&1 || true
  rm -rf "$scratch"
}
trap cleanup EXIT
$sudo apt-get install -y -qq "./$deb" >/dev/null

# The installed program, with the installed libraries and none of the build's.
qpkit=/usr/bin/qpkit
libs=$(ldd $qpkit)
if grep -q "$PWD" <<<"$libs" || [ "$(grep -cE '=> /usr/(bin/\.\./)?lib/qpkit6/lib' <<<"$libs")" -ne 7 ]; then
  echo "test-package: the installed qpkit does not load its own seven libraries:" >&2
  echo "$libs" >&2
  exit 1
fi
(cd "$scratch" && $qpkit demo --out page >demo.log)
page=$scratch/page/index.html
grep -q '^demo: wrote page/index.html' "$scratch/demo.log" && [ -s "$page" ] ||
  { cat "$scratch/demo.log" >&2; echo "test-package: the installed qpkit wrote no demo page" >&2; exit 1; }
# Every picture and file the page links to is there.
missing=0
for f in $(grep -oE '(src|href)="[^"#:]+"' "$page" | sed -E 's/^(src|href)="(.*)"$/\2/' | sort -u); do
  [ -s "$scratch/page/$f" ] || { echo "test-package: the page links to $f, which the demo did not write" >&2; missing=1; }
done
[ $missing -eq 0 ] || exit 1
linked=$(grep -oE '(src|href)="[^"#:]+"' "$page" | sort -u | wc -l)

$sudo apt-get purge -y -qq qpkit >/dev/null
[ ! -e $qpkit ] && [ ! -e /usr/lib/qpkit6 ] || { echo "test-package: removing the package left files behind" >&2; exit 1; }
echo "test-package: installed, ran the demo (index.html and the $linked files it links to), removed"
