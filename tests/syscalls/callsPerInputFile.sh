#!/usr/bin/env bash
# Counts orbant's system calls on the program of a big game's shape
# (bench/generate.py --big-game: about 300 sources, 260 INCBIN files): all
# calls of one run (strace -f -c) over the distinct input files it opened.
# Fails above LIMIT calls per input file, on a first build (no image, symbol
# file or flattened file there yet) and on a rebuild (all three there).
# Usage: callsPerInputFile.sh ORBANT PROJECT_ROOT [sanitized|plain]; exit 77
# (skipped) without strace, or for a sanitized build.
set -euo pipefail
LIMIT=12
absolute() { echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"; }
orbant=$(absolute "$1")
root=$(cd "$2" && pwd)

if [ "${3:-plain}" = sanitized ]; then
  echo "System call count skipped: a sanitized build makes calls of its own."
  exit 77
fi
if ! command -v strace >/dev/null 2>&1; then
  echo "System call count skipped: strace is not installed (apt-get install strace)."
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if ! strace -f -o "$work/probe.txt" true >/dev/null 2>&1; then
  echo "System call count skipped: strace cannot trace here (ptrace refused)."
  exit 77
fi

python3 "$root/bench/generate.py" --big-game --out "$work" >/dev/null
cd "$work/orbant-game"
files=$(find . -type f \( -name '*.asm' -o -name '*.bin' \) | wc -l)

remove_outputs() { rm -f main.bin orbant.sym orbant.tmp; }

# Calls of one run, then the distinct files (not folders) of the program
# folder that a second run alike opened for reading.
count() { # case
  [ "$1" = "first build" ] && remove_outputs
  strace -f -c -o "$work/calls.txt" "$orbant" main.asm main.bin >"$work/orbant.log" 2>&1 ||
    { echo "FAILED: orbant failed on the $1:"; cat "$work/orbant.log"; exit 1; }
  [ "$1" = "first build" ] && remove_outputs
  strace -f -e trace=openat -o "$work/opens.txt" "$orbant" main.asm main.bin >/dev/null 2>&1
  calls=$(awk '$NF == "total" { print $4 }' "$work/calls.txt")
  inputs=$(grep -v O_DIRECTORY "$work/opens.txt" |
    sed -n -E 's/.*openat\(AT_FDCWD, "([^/"][^"]*)", O_RDONLY[^)]*\) = [0-9]+$/\1/p' | sort -u | wc -l)
  [ "$inputs" -eq "$files" ] || { echo "FAILED: the $1 opened $inputs of the $files input files"; exit 1; }
  echo "$1: $calls system calls for $inputs input files"
  awk -v calls="$calls" -v inputs="$inputs" -v limit="$LIMIT" -v what="$1" 'BEGIN {
    printf "%s: %.1f calls per input file (at most %d)\n", what, calls / inputs, limit
    if (calls > limit * inputs) { print "FAILED: too many system calls per input file"; exit 1 } }'
}

count "first build"
count "rebuild"
