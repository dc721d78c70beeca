#!/usr/bin/env bash
# Times orbant against the Z80 assemblers that Debian packages, on generated
# programs of 20k, 100k and 400k lines, counts the instructions of orbant and
# of GNU as + ld + objcopy with callgrind, times orbant on a 2M-line program
# against the largest of the others, and writes BENCHMARKS.md. The targets and
# whether they are met are printed at the end.
#
#   bench/run.sh
#
# Environment: BENCH_DIR (scratch folder, default /tmp/orbant-bench),
# BENCH_SIZES (default "20000 100000 400000"), BENCH_WARMUP (default 3),
# BENCH_MIN_RUNS / BENCH_MAX_RUNS (default 5 / 60: hyperfine runs each
# command for about 3 s within these bounds), BENCH_OUTPUT (default
# BENCHMARKS.md at the repository root).
# BENCH_CALLGRIND_SIZES (default "100000 400000"; empty: none): the sizes,
# each one of BENCH_SIZES, at which callgrind counts the instructions of every
# process of orbant's and GNU as's commands, and orbant's per-phase counts.
# BENCH_LARGE (default 2000000; empty: no growth stage): the program that
# orbant alone is timed on, in one hyperfine run with the largest of
# BENCH_SIZES; its image is checked against GNU as's first.
# BENCH_BIG_GAME (default empty: no such stage; 1: the stage): orbant alone
# on the program of a big game's shape, by bench/big-game.sh in
# BENCH_DIR/big-game (wall time, system calls per input file); its figures
# are printed and left in BENCH_DIR/big-game/summary, not in BENCHMARKS.md.
# BENCH_PREPROCESS_FUNCTION, BENCH_PASS_FUNCTION, BENCH_SYMBOLS_FUNCTION
# (default preprocessSource, runStatements, writeSymbolFile): the functions
# whose inclusive counts are orbant's phases. The pass function is the one
# every pass calls once and that the Release build keeps as a symbol (runPass
# is inlined); callgrind starts a new profile part on each call, so pass 1
# and the later passes are told apart.
#
# Not part of the test suite: it takes about twenty minutes, most of it
# z80asm on the largest program and callgrind.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=${BENCH_DIR:-/tmp/orbant-bench}
sizes=${BENCH_SIZES:-"20000 100000 400000"}
warmup=${BENCH_WARMUP:-3}
min_runs=${BENCH_MIN_RUNS:-5}
max_runs=${BENCH_MAX_RUNS:-60}
output=${BENCH_OUTPUT:-$root/BENCHMARKS.md}
callgrind_sizes=${BENCH_CALLGRIND_SIZES-"100000 400000"}
large=${BENCH_LARGE-2000000}
big_game=${BENCH_BIG_GAME:-}
largest=${sizes##* }
phase_functions=("${BENCH_PREPROCESS_FUNCTION:-preprocessSource}" "${BENCH_PASS_FUNCTION:-runStatements}"
  "${BENCH_SYMBOLS_FUNCTION:-writeSymbolFile}")

[[ -z "$large" || " $sizes " != *" $large "* ]] || {
  echo "BENCH_LARGE: $large is one of BENCH_SIZES ($sizes); give it a size of its own" >&2
  exit 1
}
for lines in $callgrind_sizes; do
  [[ " $sizes " == *" $lines "* ]] || {
    echo "BENCH_CALLGRIND_SIZES: $lines is not one of BENCH_SIZES ($sizes)" >&2
    exit 1
  }
done

require_tools() {
  local missing=()
  command -v hyperfine >/dev/null 2>&1 || missing+=(hyperfine)
  command -v pasmo >/dev/null 2>&1 || missing+=(pasmo)
  command -v z80asm >/dev/null 2>&1 || missing+=(z80asm)
  command -v z80-unknown-coff-as >/dev/null 2>&1 || missing+=(binutils-z80)
  command -v sdasz80 >/dev/null 2>&1 || missing+=(sdcc)
  command -v python3 >/dev/null 2>&1 || missing+=(python3)
  [ -x /usr/bin/time ] || missing+=(time)
  command -v valgrind >/dev/null 2>&1 && command -v callgrind_annotate >/dev/null 2>&1 || missing+=(valgrind)
  if [ -n "$big_game" ]; then
    command -v strace >/dev/null 2>&1 || missing+=(strace)
  fi
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

# Runs the command of tool $1 on the program of folder $2 once, with its
# output in $2/$1.log; stops the benchmark if it fails.
run_once() {
  sh -c "$(command_for "$1" "$2")" >"$2/$1.log" 2>&1 || {
    echo "$1 failed:" >&2
    tail -20 "$2/$1.log" >&2
    exit 1
  }
}

# Counts the instructions of the command of tool $1 on the program of folder
# $2 with callgrind: one output file per process of the command, and for
# orbant one part per pass, in $2/callgrind/$1.
count_instructions() {
  local tool=$1 dir=$2
  local out=$dir/callgrind/$tool
  local options=(--tool=callgrind --trace-children=yes "--callgrind-out-file=$out/callgrind.%p")
  [ "$tool" = orbant ] && options+=("--dump-before=*${phase_functions[1]}(*")
  rm -rf "$out"
  mkdir -p "$out"
  valgrind "${options[@]}" sh -c "$(command_for "$tool" "$dir")" >"$out/log" 2>&1 || {
    echo "$tool failed under callgrind:" >&2
    tail -20 "$out/log" >&2
    exit 1
  }
}

# Peak resident set, in KiB, of the command of tool $1 on the program of
# folder $2: the largest of $3 runs.
peak_memory() {
  local peak=0 kib
  for _ in $(seq "$3"); do
    kib=$(/usr/bin/time -f %M sh -c "$(command_for "$1" "$2") >/dev/null 2>&1" 2>&1 | tail -1)
    [ "$kib" -gt "$peak" ] && peak=$kib
  done
  echo "$peak"
}

source_bytes() {
  source_files "$1" "$2" | xargs cat | wc -c
}

# Lines and include files of orbant's dialect in folder $1, as facts lines.
program_facts() {
  wc -l "$1"/orbant/*.asm | tail -1 | awk '{print "lines", $1}'
  find "$1/orbant" -name '*.asm' | wc -l | awk '{print "files", $1}'
}

# Runs hyperfine on the name/command pairs that follow $1, the JSON file to
# write, noting the load averages before and after under the label $2.
time_commands() {
  local json=$1 label=$2
  shift 2
  echo "$label before $(cut -d' ' -f1-3 /proc/loadavg)" >>"$work/loads"
  hyperfine --warmup "$warmup" --min-runs "$min_runs" --max-runs "$max_runs" --style basic \
    --export-json "$json" "$@"
  echo "$label after $(cut -d' ' -f1-3 /proc/loadavg)" >>"$work/loads"
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
    run_once "$tool" "$dir"
  done
  python3 "$root/bench/compare_images.py" "$dir/orbant/main.bin" \
    --same "$dir/common/z80asm.bin" "$dir/gas/main.bin" "$dir/sdas/main.bin" \
    --paged "$dir/common/pasmo.bin"
  echo "same bytes: $(wc -c <"$dir/orbant/main.bin") bytes"
  cp "$dir/orbant/main.bin" "$dir/reference.bin"

  echo "--- Peak memory"
  : >"$dir/facts"
  for tool in $tools; do
    echo "$tool $(peak_memory "$tool" "$dir" 3) $(source_bytes "$tool" "$dir")" >>"$dir/facts"
  done
  program_facts "$dir" >>"$dir/facts"
  cat "$dir/facts"

  echo "--- Timing"
  args=()
  for tool in $tools; do
    args+=(-n "$tool" "$(command_for "$tool" "$dir")")
  done
  time_commands "$dir/times.json" "$lines" "${args[@]}"

  if [[ " $callgrind_sizes " == *" $lines "* ]]; then
    echo "--- Counting instructions (callgrind)"
    count_instructions orbant "$dir"
    count_instructions gas "$dir"
    python3 "$root/bench/compare_images.py" "$dir/reference.bin" --same "$dir/orbant/main.bin" "$dir/gas/main.bin"
  fi
done

if [ -n "$large" ]; then
  dir=$work/$large
  echo "=== $large lines, orbant alone, against $largest lines"
  rm -rf "$dir"
  python3 "$root/bench/generate.py" --lines "$large" --out "$dir" --dialects orbant gas
  echo "--- Checking orbant's bytes against GNU as's"
  run_once orbant "$dir"
  run_once gas "$dir"
  python3 "$root/bench/compare_images.py" "$dir/orbant/main.bin" --same "$dir/gas/main.bin"
  echo "same bytes: $(wc -c <"$dir/orbant/main.bin") bytes"
  echo "orbant $(peak_memory orbant "$dir" 1) $(source_bytes orbant "$dir")" >"$dir/facts"
  program_facts "$dir" >>"$dir/facts"
  cat "$dir/facts"
  echo "--- Timing"
  time_commands "$dir/times.json" "$large" -n "orbant $largest" "$(command_for orbant "$work/$largest")" \
    -n "orbant $large" "$(command_for orbant "$dir")"
fi

if [ -n "$big_game" ]; then
  echo "=== A big game's shape, orbant alone"
  "$root/bench/big-game.sh" "$orbant" "$work/big-game"
fi

ps -eo pcpu,ni,comm --sort=-pcpu | head -6 >"$work/busy"
# shellcheck disable=SC2086 # one argument per size
python3 "$root/bench/report.py" --work "$work" --sizes $sizes --output "$output" \
  --callgrind-sizes $callgrind_sizes --large "$large" --phase-functions "${phase_functions[@]}"
echo "Wrote $output"
