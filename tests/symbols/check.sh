#!/usr/bin/env bash
# The exported symbols as an inventory. liborvex exports exactly the functions orvex.h declares
# ORVEX_API, each under the version node ORVEX_<SOVERSION>; store/exports.map lists exactly those
# (explicitly) in that one node; liborvex++ exports nothing outside namespace Orvex. Every
# difference is printed as "<symbol>: <where it is>, <where it is missing>".
#   check.sh LIBORVEX LIBORVEXPP ORVEX_H EXPORTS_MAP SOVERSION
# With --self-test first, runs the check on copies of orvex.h and exports.map that differ from the
# library on each side, and fails unless every difference is reported.
set -euo pipefail
export LC_ALL=C

if [ "${1:-}" = "--self-test" ]; then
  shift
  [ $# -eq 5 ] || { echo "usage: $0 --self-test LIBORVEX LIBORVEXPP ORVEX_H EXPORTS_MAP SOVERSION" >&2; exit 2; }
  tmp=$(mktemp -d)
  trap 'rm -rf "$tmp"' EXIT
  # orvex_version exported but no longer declared; a declaration over two lines that is neither
  # listed nor exported; a name listed in the map alone.
  perl -0777 -pe 's{ORVEX_API const char \*orvex_version\(void\);}{ORVEX_API const char *\norvex_not_exported(int a,\n                   int b);}
                  or die "no orvex_version declaration\n"' "$3" >"$tmp/orvex.h"
  perl -0777 -pe 's{(global:\s*)}{$1orvex_only_in_map;\n    } or die "no global: in the map\n"' "$4" >"$tmp/exports.map"
  if out=$(bash "$0" "$1" "$2" "$tmp/orvex.h" "$tmp/exports.map" "$5" 2>&1); then
    echo "the check passed on doctored inputs:"; echo "$out"; exit 1
  fi
  status=0
  for want in \
    "orvex_not_exported: declared ORVEX_API in orvex.h, not listed in exports.map" \
    "orvex_not_exported: declared ORVEX_API in orvex.h, not exported by $(basename "$1")" \
    "orvex_version: exported by $(basename "$1"), not declared ORVEX_API in orvex.h" \
    "orvex_version: listed in exports.map, not declared ORVEX_API in orvex.h" \
    "orvex_only_in_map: listed in exports.map, not declared ORVEX_API in orvex.h"; do
    grep -qxF "$want" <<<"$out" || { echo "not reported: $want"; status=1; }
  done
  if [ $status -eq 0 ]; then
    echo "every difference reported"
  else
    echo "the check said:"; echo "$out"
  fi
  exit $status
fi

[ $# -eq 5 ] || { echo "usage: $0 LIBORVEX LIBORVEXPP ORVEX_H EXPORTS_MAP SOVERSION" >&2; exit 2; }
lib=$1 libpp=$2 header=$3 map=$4 node=ORVEX_$5
for f in "$lib" "$libpp" "$header" "$map"; do
  [ -f "$f" ] || { echo "$f: no such file" >&2; exit 2; }
done
lname=$(basename "$lib") ppname=$(basename "$libpp") hname=$(basename "$header") mname=$(basename "$map")
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
status=0
report() { echo "$1"; status=1; }

# Declarations: comments and preprocessor lines removed (the #define of ORVEX_API itself), then
# the name before the first parenthesis after each ORVEX_API, over line breaks.
perl -0777 -ne 's{/\*.*?\*/}{}gs; s{//[^\n]*}{}g; s{^[ \t]*#[^\n]*}{}mg;
  print "$1\n" while /\bORVEX_API\b[^;{}()]*?\b(\w+)\s*\(/g' "$header" | sort -u >"$tmp/declared"

# The map: one version node, its global names listed one by one, everything else local.
perl -0777 -ne 's{/\*.*?\*/}{}gs;
  /\A\s*([\w.]+)\s*\{\s*global:\s*([^{}]*?)\s*local:\s*\*\s*;\s*\}\s*;\s*\z/s
    or die "'"$mname"': not one version node of the form NAME { global: f; g; local: *; };\n";
  print "node $1\n";
  for (split /\s*;\s*/, $2) { print "name $_\n" }' "$map" >"$tmp/map" || exit 1
sed -n 's/^name //p' "$tmp/map" | sort >"$tmp/listed"
while read -r name; do
  case $name in
  *[!A-Za-z0-9_]*) report "$name: a pattern in $mname; list every function by name" ;;
  esac
done <"$tmp/listed"
uniq -d "$tmp/listed" | while read -r name; do echo "$name: listed twice in $mname"; done | grep . && status=1
mapnode=$(sed -n 's/^node //p' "$tmp/map")
[ "$mapnode" = "$node" ] ||
  report "$mname: version node $mapnode, not $node (the node is named after the SOVERSION and renamed with it)"

# What the library exports: defined dynamic symbols, as name and version (nm prints name@@version).
nm -D --defined-only "$lib" | awk '$2 != "A" { print $3 }' | sort >"$tmp/exported-versioned"
sed 's/@.*//' "$tmp/exported-versioned" | sort -u >"$tmp/exported"
while read -r sym; do
  case $sym in
  *@@"$node") ;;
  *) report "${sym%%@*}: exported by $lname without the version $node" ;;
  esac
done <"$tmp/exported-versioned"

sort -u "$tmp/listed" >"$tmp/listed-set"
comm -23 "$tmp/declared" "$tmp/listed-set" | while read -r s; do echo "$s: declared ORVEX_API in $hname, not listed in $mname"; done >"$tmp/out"
comm -13 "$tmp/declared" "$tmp/listed-set" | while read -r s; do echo "$s: listed in $mname, not declared ORVEX_API in $hname"; done >>"$tmp/out"
comm -23 "$tmp/declared" "$tmp/exported" | while read -r s; do echo "$s: declared ORVEX_API in $hname, not exported by $lname"; done >>"$tmp/out"
comm -13 "$tmp/declared" "$tmp/exported" | while read -r s; do echo "$s: exported by $lname, not declared ORVEX_API in $hname"; done >>"$tmp/out"

# liborvex++: every defined dynamic symbol, demangled, is in namespace Orvex once the ABI's own
# prefixes (vtable, typeinfo, thunks) are taken off.
nm -D --defined-only -C "$libpp" | sed -E 's/^[0-9a-fA-F]* *[A-Za-z] //' |
  sed -E 's/^((typeinfo name|typeinfo|vtable|VTT|construction vtable|guard variable|(non-)?virtual thunk|covariant return thunk) (for|to) )+//' |
  grep -v '^Orvex::' | while read -r s; do echo "$s: exported by $ppname, outside namespace Orvex"; done >>"$tmp/out" || true

if [ -s "$tmp/out" ]; then
  cat "$tmp/out"
  status=1
fi
[ "$(wc -l <"$tmp/declared")" -gt 0 ] || report "no ORVEX_API declaration found in $hname"
if [ $status -eq 0 ]; then
  echo "$lname exports the $(wc -l <"$tmp/declared") functions $hname declares, listed in $mname under $node;" \
    "$ppname exports namespace Orvex only"
fi
exit $status
