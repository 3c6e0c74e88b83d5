#!/usr/bin/env bash
# Every OpenStep text that Debian's GNUstep packages ship (property lists,
# .strings files in many languages and encodings, Gorm class files) must read,
# and must take a set, an insert and a remove that change only the lines of
# the entry edited, the result still reading.
# Usage: scripts/gnustep_files.sh ORVEXUTIL
# Fetches the packages into a scratch folder; skips, saying so, when the
# archive cannot be reached.
set -euo pipefail
tool=$(realpath "$1")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
if ! apt-get download gnustep-base-common gnustep-gui-common >/dev/null 2>&1; then
  echo "skipped: the GNUstep packages could not be downloaded"
  exit 0
fi
for deb in *.deb; do dpkg-deb -x "$deb" root; done
mapfile -d '' files < <(find root -type f \( -name '*.strings' -o -name '*.plist' -o -name '*.classes' \
  -o -path '*/Languages/*' \) -print0)
[ ${#files[@]} -gt 0 ] || { echo "no OpenStep files found in the packages" >&2; exit 1; }
"$tool" lint -s "${files[@]}"
echo "${#files[@]} OpenStep files from $(ls *.deb | tr '\n' ' ')read"

# The first top-level key of a dictionary, as a key path; none when the
# document is no dictionary or the key is spelled with JSON escapes.
first_key() {
  "$tool" print --json "$1" | sed -n '2{s/^  "\([^"\\]*\)": {"type.*/\1/p;q}' | sed 's/[.]/\\./g'
}
# The lines the value at key path $2 of $1 may take: its text's for a scalar,
# its OpenStep form's for a container.
value_lines() {
  local text
  if text=$("$tool" extract --raw -- "$2" xml "$1" 2>/dev/null); then
    printf '%s\n' "$text" | wc -l
  else
    "$tool" extract -o - -- "$2" openstep "$1" | wc -l
  fi
}
# Lines that differ between $1 and $2, but blank and comment lines (a removed
# entry takes the comments right above it).
changed() {
  diff "$1" "$2" | grep '^[<>]' | cut -c3- | grep -cvE '^[[:space:]]*($|//|/[*]|[*])' || true
}
# Lines are compared as UTF-8 text, UTF-16 documents converted.
text() {
  case $(head -c 2 "$1" | od -An -tx1) in
  ' ff fe' | ' fe ff') iconv -f UTF-16 -t UTF-8 "$1" ;;
  *) cat "$1" ;;
  esac
}
failed=0
fail() { echo "$1: $2" >&2; failed=$((failed + 1)); }
# Runs the edit "$2..." on a copy of $f, which may change $1 lines plus one.
try() {
  local bound=$(($1 + 1)) n
  shift
  cp "$f" copy
  if ! "$tool" "$1" -- "${@:2}" copy 2>err; then
    fail "$f" "$*: $(cat err)"
    return
  fi
  "$tool" lint -s copy >/dev/null 2>&1 || fail "$f" "$*: the result does not read"
  text copy > after
  n=$(changed before after)
  [ "$n" -le "$bound" ] || fail "$f" "$*: $n lines changed, at most $bound expected"
}
edited=0
for f in "${files[@]}"; do
  key=$(first_key "$f")
  [ -n "$key" ] || continue
  text "$f" > before
  lines=$(value_lines "$f" "$key")
  try "$lines" set "$key" -string orvex-edited
  try 1 insert orvex-new-key -string new
  try "$lines" remove "$key"
  edited=$((edited + 1))
done
[ "$failed" = 0 ] || { echo "$failed edits of GNUstep files failed" >&2; exit 1; }
echo "$edited of them edited three ways, each changing only its entry's lines"
