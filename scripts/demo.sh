#!/usr/bin/env bash
# Builds the tools, assembles the bundled example cartridge and shows what
# orbant produced, then dumps a generated test ROM with romtap through the
# simulated cartridge reader.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}

"$root/scripts/configure.sh" "$build" -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" -j2 --target orbant romtap simreader

demo="$build/demo"
rm -rf "$demo"
mkdir -p "$demo"
cp "$root"/examples/hello/*.asm "$demo"/
cd "$demo"
echo "== orbant hello.asm hello.rom"
"$build/assembler/orbant" hello.asm hello.rom
echo
echo "== hello.rom: $(wc -c < hello.rom) bytes; the first 64:"
od -A x -t x1z -N 64 hello.rom
echo
echo "== orbant.sym"
cat orbant.sym
echo
"$root/scripts/romtap-demo.sh" "$build"
