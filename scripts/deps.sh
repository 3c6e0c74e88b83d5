#!/usr/bin/env bash
# Installs the Debian packages the build, tests, benchmarks and fuzzers need,
# when they are missing. Needs root to install; otherwise only reports.
set -euo pipefail
pkgs=(cmake g++ make libgtest-dev libgmock-dev libbenchmark-dev valgrind "$@")
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
  echo "missing packages (run as root to install them): ${missing[*]}" >&2
fi
