#!/usr/bin/env bash
# Coverage-guided fuzzing with AFL++, built with AddressSanitizer and
# UndefinedBehaviorSanitizer, of one of four targets:
#   orbant          orbant's whole pipeline (preprocessing, passes, output);
#   orbant-options  the same with the opt-in paths: macros, the gnu form's
#                   source lines and notes, the listing and its symbols;
#   scanners        scanner_diff, which compares the scanner with the former
#                   flex rules on each input and aborts where they differ
#                   (needs flex);
#   passes          passes_diff, which runs orbant on each input with the
#                   statements the passes keep and with every pass
#                   reading every statement, and aborts where they differ.
# Seeds come from the test cases and the example. Every crash, hang or
# sanitizer report fails the run; turn each into a case.
# Usage: fuzz.sh [SECONDS [WORK_DIR [TARGET]]]  (default: 60 seconds, build-fuzz, orbant)
# FUZZ_EXTRA_SEEDS=DIR adds the queue of an earlier run to the seeds.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
seconds=${1:-60}
work=${2:-$root/build-fuzz}
target=${3:-orbant}
arguments=()
case $target in
  orbant) program=assembler/orbant testing=OFF ;;
  orbant-options)
    program=assembler/orbant testing=OFF
    arguments=(--macros --diagnostics=gnu --listing fuzz.lst)
    ;;
  scanners) program=tests/scanner/scanner_diff testing=ON ;;
  passes) program=tests/passes/passes_diff testing=ON ;;
  *) echo "Unknown fuzz target: $target (orbant, orbant-options, scanners or passes)"; exit 2 ;;
esac

if ! command -v afl-fuzz >/dev/null 2>&1 || ! command -v afl-clang-fast++ >/dev/null 2>&1; then
  "$root/scripts/install-packages.sh" afl++ || {
    echo "Fuzzing skipped: AFL++ is not installed."
    exit 0
  }
fi

echo "=== Building the instrumented $(basename "$program")"
CC=afl-clang-fast CXX=afl-clang-fast++ "$root/scripts/configure.sh" "$work/build" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORBANT_SANITIZE=ON -DBUILD_TESTING=$testing
AFL_QUIET=1 cmake --build "$work/build" -j2 --target "$(basename "$program")" >/dev/null
if [ ! -x "$work/build/$program" ]; then
  echo "Fuzzing skipped: $(basename "$program") was not built (see the configure notes)."
  exit 0
fi

echo "=== Collecting seeds"
seeds="$work/seeds"
rm -rf "$seeds" && mkdir -p "$seeds"
cp "$root"/examples/hello/hello.asm "$seeds"/
# The sources of the cases: every "--- file NAME" section of a .case file.
n=0
while IFS= read -r -d '' file; do
  awk -v out="$seeds/case$n" '
    /^--- / { writing = ($2 == "file"); if (writing) part++; next }
    writing { print > (out "-" part ".asm") }' "$file"
  n=$((n + 1))
done < <(find "$root/tests/cases" -name '*.case' -not -path '*/romtap/*' -print0)
# One seed per instruction table, all its rows in one source.
for table in "$root"/tests/cases/*/*.table; do
  [ -e "$table" ] || continue
  grep -v '^#' "$table" | awk -F'|' 'NF >= 3 { print " CPU " $1; print " " $2 }' > "$seeds/$(basename "$table").asm"
done
# A corpus from an earlier run, if given, carries its coverage over.
if [ -n "${FUZZ_EXTRA_SEEDS:-}" ]; then
  cp "$FUZZ_EXTRA_SEEDS"/id:* "$seeds"/ 2>/dev/null || true
fi
# Keep the seeds small: the fuzzer mutates better from short inputs.
find "$seeds" -type f -size +8k -delete
# A seed that runs long by design (a REPT of 400,000 lines under the
# sanitizers) would have its mutations taken for hangs: seeds that repeat
# are timed, and those that need over a second are left out.
mkdir -p "$work/run"
while IFS= read -r seed; do
  (cd "$work/run" && timeout 1 "$work/build/$program" "${arguments[@]}" "$seed" >/dev/null 2>&1) ||
    [ $? -ne 124 ] || { echo "Left out, slow by design: $(basename "$seed")"; rm -f "$seed"; }
done < <(grep -ilw rept "$seeds"/* || true)
echo "$(ls "$seeds" | wc -l) seeds"

echo "=== Fuzzing for $seconds seconds"
findings="$work/findings"
rm -rf "$findings"
cd "$work/run"
export AFL_SKIP_CPUFREQ=1 AFL_I_DONT_CARE_ABOUT_MISSING_CRASHES=1 AFL_NO_UI=1 AFL_NO_AFFINITY=1
export AFL_SKIP_CRASHES=1 AFL_AUTORESUME=1
export ASAN_OPTIONS=abort_on_error=1:symbolize=0:detect_leaks=0:allocator_may_return_null=1
export UBSAN_OPTIONS=halt_on_error=1:abort_on_error=1
afl-fuzz -i "$seeds" -o "$findings" -m none -t 5000 -V "$seconds" \
  -x "$root/tests/fuzz/orbant.dict" -- "$work/build/$program" "${arguments[@]}" @@ >"$work/afl.log" 2>&1 || {
  echo "afl-fuzz failed:"; tail -30 "$work/afl.log"; exit 1; }

stats="$findings/default/fuzzer_stats"
grep -E "^(execs_done|execs_per_sec|corpus_count|bitmap_cvg|saved_crashes|saved_hangs|run_time)" "$stats"
problems=$(find "$findings/default/crashes" "$findings/default/hangs" -type f -name 'id:*' | wc -l)
if [ "$problems" -ne 0 ]; then
  echo "The fuzzer found $problems crashing or hanging inputs:"
  find "$findings/default/crashes" "$findings/default/hangs" -type f -name 'id:*'
  exit 1
fi
echo "No crash, hang or sanitizer report."
