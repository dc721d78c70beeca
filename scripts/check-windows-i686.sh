#!/usr/bin/env bash
# Checks the 32-bit Windows build without running it, where this machine runs
# no 32-bit programs: orbant.exe, romtap.exe and the simulated MSXGr.dll are
# 32-bit Windows files, the two programs are console programs, none of the
# three imports more than the system DLLs below (no compiler runtime to ship
# beside them), and MSXGr.dll exports every MSXGR_ entry point that
# romtap/msxgrApi.h declares under its plain, undecorated name.
# Usage: check-windows-i686.sh I686_WINDOWS_BUILD_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:?usage: check-windows-i686.sh I686_WINDOWS_BUILD_DIR}
objdump=i686-w64-mingw32-objdump
# What the three import today.
system_dlls=(KERNEL32.dll msvcrt.dll)

status=0
fail() {
  echo "i686 static check failed: $*"
  status=1
}

headers() { # file
  "$objdump" -p "$1" 2>/dev/null || true
}

check_32_bit() { # file description
  local text
  text=$(headers "$1")
  grep -q 'file format pei-i386$' <<<"$text" && grep -q '^Magic.*(PE32)$' <<<"$text" ||
    fail "$(basename "$1") is not a 32-bit Windows $2"
}

check_console() { # file
  grep -q '^Subsystem.*(Windows CUI)$' <<<"$(headers "$1")" || fail "$(basename "$1") is not a console program"
}

check_imports() { # file
  local dll imports
  imports=$(headers "$1" | sed -n 's/^[[:space:]]*DLL Name: //p')
  [ -n "$imports" ] || fail "$(basename "$1") has no import table"
  for dll in $imports; do
    [[ " ${system_dlls[*]} " == *" $dll "* ]] || fail "$(basename "$1") imports $dll, beyond ${system_dlls[*]}"
  done
}

exported_names() { # file
  headers "$1" | awk '/^\[Ordinal\/Name Pointer\] Table/ { names = 1; next } names && NF == 0 { names = 0 } names { print $NF }'
}

check_exports() { # file; sets entry_point_count
  local name exports entry_points decorated
  exports=$(exported_names "$1")
  entry_points=$(grep -oE '\bMSXGR_[A-Za-z0-9]+\(' "$root/romtap/msxgrApi.h" | tr -d '(' | sort -u)
  [ -n "$entry_points" ] || fail "no MSXGR_ entry point found in romtap/msxgrApi.h"
  for name in $entry_points; do
    grep -qx "$name" <<<"$exports" || fail "$(basename "$1") does not export $name undecorated"
  done
  # A decorated twin (_MSXGR_Init, MSXGR_Init@0) would mean the wrong calling convention.
  decorated=$(grep -E '^_MSXGR_|^MSXGR_.*@' <<<"$exports" | tr '\n' ' ' || true)
  [ -z "$decorated" ] || fail "$(basename "$1") exports decorated names: $decorated"
  entry_point_count=$(wc -w <<<"$entry_points")
}

orbant=$build/assembler/orbant.exe
romtap=$build/romtap/romtap.exe
reader=$build/romtap/simreader/MSXGr.dll
for file in "$orbant" "$romtap" "$reader"; do
  [ -f "$file" ] || fail "$file is missing"
done
[ $status -eq 0 ] || exit 1

check_32_bit "$orbant" program
check_32_bit "$romtap" program
check_32_bit "$reader" library
check_console "$orbant"
check_console "$romtap"
check_imports "$orbant"
check_imports "$romtap"
check_imports "$reader"
check_exports "$reader"
[ $status -eq 0 ] || exit 1
echo "i686 static check passed: orbant.exe and romtap.exe are 32-bit Windows console programs and MSXGr.dll"
echo "a 32-bit library; they import only ${system_dlls[*]}; MSXGr.dll exports all $entry_point_count MSXGR_ entry points undecorated."
