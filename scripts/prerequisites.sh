#!/usr/bin/env bash
# Makes sure the build tools are present: installs what is missing when run
# as root on Debian, otherwise prints the exact command to run and fails.
set -euo pipefail

missing=()
command -v cmake >/dev/null 2>&1 || missing+=(cmake)
command -v g++ >/dev/null 2>&1 || missing+=(g++)
command -v flex >/dev/null 2>&1 || missing+=(flex)
if [ ! -e /usr/include/gtest/gtest.h ] && [ ! -e /usr/local/include/gtest/gtest.h ]; then
  missing+=(libgtest-dev)
fi

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -eq 0 ] && command -v apt-get >/dev/null 2>&1; then
  echo "Installing ${missing[*]}..."
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
  exit 0
fi

echo "Missing build tools: ${missing[*]}" >&2
echo "Install them with:  sudo apt-get install -y ${missing[*]}" >&2
exit 1
