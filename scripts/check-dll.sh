#!/usr/bin/env bash
# Checks the export and import tables of the cross-built DLLs.
#
# Qpkit6.dll exports exactly the functions defined with QP_EXPORT
# (scripts/export-names.sh), by their plain names, each one of the 14 that
# include/qpkit6/qpkit6.h declares; it imports only KERNEL32, USER32, GDI32, msvcrt
# and the five siblings, every operation by name from the sibling that
# frame/siblings.h assigns it to.
# Each sibling DLL exports its own operations from frame/siblings.h and its
# extras (names not starting with qp: the store's checker and builders, some
# of them C++ functions), never an operation of another sibling, a decorated
# name, or a symbol of the C++ runtime or of a class; it imports only the
# system DLLs above and other siblings.
# With --all, every one of the 14 exports and every sibling operation must
# also be present (for when the whole library has landed).
# Usage: check-dll.sh [--all] bin-directory
set -euo pipefail
all=0
if [ "${1:-}" = "--all" ]; then all=1; shift; fi
bin=${1:?usage: check-dll.sh [--all] bin-directory}
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
cxxfilt=${CXXFILT:-i686-w64-mingw32-c++filt}
fail=0
err() { echo "check-dll: $*" >&2; fail=1; }

# Names of a DLL's export table, one a line.
exports_of() {
  "$objdump" -p "$1" | awk '
    /^\[Ordinal\/Name Pointer\] Table/ { on = 1; next }
    on && NF == 0 { on = 0 }
    on { print $NF }' | LC_ALL=C sort -u
}
# "dll name" for every import; an import by ordinal gives "dll #ordinal".
imports_of() {
  "$objdump" -p "$1" | awk '
    /^The Import Tables/ { on = 1; next }
    /^The Export Tables/ || /^There is an export table/ { on = 0 }
    !on { next }
    /DLL Name:/ { dll = $3; next }
    /Hint\/Ord/ { next }
    dll != "" && $1 ~ /^[0-9a-f]+$/ && NF >= 2 {
      if (NF >= 3) print dll, $3; else print dll, "#" $2
    }
    NF == 0 && dll != "" { dll = "" }'
}

# The operations each sibling holds, from the section headers of siblings.h
# ("// ---- Qpkit1: records ----"): "dll name" lines.
sibling_ops() {
  awk '
    /^\/\/ ---- Qpkit[0-9]*:/ { dll = $3; sub(":", "", dll); dll = dll ".dll"; next }
    dll != "" && /^[A-Za-z]/ && match($0, /qp[A-Za-z0-9_]+\(/) {
      print dll, substr($0, RSTART, RLENGTH - 1)
    }' "$root/frame/siblings.h"
}

system_dlls="KERNEL32.dll USER32.dll GDI32.dll msvcrt.dll"
sibling_dlls="Qpkit.dll Qpkit1.dll Qpkit2.dll Qpkit3.dll Qpkit4.dll"
allowed_import() {
  local d
  for d in $system_dlls $sibling_dlls; do
    [ "${1,,}" = "${d,,}" ] && return 0
  done
  return 1
}
ops=$(sibling_ops)
holder_of() { awk -v n="$1" '$2 == n { print $1 }' <<<"$ops"; }

check_imports() {
  local dll=$1 imports d name holder
  imports=$(imports_of "$dll")
  while read -r d name; do
    [ -n "$d" ] || continue
    allowed_import "$d" || err "$(basename "$dll") imports $name from $d"
    [[ $name == \#* ]] && err "$(basename "$dll") imports ordinal ${name#\#} of $d instead of a name"
    holder=$(holder_of "$name")
    if [ -n "$holder" ] && [ "${holder,,}" != "${d,,}" ]; then
      err "$(basename "$dll") imports $name from $d, but $holder holds it"
    fi
  done <<<"$imports"
  echo "check-dll: $(basename "$dll") imports from: $(awk '{print $1}' <<<"$imports" | sort -uf | tr '\n' ' ' | sed 's/ $//')"
}

# ---- Qpkit6.dll
lib=$bin/Qpkit6.dll
want=$("$here/export-names.sh")
declared=$(grep -oE '^[a-z].* QP_WINAPI (qp[A-Za-z0-9_]+)\(' "$root/include/qpkit6/qpkit6.h" \
           | grep -oE 'qp[A-Za-z0-9_]+\($' | tr -d '(' | LC_ALL=C sort -u)
[ "$(grep -c . <<<"$declared")" -eq 14 ] || err "include/qpkit6/qpkit6.h declares $(grep -c . <<<"$declared") exports, not 14"
for n in $want; do
  grep -qx "$n" <<<"$declared" || err "$n is defined with QP_EXPORT but is not one of the 14 exports"
done
if [ -z "$want" ] && [ ! -f "$lib" ]; then
  echo "check-dll: no exports defined yet and no Qpkit6.dll; nothing to check"
else
  [ -f "$lib" ] || { echo "check-dll: $lib missing" >&2; exit 1; }
  have=$(exports_of "$lib")
  if [ "$want" != "$have" ]; then
    err "Qpkit6.dll exports differ from the QP_EXPORT definitions (< sources, > DLL)"
    diff <(echo "$want") <(echo "$have") >&2 || true
  fi
  missing=$(comm -23 <(echo "$declared") <(echo "$want") | tr '\n' ' ')
  echo "check-dll: Qpkit6.dll exports $(grep -c . <<<"$have" || true) of 14: $(echo $have)"
  if [ -n "${missing// /}" ]; then
    echo "check-dll: not yet defined: $missing"
    [ $all -eq 0 ] || err "exports missing: $missing"
  fi
  check_imports "$lib"
fi

# ---- the siblings
for sib in $sibling_dlls; do
  dll=$bin/$sib
  own=$(awk -v d="$sib" '$1 == d { print $2 }' <<<"$ops" | LC_ALL=C sort -u)
  if [ ! -f "$dll" ]; then
    echo "check-dll: $sib not built (its folder has no sources yet)"
    [ $all -eq 0 ] || err "$sib missing"
    continue
  fi
  have=$(exports_of "$dll")
  cxx=""
  for n in $have; do
    if [[ $n == _Z* ]]; then
      # A C++ extra (the store's test builders) is a plain function of ours;
      # anything of the C++ runtime or a class's innards means symbols leak.
      d=$("$cxxfilt" -n "$n")
      if [[ $d =~ ^([A-Za-z][A-Za-z0-9_]*)(\[abi:[a-z0-9]+\])?\( ]]; then
        cxx+="${BASH_REMATCH[1]}() "
      else
        err "$sib exports the C++ symbol $n ($d)"
      fi
    elif [[ $n == *@* || $n == \?* || $n == __* ]]; then
      err "$sib exports the decorated or runtime symbol $n"
    elif [[ $n == qp* ]]; then
      holder=$(holder_of "$n")
      if [ -z "$holder" ]; then
        err "$sib exports $n, which no sibling declares in frame/siblings.h"
      elif [ "$holder" != "$sib" ]; then
        err "$sib exports $n, which $holder holds"
      fi
    fi
  done
  missing=$(comm -23 <(echo "$own") <(echo "$have") | tr '\n' ' ')
  extras=$(grep -v -e '^qp' -e '^_Z' <<<"$have" | tr '\n' ' ' || true)$cxx
  echo "check-dll: $sib exports $(comm -12 <(echo "$own") <(echo "$have") | grep -c . || true) of its $(grep -c . <<<"$own") operations${extras:+; extras: $extras}"
  if [ -n "${missing// /}" ]; then
    echo "check-dll: $sib lacks: $missing"
    [ $all -eq 0 ] || err "$sib lacks: $missing"
  fi
  check_imports "$dll"
done

[ $fail -eq 0 ] || { echo "check-dll: FAILED" >&2; exit 1; }
echo "check-dll: export and import tables as required"
