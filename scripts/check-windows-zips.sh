#!/usr/bin/env bash
# Makes the Windows zips from the MinGW-w64 builds as scripts/package.sh does
# and checks them: each holds exactly orbant.exe, romtap.exe, README.txt and
# LICENSE.txt in one folder, the programs are the build's, for the zip's
# architecture, and the texts have CR LF line ends. Where this machine runs
# the architecture's programs under Wine, the programs unpacked from the zip
# assemble the example cartridge (the same bytes as the native orbant) and
# dump it again through the build's simulated reader.
# Usage: check-windows-zips.sh NATIVE_BUILD_DIR [X86_64_BUILD_DIR I686_BUILD_DIR]
#   (default: the Windows stage's NATIVE_BUILD_DIR/windows-ARCH); set WINEPREFIX
#   to keep Wine's files out of your home folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
native=$(cd "${1:?usage: check-windows-zips.sh NATIVE_BUILD_DIR [X86_64_BUILD_DIR I686_BUILD_DIR]}" && pwd)
declare -A builds=([x86_64]=${2:-$native/windows-x86_64} [i686]=${3:-$native/windows-i686})

# The zips are made and read with Python's zipfile.
if ! command -v python3 >/dev/null 2>&1 && ! "$root/scripts/install-packages.sh" python3; then
  echo "Windows zips not checked: python3 is missing."
  exit 0
fi

export WINEDEBUG=-all
work=$(mktemp -d "$native/windows-zips.XXXXXX")
trap 'rm -rf "$work"' EXIT
status=0
fail() {
  echo "FAILED: $*"
  status=1
}

# Debian keeps Wine's loaders in its library folder, off PATH: wine for
# 32-bit programs, wine64 for 64-bit ones (the wine on PATH is no loader).
wine_loader() { # architecture
  local name=wine
  [ "$1" = x86_64 ] && name=wine64
  if [ -x "/usr/lib/wine/$name" ]; then
    echo "/usr/lib/wine/$name"
  elif [ ! -d /usr/lib/wine ]; then
    command -v "$name" || true
  fi
}

runs_under_wine() { # architecture
  [ -n "$(wine_loader "$1")" ] || return 1
  [ "$1" = x86_64 ] || "$root/scripts/runs-32-bit-programs.sh" "$work"
}

# Runs PROGRAM under Wine in the current folder, output in LOG. Wine can lose
# a program's start and exit silently: an empty log is tried again.
wine_run() { # architecture log program arguments...
  local loader=$(wine_loader "$1") log=$2 attempt result
  shift 2
  for attempt in 1 2 3; do
    result=0
    "$loader" "$@" >"$log" 2>&1 </dev/null || result=$?
    [ -s "$log" ] && break
  done
  return $result
}

check_contents() { # architecture zip
  local folder listing expected
  folder=$(basename "$2" .zip)
  listing=$(python3 -m zipfile -l "$2" | awk 'NR > 1 { print $1 }' | sort)
  expected=$(printf "$folder/%s\n" LICENSE.txt README.txt orbant.exe romtap.exe)
  [ "$listing" = "$expected" ] || fail "$(basename "$2") holds other files than expected:
$(diff <(echo "$expected") <(echo "$listing") || true)"
  python3 -m zipfile -e "$2" "$work/$1"
  python3 - "$1" "$work/$1/$folder" "${builds[$1]}" "$root" <<'EOF' || fail "$(basename "$2") holds other contents than expected"
import struct, sys
from pathlib import Path
arch, unpacked, build, source = sys.argv[1], *map(Path, sys.argv[2:])
machine = {"x86_64": 0x8664, "i686": 0x14C}[arch]
status = 0
def fail(text):
    global status
    print(f"{arch}: {text}")
    status = 1
for program, folder in (("orbant.exe", "assembler"), ("romtap.exe", "romtap")):
    data = (unpacked / program).read_bytes()
    if data != (build / folder / program).read_bytes():
        fail(f"{program} is not the build's")
    header = struct.unpack_from("<I", data, 0x3C)[0]
    if data[header:header + 4] != b"PE\0\0" or struct.unpack_from("<H", data, header + 4)[0] != machine:
        fail(f"{program} is no {arch} Windows program")
for text, original in (("README.txt", "README.md"), ("LICENSE.txt", "LICENSE")):
    data = (unpacked / text).read_bytes()
    line_ends = data.count(b"\r\n")
    if not line_ends or data.count(b"\n") != line_ends or data.count(b"\r") != line_ends:
        fail(f"{text} does not end every line, and only lines, in CR LF")
    if data.replace(b"\r\n", b"\n") != (source / original).read_bytes():
        fail(f"{text} is not {original}")
sys.exit(status)
EOF
}

smoke() { # architecture unpacked_folder
  local run=$work/$1/run
  mkdir -p "$run"
  cp "$root"/examples/hello/*.asm "$run/"
  cmake --build "${builds[$1]}" --target simreader >/dev/null
  cp "${builds[$1]}/romtap/simreader/MSXGr.dll" "$run/"
  (cd "$run" && "$native/assembler/orbant" hello.asm native.rom >/dev/null)
  (cd "$run" && wine_run "$1" orbant.log "$2/orbant.exe" hello.asm hello.rom) ||
    fail "$1 orbant.exe failed: $(cat "$run/orbant.log")"
  cmp -s "$run/hello.rom" "$run/native.rom" || fail "$1 orbant.exe made another image than the native orbant"
  (cd "$run" && MSXGRSIM_SLOT0=plain:hello.rom wine_run "$1" romtap.log "$2/romtap.exe" -b 4000 -s 4000 dumped.rom) ||
    fail "$1 romtap.exe failed: $(cat "$run/romtap.log")"
  cmp -s "$run/hello.rom" "$run/dumped.rom" || fail "$1 romtap.exe dumped another image than the cartridge"
  if [ $status -eq 0 ]; then
    echo "$1: orbant.exe and romtap.exe from the zip assembled and dumped the example under Wine."
  fi
}

for arch in x86_64 i686; do
  zip=$(python3 "$root/scripts/windows-zip.py" "$arch" "${builds[$arch]}" "$root" "$work")
  echo "=== $(basename "$zip")"
  python3 -m zipfile -l "$zip"
  check_contents "$arch" "$zip"
  if runs_under_wine "$arch"; then
    smoke "$arch" "$work/$arch/$(basename "$zip" .zip)"
  else
    echo "$arch: this machine cannot run its programs under Wine (no $arch Wine loader, or no 32-bit programs): smoke case skipped."
  fi
done
[ $status -eq 0 ] && echo "The Windows zips hold the expected files."
exit $status
