#!/usr/bin/env bash
# Installs the tools some tests compare against or run on, when it can (root
# on Debian): an independent Z80 assembler for the encoding cross-check and an
# MSX emulator with its free BIOS for the boot test. Without them those tests
# say that they were skipped and why.
set -uo pipefail

missing=()
command -v z80-unknown-coff-as >/dev/null 2>&1 || missing+=(binutils-z80)
command -v openmsx >/dev/null 2>&1 || missing+=(openmsx)
[ -e /usr/share/openmsx/machines/C-BIOS_MSX1.xml ] || [ -d /usr/share/openmsx/machines/C-BIOS_MSX1 ] || missing+=(cbios)
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ] && command -v apt-get >/dev/null 2>&1; then
  echo "Installing test tools: ${missing[*]}..."
  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null ||
    echo "Could not install ${missing[*]}: the tests that need them will be skipped."
else
  echo "Test tools missing (${missing[*]}): the tests that need them will be skipped."
  echo "Install them with:  sudo apt-get install -y ${missing[*]}"
fi
exit 0
