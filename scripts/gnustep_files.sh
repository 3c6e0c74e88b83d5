#!/usr/bin/env bash
# Every OpenStep text that Debian's GNUstep packages ship (property lists,
# .strings files in many languages and encodings, Gorm class files) must read.
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
