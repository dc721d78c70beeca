#!/usr/bin/env bash
# Assembles the example cartridge, boots it on an emulated MSX with the free
# C-BIOS and checks that its greeting is on the screen.
# Usage: bootHello.sh ORBANT EXAMPLE_DIR; exit 77 (skipped) without the emulator.
set -euo pipefail
orbant=$1
example=$2
here=$(cd "$(dirname "$0")" && pwd)

if ! command -v openmsx >/dev/null 2>&1 || [ ! -d /usr/share/openmsx/machines/C-BIOS_MSX1 ] &&
   [ ! -f /usr/share/openmsx/machines/C-BIOS_MSX1.xml ]; then
  echo "Emulator test skipped: openmsx and cbios are not installed (apt-get install openmsx cbios)."
  exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$example"/*.asm "$work"/
cp "$here/readScreen.tcl" "$work"/
cd "$work"
"$orbant" hello.asm hello.rom >/dev/null

SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy timeout 120 \
  openmsx -machine C-BIOS_MSX1 -cart hello.rom -script readScreen.tcl >openmsx.log 2>&1 || {
  echo "openmsx failed:"; cat openmsx.log; exit 1; }

echo "Screen after booting hello.rom:"
grep -v '^$' screen.txt || true
grep -q "Hello from orbant!" screen.txt && grep -q "Assembled for MSX." screen.txt
