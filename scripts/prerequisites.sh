#!/usr/bin/env bash
# Makes sure the build tools are present, and with --tests the test library
# too: installs what is missing when run as root on Debian, otherwise prints
# the exact command to run and fails.
set -euo pipefail

missing=()
command -v cmake >/dev/null 2>&1 || missing+=(cmake)
command -v g++ >/dev/null 2>&1 || missing+=(g++)
command -v flex >/dev/null 2>&1 || missing+=(flex)
if [ "${1:-}" = --tests ] && [ ! -e /usr/include/gtest/gtest.h ] && [ ! -e /usr/local/include/gtest/gtest.h ]; then
  missing+=(libgtest-dev)
fi

[ ${#missing[@]} -eq 0 ] && exit 0
"$(dirname "$0")/install-packages.sh" "${missing[@]}" && exit 0
echo "Missing build tools: ${missing[*]}" >&2
exit 1
