#!/usr/bin/env bash
# Makes sure the build tools (and RapidXML's header) are present, and with --tests what the tests
# need too (the test library, flex for the scanner's reference, clang-format
# for the layout check, strace for the count of system calls): installs
# what is missing when run as root on Debian, otherwise prints the exact
# command to run and fails.
set -euo pipefail

missing=()
command -v cmake >/dev/null 2>&1 || missing+=(cmake)
command -v g++ >/dev/null 2>&1 || missing+=(g++)
command -v re2c >/dev/null 2>&1 || missing+=(re2c)
# romtap reads software databases with RapidXML's header.
if [ ! -e /usr/include/rapidxml/rapidxml.hpp ] && [ ! -e /usr/include/rapidxml.hpp ] \
  && [ ! -e /usr/local/include/rapidxml.hpp ]; then
  missing+=(librapidxml-dev)
fi
if [ "${1:-}" = --tests ]; then
  if [ ! -e /usr/include/gtest/gtest.h ] && [ ! -e /usr/local/include/gtest/gtest.h ]; then
    missing+=(libgtest-dev)
  fi
  command -v flex >/dev/null 2>&1 || missing+=(flex)
  command -v clang-format >/dev/null 2>&1 || missing+=(clang-format)
  command -v strace >/dev/null 2>&1 || missing+=(strace)
fi

[ ${#missing[@]} -eq 0 ] && exit 0
"$(dirname "$0")/install-packages.sh" "${missing[@]}" && exit 0
echo "Missing build tools: ${missing[*]}" >&2
exit 1
