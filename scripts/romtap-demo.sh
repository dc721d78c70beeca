#!/bin/sh
# Dumps made-up cartridges through the simulated reader with the built romtap
# and compares each image with its original.
# Usage: scripts/romtap-demo.sh BUILD_DIR   (configured first if it is new)
set -eu

if [ $# -ne 1 ]; then
    echo "usage: $0 BUILD_DIR" >&2
    exit 2
fi
repo_dir=$(cd "$(dirname "$0")/.." && pwd)
if [ ! -f "$1/CMakeCache.txt" ]; then
    cmake -S "$repo_dir" -B "$1"
fi
cmake --build "$1" -j2 --target romtap simreader romtap-testrom
build_dir=$(cd "$1" && pwd)

romtap=$build_dir/romtap/romtap
reader_dir=$build_dir/romtap/simreader
work_dir=$(mktemp -d)
trap 'rm -rf "$work_dir"' EXIT

# A 128 KiB cartridge with 8 KiB banks, a plain 32 KiB one, and an empty slot.
"$reader_dir/romtap-testrom" 131072 "$work_dir/banked-128k.rom"
"$reader_dir/romtap-testrom" 32768 "$work_dir/plain-32k.rom"

run_romtap() {
    echo
    echo "\$ romtap $*"
    (cd "$work_dir" &&
        env LD_LIBRARY_PATH="$reader_dir" DYLD_LIBRARY_PATH="$reader_dir" \
            MSXGRSIM_SLOT0="bank8-5000:$work_dir/banked-128k.rom" \
            MSXGRSIM_SLOT1="plain:$work_dir/plain-32k.rom" \
            MSXGRSIM_SLOT2=empty \
            "$romtap" "$@")
}

run_romtap -l
run_romtap -b a000 -s 2000 -m b000 -n 16 dumped-banked-128k.rom
run_romtap -i 1 -b 4000 -s 8000 dumped-plain-32k.rom

echo
status=0
for name in banked-128k plain-32k; do
    original=$work_dir/$name.rom
    dumped=$work_dir/dumped-$name.rom
    printf '%s: original %s bytes, dump %s bytes, ' "$name" "$(wc -c <"$original")" "$(wc -c <"$dumped")"
    if cmp -s "$original" "$dumped"; then
        echo "identical"
    else
        echo "DIFFERENT"
        status=1
    fi
done
exit $status
