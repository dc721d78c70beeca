#!/usr/bin/env bash
# Cross-builds the tools for 32-bit (i686) and 64-bit (x86_64) Windows with
# MinGW-w64 and runs the end-to-end cases on those executables under Wine,
# through CTest in the native build directory given as $1:
# - the x86_64 build always runs every orbant and romtap case, through Wine's
#   64-bit loader;
# - the i686 build runs them too where this machine runs 32-bit programs (a
#   probe decides; ORBANT_NO_32BIT=1 makes it answer no) and 32-bit Wine is
#   installed. Where not, the i686 build is checked without running it
#   (check-windows-i686.sh).
# Installs MinGW-w64 and Wine when it can (root on Debian), in two steps
# (windows-tools.sh); where MinGW-w64 or 64-bit Wine is still missing it says
# plainly that the stage was skipped and why.
# What it ran and why goes to NATIVE_BUILD_DIR/windows-stages.txt, one line
# each for the x86_64 cases, the i686 cases and the i686 static check, for
# .ci/run to show.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
native=$(cd "${1:?usage: windows-stage.sh NATIVE_BUILD_DIR}" && pwd)
. "$root/scripts/windows-tools.sh"

record="$native/windows-stages.txt"
x86_64_cases="SKIPPED (the stage ended before them)"
i686_cases="SKIPPED (the stage ended before them)"
i686_static="SKIPPED (the stage ended before it)"
write_record() {
  printf 'x86_64 cases %s\ni686 cases %s\ni686 static check %s\n' \
    "$x86_64_cases" "$i686_cases" "$i686_static" >"$record"
}
trap write_record EXIT

skip() {
  echo "Windows stage skipped: $*"
  local why=${*%.}
  x86_64_cases="SKIPPED ($why)" i686_cases="SKIPPED ($why)" i686_static="SKIPPED ($why)"
  exit 0
}

if [ -n "${ORBANT_SKIP_WINDOWS:-}" ]; then
  skip "ORBANT_SKIP_WINDOWS is set."
fi

runs_32_bit=no
"$root/scripts/runs-32-bit-programs.sh" "$native" && runs_32_bit=yes
provide_windows_tools "$runs_32_bit" || skip "$windows_skip_reason"
architectures=(x86_64)
if [ "$i686_runs" = yes ]; then
  architectures+=(i686)
else
  echo "$i686_reason: i686 cases skipped"
fi
runs_i686() {
  [[ " ${architectures[*]} " == *" i686 "* ]]
}

generator=()
command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)

build_windows() { # architecture
  local dir="$native/windows-$1"
  cmake -S "$root" -B "$dir" "${generator[@]}" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$1.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
  cmake --build "$dir" -j2 --target orbant romtap simreader
}

export WINEDEBUG=-all
export WINEPREFIX="$native/wineprefix"
mkdir -p "$WINEPREFIX"
# One server for the whole stage, started before any program: Wine's own
# services, started along with the first program, inherit its output, and
# must not hold a caller's pipe open. The server puts itself in the
# background once it is ready.
wineserver -p >/dev/null 2>&1 </dev/null || true
trap 'wineserver -k >/dev/null 2>&1 || true; write_record' EXIT
# Wine sets up the prefix while the builds run. A prefix made by the 64-bit
# loader serves 32-bit programs as well.
"$(wine_loader 64)" wineboot -i >/dev/null 2>&1 </dev/null &
prefix_setup=$!

echo "=== Windows builds"
build_windows i686
build_windows x86_64
wait "$prefix_setup" || true
"$root/scripts/check-windows-zips.sh" "$native"

loader_for() { # architecture
  if [ "$1" = i686 ]; then wine_loader 32; else wine_loader 64; fi
}

# A program Wine could not start can exit silently: prove that it ran. An
# empty answer is Wine losing the start, tried again a few times.
prove_it_runs() { # architecture
  local loader usage attempt
  loader=$(loader_for "$1")
  for attempt in 1 2 3; do
    "$loader" "$native/windows-$1/assembler/orbant.exe" >"$native/windows-$1/usage.txt" 2>&1 </dev/null || true
    usage=$(cat "$native/windows-$1/usage.txt")
    [ -n "$usage" ] && break
  done
  case "$usage" in
    *"Usage: orbant filename[.asm] [output]"*) ;;
    *) echo "The $1 orbant.exe did not run under Wine ($loader): $usage"; exit 1 ;;
  esac
}

run_cases() { # architecture log
  local loader dir="$native/windows-$1"
  loader=$(loader_for "$1")
  ORBANT_COMMAND="$loader $dir/assembler/orbant.exe" ORBANT_CONSOLE_CRLF=1 \
    ROMTAP_COMMAND="$loader $dir/romtap/romtap.exe" ROMTAP_CONSOLE_CRLF=1 ROMTAP_READER_DIR="$dir/romtap/simreader" \
    ctest --test-dir "$native" -R '^(orbant_cases_[0-9]+|romtap_cases)$' --no-tests=error --output-on-failure -j4 >"$2" 2>&1
}

for arch in "${architectures[@]}"; do
  prove_it_runs "$arch"
done

# The builds' cases side by side, four runs at a time for each: a run under
# Wine mostly waits.
status=0
runs=()
for arch in "${architectures[@]}"; do
  run_cases "$arch" "$native/windows-$arch/cases.log" &
  runs+=($!)
done
x86_64_cases="RAN (MinGW-w64 and 64-bit Wine are present)"
i686_cases="SKIPPED ($i686_reason)"
i686_static="SKIPPED (the i686 cases ran)"
runs_i686 && i686_cases="RAN (32-bit programs run and 32-bit Wine is installed)"
for index in "${!runs[@]}"; do
  arch=${architectures[$index]}
  wait "${runs[$index]}" || status=1
  echo "=== orbant and romtap cases, $arch Windows build under Wine"
  cat "$native/windows-$arch/cases.log"
done

if ! runs_i686; then
  echo "=== i686 Windows build, checked without running it"
  i686_static="RAN (in place of the i686 cases)"
  "$root/scripts/check-windows-i686.sh" "$native/windows-i686" || status=1
fi
exit $status
