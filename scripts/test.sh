#!/usr/bin/env bash
# Builds everything and runs every test. Extra arguments go to CMake, e.g.
#   BUILD_DIR=build-sanitize scripts/test.sh -DORBANT_SANITIZE=ON
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}

"$root/scripts/prerequisites.sh" --tests
"$root/scripts/test-tools.sh"
"$root/scripts/configure.sh" "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON "$@"
cmake --build "$build" -j2
# Without the test library the build leaves the tests out: that is a failure here.
ctest --test-dir "$build" --output-on-failure --no-tests=error -j2
"$root/scripts/windows-stage.sh" "$build"
