#!/usr/bin/env bash
# Installs, from Debian 12's packages, whatever the build and the tests need
# and this machine lacks. Idempotent: a package already installed is not
# fetched again, and apt is not touched at all when nothing is missing.
# Run as root (or through sudo). Usage: install-deps.sh [native|m32|windows|all|peer]
# peer is not part of all: Valentina, only to regenerate the peer's DXF files
# under tests/data/peer-dxf (the tests read them as committed).
set -euo pipefail
want=${1:-all}

# dpkg-dev and file: cpack -G DEB's dependency list (dpkg-shlibdeps).
# libdime-dev: qpkit's DXF export and import; python3-ezdxf: the independent
# reader of the DXF tests (Debian's /usr/bin/python3 sees it). libdime has no
# MinGW build, and its i386 package cannot be installed beside the amd64
# one (no Multi-Arch), so the windows and m32 sets add nothing for it: those
# builds leave DXF out.
native=(cmake make g++ ninja-build libgtest-dev googletest libbenchmark-dev
        libcli11-dev nlohmann-json3-dev clang libclang-rt-14-dev dpkg-dev file
        libdime-dev python3-ezdxf)
m32=(g++-multilib)
windows=(g++-mingw-w64-i686 wine wine32:i386)
peer=(valentina python3-ezdxf)

pkgs=()
case "$want" in
  native)  pkgs=("${native[@]}") ;;
  m32)     pkgs=("${native[@]}" "${m32[@]}") ;;
  windows) pkgs=("${native[@]}" "${windows[@]}") ;;
  all)     pkgs=("${native[@]}" "${m32[@]}" "${windows[@]}") ;;
  peer)    pkgs=("${peer[@]}") ;;
  *) echo "install-deps: unknown set '$want' (native, m32, windows, all or peer)" >&2; exit 2 ;;
esac

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

missing=()
for p in "${pkgs[@]}"; do installed "$p" || missing+=("$p"); done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "install-deps: installing ${missing[*]}"
for p in "${missing[@]}"; do
  case "$p" in
    *:i386) dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386 ;;
  esac
done
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
