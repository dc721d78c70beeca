#!/usr/bin/env bash
# Cross-builds the tools for Windows with MinGW-w64 and runs the end-to-end
# suites on those executables under Wine, through CTest in the native build
# directory given as $1. Installs MinGW-w64 and Wine when it can (root on
# Debian); otherwise it says plainly that the stage was skipped and why.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
native=${1:?usage: windows-stage.sh NATIVE_BUILD_DIR}

skip() {
  echo "Windows stage skipped: $*"
  exit 0
}

if [ -n "${ORBANT_SKIP_WINDOWS:-}" ]; then
  skip "ORBANT_SKIP_WINDOWS is set."
fi

missing=()
command -v i686-w64-mingw32-g++ >/dev/null 2>&1 || missing+=(g++-mingw-w64-i686)
command -v x86_64-w64-mingw32-g++ >/dev/null 2>&1 || missing+=(g++-mingw-w64-x86-64)
command -v wine >/dev/null 2>&1 || missing+=(wine wine64)
dpkg -s wine32:i386 >/dev/null 2>&1 || missing+=(wine32:i386)
if [ ${#missing[@]} -gt 0 ]; then
  # 32-bit Wine comes from the i386 architecture.
  [ "$(id -u)" -eq 0 ] && dpkg --add-architecture i386
  "$root/scripts/install-packages.sh" "${missing[@]}" ||
    skip "MinGW-w64 and Wine are missing (32-bit Wine needs: dpkg --add-architecture i386)."
fi

generator=()
command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)

build_windows() { # architecture, targets...
  local arch=$1 dir="$native/windows-$1"
  shift
  cmake -S "$root" -B "$dir" "${generator[@]}" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
  cmake --build "$dir" -j2 --target "$@"
}

echo "=== Windows builds"
build_windows i686 orbant romtap simreader
build_windows x86_64 orbant

export WINEDEBUG=-all
export WINEPREFIX="$native/wineprefix"
wineboot -i >/dev/null 2>&1 || true
# A server started by the first test would hold the callers' pipes open.
wineserver -p >/dev/null 2>&1 </dev/null &
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT

# Without 32-bit Wine a 32-bit program exits silently: prove it ran.
usage=$(wine "$native/windows-i686/assembler/orbant.exe" 2>&1 || true)
case "$usage" in
  *"Usage: orbant filename[.asm] [output]"*) ;;
  *) echo "The 32-bit orbant.exe did not run under Wine: $usage"; exit 1 ;;
esac

# Each run mostly waits on Wine: two halves of each build's cases, four
# runs side by side, keep both cores busy.
status=0
runs=()
titles=()
logs=()
for arch in i686 x86_64; do
  for shard in 0 1; do
    log="$native/windows-$arch/cases-$shard.log"
    GTEST_TOTAL_SHARDS=2 GTEST_SHARD_INDEX=$shard \
      ORBANT_COMMAND="wine $native/windows-$arch/assembler/orbant.exe" ORBANT_CONSOLE_CRLF=1 \
      ctest --test-dir "$native" -R '^orbant_cases$' --output-on-failure >"$log" 2>&1 &
    runs+=($!)
    titles+=("$arch Windows build under Wine, half $((shard + 1)) of 2")
    logs+=("$log")
  done
done
for index in "${!runs[@]}"; do
  wait "${runs[$index]}" || status=1
  echo "=== orbant cases, ${titles[$index]}"
  cat "${logs[$index]}"
done
if [ -f "$root/scripts/romtap-windows-cases.sh" ]; then
  echo "=== romtap cases, i686 Windows build under Wine"
  "$root/scripts/romtap-windows-cases.sh" "$native" "$native/windows-i686" || status=1
fi
exit $status
