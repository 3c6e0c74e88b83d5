#!/usr/bin/env bash
# Installs the Debian packages the build, tests, consumer checks, benchmarks and fuzzers
# need, when they are missing (extra package names may be given). Needs root to install;
# otherwise it fails, printing the command to run as root.
set -euo pipefail
# Without dpkg the packages come from elsewhere: nothing to check.
command -v dpkg >/dev/null || exit 0
pkgs=(cmake g++ make pkgconf libgtest-dev libgmock-dev libbenchmark-dev valgrind "$@")
missing=()
for p in "${pkgs[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" -eq 0 ]; then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq && apt-get install -y -qq "${missing[@]}" >/dev/null
else
  {
    echo "missing packages: ${missing[*]}; as root, run:"
    echo "apt-get update && apt-get install -y ${missing[*]}"
  } >&2
  exit 1
fi
