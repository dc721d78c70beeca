#!/usr/bin/env bash
# Configures the build directory given as $1 (extra CMake options follow).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$1
shift
"$root/scripts/prerequisites.sh"
generator=()
command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" "${generator[@]}" "$@" >/dev/null
else
  cmake -S "$root" -B "$build" "$@" >/dev/null
fi
