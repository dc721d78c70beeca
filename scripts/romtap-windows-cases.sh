#!/usr/bin/env bash
# Runs romtap's end-to-end cases on the 32-bit Windows build under Wine,
# against the simulated reader built as MSXGr.dll.
# Usage: romtap-windows-cases.sh NATIVE_BUILD_DIR WINDOWS_BUILD_DIR
set -euo pipefail
native=$1
windows=$2
reader=$(dirname "$(find "$windows/romtap" -name MSXGr.dll | head -n 1)")
ROMTAP_COMMAND="wine $windows/romtap/romtap.exe" ROMTAP_READER_DIR="$reader" \
  ctest --test-dir "$native" -R '^romtap_cases$' --output-on-failure
