#!/usr/bin/env bash
# Measures orbant on the program of a big game's shape (generate.py
# --big-game): checks that it assembles without a message into a 4 MiB
# image, times it with hyperfine, and counts its system calls with strace:
# all calls of one run over the distinct input files it opened, and the
# five most frequent calls. Prints the figures and writes them to
# DIR/summary; the traces stay in DIR.
#
#   bench/big-game.sh ORBANT [DIR]
#
# DIR: scratch folder, default /tmp/orbant-bench/big-game (emptied first).
# BENCH_WARMUP and BENCH_RUNS (default 3 and 10): hyperfine's warm-up runs
# and timed runs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
[ $# -ge 1 ] || {
  echo "usage: $0 ORBANT [DIR]" >&2
  exit 2
}
orbant=$(realpath "$1")
work=${2:-/tmp/orbant-bench/big-game}
warmup=${BENCH_WARMUP:-3}
runs=${BENCH_RUNS:-10}
game=$work/orbant-game
image_size=$((4 * 1024 * 1024))

rm -rf "$work"
mkdir -p "$work"
work=$(realpath "$work")
python3 "$root/bench/generate.py" --big-game --out "$work"
cd "$game"

echo "--- Checking the image"
"$orbant" main.asm main.bin >"$work/orbant.log" 2>&1 || {
  echo "orbant failed:" >&2
  tail -20 "$work/orbant.log" >&2
  exit 1
}
# Anything but the progress lines is a message: the program must have none.
if grep -v -e '^Preprocessing\.\.\.$' -e '^Pass [0-9]*\.\.\.$' -e '^Generating Output\.\.\.$' \
  -e '^Finished in ' "$work/orbant.log"; then
  echo "orbant printed messages on the big game" >&2
  exit 1
fi
size=$(stat -c %s main.bin)
[ "$size" -eq "$image_size" ] || {
  echo "image of $size bytes, not $image_size" >&2
  exit 1
}

echo "--- Timing"
echo "load before: $(uptime)" >"$work/loads"
hyperfine --warmup "$warmup" --runs "$runs" --style basic --export-json "$work/times.json" \
  -n "orbant big game" "$orbant main.asm main.bin"
echo "load after: $(uptime)" >>"$work/loads"

echo "--- Counting system calls"
strace -f -c -o "$work/syscalls.txt" "$orbant" main.asm main.bin >/dev/null
strace -f -e trace=openat -o "$work/openat.txt" "$orbant" main.asm main.bin >/dev/null
# Inputs: files of the program folder opened for reading, whatever their
# spelling; the system's libraries are opened by absolute names elsewhere.
sed -n -E 's/.*openat\(AT_FDCWD, "([^"]*)", O_RDONLY[^)]*\) = [0-9]+$/\1/p' "$work/openat.txt" |
  sed "s|^$game/||" | grep -v '^/' | sort -u >"$work/inputs.txt"
inputs=$(wc -l <"$work/inputs.txt")
files=$(find . -name '*.asm' -o -name '*.bin' -not -name main.bin | wc -l)
calls=$(awk '$NF == "total" { print $4 }' "$work/syscalls.txt")

{
  date -u '+%Y-%m-%d %H:%M UTC'
  cat "$work/loads"
  python3 -c 'import json, sys
r = json.load(open(sys.argv[1]))["results"][0]
print("wall time: median %.1f ms, mean %.1f ms +- %.1f ms, min %.1f ms, max %.1f ms (%d runs); user %.1f ms, system %.1f ms (means)"
      % (r["median"] * 1e3, r["mean"] * 1e3, r["stddev"] * 1e3, r["min"] * 1e3, r["max"] * 1e3,
         len(r["times"]), r["user"] * 1e3, r["system"] * 1e3))' "$work/times.json"
  echo "system calls: $calls; distinct input files opened: $inputs (the folder holds $files)"
  awk -v calls="$calls" -v inputs="$inputs" 'BEGIN { printf "system calls per input file: %.1f\n", calls / inputs }'
  echo "most frequent calls:"
  sed -n '/^-/,/^-/p' "$work/syscalls.txt" | grep -v '^-' | sort -k4,4nr | head -5 | awk '{ print "  " $NF, $4 }'
} | tee "$work/summary"
