#!/usr/bin/env bash
# Measures orbant on the program of a big game's shape (generate.py
# --big-game): checks that it assembles without a message into a 4 MiB
# image, times it with hyperfine and counts its system calls with strace,
# each for a first build (no image, symbol file or flattened file there yet)
# and for a rebuild (all three there). System calls: all calls of one run
# over the distinct input files it opened, and the five most frequent calls.
# With a baseline build, both are timed side by side in the same hyperfine
# run, its image must be the same, and its calls are counted too. Prints
# the figures and writes them to DIR/summary; the traces stay in DIR.
#
#   bench/big-game.sh ORBANT [DIR]
#
# DIR: scratch folder, default /tmp/orbant-bench/big-game (emptied first).
# BENCH_WARMUP and BENCH_RUNS (default 3 and 10): hyperfine's warm-up runs
# and timed runs. BENCH_BASELINE: another orbant to compare with.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
[ $# -ge 1 ] || {
  echo "usage: $0 ORBANT [DIR]" >&2
  exit 2
}
orbant=$(realpath "$1")
baseline=${BENCH_BASELINE:+$(realpath "$BENCH_BASELINE")}
work=${2:-/tmp/orbant-bench/big-game}
warmup=${BENCH_WARMUP:-3}
runs=${BENCH_RUNS:-10}
game=$work/orbant-game
image_size=$((4 * 1024 * 1024))
outputs=(main.bin orbant.sym orbant.tmp)

rm -rf "$work"
mkdir -p "$work"
work=$(realpath "$work")
python3 "$root/bench/generate.py" --big-game --out "$work"
cd "$game"

# The builds measured, by name: orbant, and the baseline where given.
builds=(orbant)
declare -A program=([orbant]=$orbant)
if [ -n "$baseline" ]; then
  builds+=(baseline)
  program[baseline]=$baseline
fi

echo "--- Checking the image"
for build in "${builds[@]}"; do
  rm -f "${outputs[@]}"
  "${program[$build]}" main.asm main.bin >"$work/$build.log" 2>&1 || {
    echo "$build failed:" >&2
    tail -20 "$work/$build.log" >&2
    exit 1
  }
  # Anything but the progress lines is a message: the program must have none.
  if grep -v -e '^Preprocessing\.\.\.$' -e '^Pass [0-9]*\.\.\.$' -e '^Generating Output\.\.\.$' \
    -e '^Finished in ' "$work/$build.log"; then
    echo "$build printed messages on the big game" >&2
    exit 1
  fi
  size=$(stat -c %s main.bin)
  [ "$size" -eq "$image_size" ] || {
    echo "$build: image of $size bytes, not $image_size" >&2
    exit 1
  }
  cp main.bin "$work/$build.bin"
done
if [ -n "$baseline" ]; then
  cmp "$work/orbant.bin" "$work/baseline.bin" || {
    echo "the baseline's image differs" >&2
    exit 1
  }
fi

# hyperfine's arguments that name and run each build.
hyperfine_commands() {
  for build in "${builds[@]}"; do
    printf '%s\0%s\0%s\0' -n "$build" "${program[$build]} main.asm main.bin"
  done
}
mapfile -d '' commands < <(hyperfine_commands)

echo "--- Timing"
echo "load before: $(uptime)" >"$work/loads"
hyperfine --warmup "$warmup" --runs "$runs" --style basic --export-json "$work/rebuild.json" "${commands[@]}"
hyperfine --warmup "$warmup" --runs "$runs" --style basic --export-json "$work/first-build.json" \
  --prepare "rm -f ${outputs[*]}" "${commands[@]}"
echo "load after: $(uptime)" >>"$work/loads"

echo "--- Counting system calls"
# Inputs: files of the program folder opened for reading, whatever their
# spelling; the system's libraries are opened by absolute names elsewhere,
# and a folder listed to find a name is no input.
count_calls() { # build case
  local trace=$work/$1-$2
  [ "$2" = first-build ] && rm -f "${outputs[@]}"
  strace -f -c -o "$trace-calls.txt" "${program[$1]}" main.asm main.bin >/dev/null
  [ "$2" = first-build ] && rm -f "${outputs[@]}"
  strace -f -e trace=openat -o "$trace-openat.txt" "${program[$1]}" main.asm main.bin >/dev/null
  grep -v O_DIRECTORY "$trace-openat.txt" |
    sed -n -E 's/.*openat\(AT_FDCWD, "([^"]*)", O_RDONLY[^)]*\) = [0-9]+$/\1/p' |
    sed "s|^$game/||" | grep -v '^/' | sort -u >"$trace-inputs.txt"
  local calls inputs
  calls=$(awk '$NF == "total" { print $4 }' "$trace-calls.txt")
  inputs=$(wc -l <"$trace-inputs.txt")
  awk -v calls="$calls" -v inputs="$inputs" -v what="$1, $2" 'BEGIN {
    printf "%s: %d system calls, %d input files opened, %.1f per input file\n", what, calls, inputs, calls / inputs }'
  echo "  most frequent: $(sed -n '/^-/,/^-/p' "$trace-calls.txt" | grep -v '^-' | sort -k4,4nr | head -5 |
    awk '{ printf "%s %s, ", $NF, $4 }' | sed 's/, $//')"
}

times() { # json
  python3 -c 'import json, sys
for r in json.load(open(sys.argv[1]))["results"]:
    print("  %s: median %.1f ms, mean %.1f ms +- %.1f ms, min %.1f ms (%d runs); user %.1f ms, system %.1f ms (means)"
          % (r["command"], r["median"] * 1e3, r["mean"] * 1e3, r["stddev"] * 1e3, r["min"] * 1e3,
             len(r["times"]), r["user"] * 1e3, r["system"] * 1e3))' "$1"
}

{
  date -u '+%Y-%m-%d %H:%M UTC'
  cat "$work/loads"
  echo "files in the program folder: $(find . -name '*.asm' -o -name '*.bin' -not -name main.bin | wc -l)"
  echo "wall time, rebuild:"
  times "$work/rebuild.json"
  echo "wall time, first build:"
  times "$work/first-build.json"
  for build in "${builds[@]}"; do
    count_calls "$build" first-build
    count_calls "$build" rebuild
  done
} | tee "$work/summary"
