#!/usr/bin/env bash
# Installs the tools some tests compare against or run on, when it can (root
# on Debian): an independent Z80 assembler for the encoding cross-check, an
# MSX emulator with its free BIOS for the boot test, and Debian's package
# tools (dpkg-shlibdeps, lintian) for the package test. Without them those
# tests say that they were skipped and why.
set -uo pipefail

missing=()
command -v z80-unknown-coff-as >/dev/null 2>&1 || missing+=(binutils-z80)
command -v openmsx >/dev/null 2>&1 || missing+=(openmsx)
[ -e /usr/share/openmsx/machines/C-BIOS_MSX1.xml ] || [ -d /usr/share/openmsx/machines/C-BIOS_MSX1 ] || missing+=(cbios)
if command -v dpkg-deb >/dev/null 2>&1; then
  command -v dpkg-shlibdeps >/dev/null 2>&1 || missing+=(dpkg-dev)
  command -v lintian >/dev/null 2>&1 || missing+=(lintian)
fi
[ ${#missing[@]} -eq 0 ] && exit 0

"$(dirname "$0")/install-packages.sh" "${missing[@]}" ||
  echo "Test tools missing (${missing[*]}): the tests that need them will be skipped."
exit 0
