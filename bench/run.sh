#!/usr/bin/env bash
# Times orbant against the Z80 assemblers that Debian packages, on generated
# programs of 20k, 100k and 400k lines, and writes BENCHMARKS.md.
#
#   bench/run.sh
#
# Environment: BENCH_DIR (scratch folder, default /tmp/orbant-bench),
# BENCH_SIZES (default "20000 100000 400000"), BENCH_WARMUP (default 3),
# BENCH_MIN_RUNS / BENCH_MAX_RUNS (default 5 / 60: hyperfine runs each
# command for about 3 s within these bounds), BENCH_OUTPUT (default
# BENCHMARKS.md at the repository root).
#
# Not part of the test suite: it takes about a quarter of an hour, most of
# it z80asm on the largest program.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=${BENCH_DIR:-/tmp/orbant-bench}
sizes=${BENCH_SIZES:-"20000 100000 400000"}
warmup=${BENCH_WARMUP:-3}
min_runs=${BENCH_MIN_RUNS:-5}
max_runs=${BENCH_MAX_RUNS:-60}
output=${BENCH_OUTPUT:-$root/BENCHMARKS.md}

require_tools() {
  local missing=()
  command -v hyperfine >/dev/null 2>&1 || missing+=(hyperfine)
  command -v pasmo >/dev/null 2>&1 || missing+=(pasmo)
  command -v z80asm >/dev/null 2>&1 || missing+=(z80asm)
  command -v z80-unknown-coff-as >/dev/null 2>&1 || missing+=(binutils-z80)
  command -v sdasz80 >/dev/null 2>&1 || missing+=(sdcc)
  command -v python3 >/dev/null 2>&1 || missing+=(python3)
  [ -x /usr/bin/time ] || missing+=(time)
  [ ${#missing[@]} -eq 0 ] && return 0
  "$root/scripts/install-packages.sh" "${missing[@]}" && return 0
  echo "Missing: ${missing[*]}" >&2
  exit 1
}

# The command that assembles the program of folder $2 with tool $1.
command_for() {
  local dir=$2
  case $1 in
    orbant) echo "cd $dir/orbant && $orbant main.asm main.bin" ;;
    pasmo) echo "cd $dir/common && pasmo main.asm pasmo.bin" ;;
    z80asm) echo "cd $dir/common && z80asm -o z80asm.bin main.asm" ;;
    gas) echo "cd $dir/gas && z80-unknown-coff-as -march=z80 -o main.o main.s" \
      "&& z80-unknown-coff-ld -T banks.ld -o main.out main.o" \
      "&& z80-unknown-coff-objcopy -O binary main.out main.bin" ;;
    sdas) echo "cd $dir/sdas && sdasz80 -o main.rel main.s && sdldz80 -n -f link.lk" \
      "&& makebin -s $(cat "$dir/image-size") main.ihx main.bin" ;;
    read) echo "$readbytes $(source_files read "$dir" | tr '\n' ' ')" ;;
  esac
}

# The sources that tool $1 reads: its dialect's folder without the outputs.
source_files() {
  local dir=$2
  case $1 in
    orbant | read) ls "$dir"/orbant/*.asm "$dir"/orbant/gfx*.bin ;;
    pasmo | z80asm) ls "$dir"/common/*.asm "$dir"/common/gfx*.bin ;;
    gas) ls "$dir"/gas/*.s "$dir"/gas/gfx*.bin ;;
    sdas) ls "$dir"/sdas/*.s "$dir"/sdas/gfx*.bin ;;
  esac
}

tools="orbant pasmo z80asm gas sdas read"

require_tools
echo "=== Building orbant (Release)"
"$root/scripts/configure.sh" "$work/build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
cmake --build "$work/build" -j2 --target orbant >/dev/null
orbant=$work/build/assembler/orbant
revision=$(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo unknown)
[ -n "$(git -C "$root" status --porcelain --untracked-files=no 2>/dev/null)" ] && revision="$revision with uncommitted changes"
echo "$revision" >"$work/revision"
readbytes=$work/readbytes
g++ -O2 -o "$readbytes" "$root/bench/readbytes.cpp"

date -u '+%Y-%m-%d %H:%M UTC' >"$work/date"
: >"$work/loads"
for lines in $sizes; do
  dir=$work/$lines
  echo "=== $lines lines"
  rm -rf "$dir"
  python3 "$root/bench/generate.py" --lines "$lines" --out "$dir"

  echo "--- Checking that every assembler produces the same bytes"
  for tool in orbant pasmo z80asm gas sdas; do
    sh -c "$(command_for "$tool" "$dir")" >"$dir/$tool.log" 2>&1 || {
      echo "$tool failed:" >&2
      tail -20 "$dir/$tool.log" >&2
      exit 1
    }
  done
  python3 "$root/bench/compare_images.py" "$dir/orbant/main.bin" \
    --same "$dir/common/z80asm.bin" "$dir/gas/main.bin" "$dir/sdas/main.bin" \
    --paged "$dir/common/pasmo.bin"
  echo "same bytes: $(wc -c <"$dir/orbant/main.bin") bytes"

  echo "--- Peak memory"
  : >"$dir/facts"
  for tool in $tools; do
    peak=0
    for _ in 1 2 3; do
      kib=$(/usr/bin/time -f %M sh -c "$(command_for "$tool" "$dir") >/dev/null 2>&1" 2>&1 | tail -1)
      [ "$kib" -gt "$peak" ] && peak=$kib
    done
    bytes=$(source_files "$tool" "$dir" | xargs cat | wc -c)
    echo "$tool $peak $bytes" >>"$dir/facts"
  done
  wc -l "$dir"/orbant/*.asm | tail -1 | awk '{print "lines", $1}' >>"$dir/facts"
  find "$dir/orbant" -name '*.asm' | wc -l | awk '{print "files", $1}' >>"$dir/facts"
  cat "$dir/facts"

  echo "--- Timing"
  args=()
  for tool in $tools; do
    args+=(-n "$tool" "$(command_for "$tool" "$dir")")
  done
  echo "$lines before $(cut -d' ' -f1-3 /proc/loadavg)" >>"$work/loads"
  hyperfine --warmup "$warmup" --min-runs "$min_runs" --max-runs "$max_runs" --style basic \
    --export-json "$dir/times.json" "${args[@]}"
  echo "$lines after $(cut -d' ' -f1-3 /proc/loadavg)" >>"$work/loads"
done

ps -eo pcpu,ni,comm --sort=-pcpu | head -6 >"$work/busy"
# shellcheck disable=SC2086 # one argument per size
python3 "$root/bench/report.py" --work "$work" --sizes $sizes --output "$output"
echo "Wrote $output"
