#!/usr/bin/env bash
# Runs the Makefile that the README shows (taken from the README itself, so
# the two cannot drift apart) with GNU make on a small cartridge in folders:
# a build, a rebuild that does nothing, a rebuild after an include changed,
# a syntax error (make fails, and the next make runs orbant again, not
# trusting what the failed run left), and an include renamed.
# Usage: makefileCartridge.sh ORBANT README; exit 77 (skipped) without GNU make.
set -euo pipefail
absolute() { echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"; }
orbant=$(absolute "$1")
readme=$(absolute "$2")

# Read whole first: with pipefail, grep -q leaving early would fail the pipe.
version=$(make --version 2>/dev/null || true)
if [[ $version != *"GNU Make"* ]]; then
  echo "Makefile test skipped: GNU make is not installed (apt-get install make)."
  exit 77
fi
# Not the settings of a make that may have started the test suite.
unset MAKEFLAGS MFLAGS MAKELEVEL MAKEOVERRIDES

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

fail() {
  echo "FAILED: $*"
  echo "--- last make output:"
  cat make.log
  exit 1
}

# The first ```make block of the README.
awk '/^```make$/ { inside = 1; next } /^```$/ && inside { exit } inside' "$readme" >Makefile
grep -q '^-include build/game.d$' Makefile || fail "no Makefile with -include build/game.d in the README"

mkdir -p src/lib gfx
cat >src/main.asm <<'ASM'
        ORG 4000H
        DB "AB"
        DW start, 0, 0, 0, 0, 0, 0
start:  CALL initVideo
.halt:  JR .halt
        INCLUDE "vdp.asm"
tiles:  INCBIN "tiles.bin"
ASM
cat >src/lib/vdp.asm <<'ASM'
initVideo:
        LD A, 1
        OUT (99H), A
        RET
ASM
printf '\x11\x22\x33\x44' >gfx/tiles.bin

# runMake EXPECTED_STATUS: make with this build of orbant, output in make.log.
runMake() {
  local status=0
  make ORBANT="$orbant" >make.log 2>&1 || status=$?
  if [ "$1" = 0 ] && [ "$status" != 0 ]; then fail "make ended with status $status"; fi
  if [ "$1" != 0 ] && [ "$status" = 0 ]; then fail "make succeeded where it must fail"; fi
  return 0
}
orbantRan() { grep -q -- "--deps build/game.d" make.log; }

echo "build"
runMake 0
orbantRan || fail "orbant did not run"
[ -s build/game.rom ] || fail "no image"
grep -q '^src/lib/vdp\.asm:$' build/game.d || fail "no empty rule for the include in build/game.d"
grep -q '^gfx/tiles\.bin:$' build/game.d || fail "no empty rule for the INCBIN file in build/game.d"
cp build/game.rom first.rom

echo "rebuild without changes"
runMake 0
grep -q "Nothing to be done for 'all'" make.log || fail "make rebuilt what was up to date"
orbantRan && fail "orbant ran again without a change"

echo "rebuild after touching an include"
touch src/lib/vdp.asm
runMake 0
orbantRan || fail "orbant did not run after the include changed"
cmp -s first.rom build/game.rom || fail "the same sources gave another image"

echo "syntax error in an include"
cp src/lib/vdp.asm vdp.good
printf '        INCC (HL)\n' >>src/lib/vdp.asm
runMake 1
orbantRan || fail "orbant did not run on the broken include"
grep -q "error:" make.log || fail "no error message from orbant"
[ ! -e build/game.rom ] || fail "the failed run left an image behind"
echo "make again after the error"
runMake 1
orbantRan || fail "the next make did not run orbant again"
cp vdp.good src/lib/vdp.asm
runMake 0
orbantRan || fail "orbant did not run after the fix"
cmp -s first.rom build/game.rom || fail "the fixed sources gave another image"

echo "include renamed"
mv src/lib/vdp.asm src/lib/video.asm
sed -i 's/"vdp\.asm"/"video.asm"/' src/main.asm
runMake 0
grep -q "No rule to make target" make.log && fail "make stopped at the renamed include"
orbantRan || fail "orbant did not run after the rename"
grep -q '^src/lib/video\.asm:$' build/game.d || fail "build/game.d does not name the renamed include"
grep -q 'vdp\.asm' build/game.d && fail "build/game.d still names the old include"
runMake 0
grep -q "Nothing to be done for 'all'" make.log || fail "make rebuilt after the rename was built"

echo "clean"
make clean >make.log 2>&1 || fail "make clean failed"
[ ! -e build ] || fail "make clean left build/"
echo "The README's Makefile builds, rebuilds and recovers as it should."
