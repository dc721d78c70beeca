#!/usr/bin/env python3
"""Makes the Windows zip of one MinGW-w64 build and prints its path:
OUT_DIR/orbant-VERSION-windows-ARCH.zip, whose one folder of the same name
holds orbant.exe, romtap.exe, README.txt and LICENSE.txt (text with CR LF line
ends, as Windows editors expect), nothing else. VERSION is the package's, from
the build's cache. Entries carry SOURCE_DATE_EPOCH as their time when it is
set, so that a release can be made again byte for byte.

Usage: windows-zip.py ARCH WINDOWS_BUILD_DIR SOURCE_DIR OUT_DIR
"""

import os
import re
import sys
import time
import zipfile
from pathlib import Path


def package_version(build: Path) -> str:
    cache = (build / "CMakeCache.txt").read_text(encoding="utf-8")
    found = re.search(r"^CMAKE_PROJECT_VERSION:STATIC=(.+)$", cache, re.MULTILINE)
    if not found:
        sys.exit(f"windows-zip.py: no package version in {build / 'CMakeCache.txt'}")
    return found.group(1)


def with_crlf(text: bytes) -> bytes:
    return text.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")


def entry_time() -> tuple:
    seconds = int(os.environ.get("SOURCE_DATE_EPOCH", time.time()))
    # Zip times start in 1980.
    return time.gmtime(max(seconds, 315532800))[:6]


def make_zip(arch: str, build: Path, source: Path, out: Path) -> Path:
    name = f"orbant-{package_version(build)}-windows-{arch}"
    contents = {
        "orbant.exe": (build / "assembler" / "orbant.exe").read_bytes(),
        "romtap.exe": (build / "romtap" / "romtap.exe").read_bytes(),
        "README.txt": with_crlf((source / "README.md").read_bytes()),
        "LICENSE.txt": with_crlf((source / "LICENSE").read_bytes()),
    }
    out.mkdir(parents=True, exist_ok=True)
    path = out / f"{name}.zip"
    stamp = entry_time()
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as archive:
        for file_name, data in contents.items():
            entry = zipfile.ZipInfo(f"{name}/{file_name}", stamp)
            entry.compress_type = zipfile.ZIP_DEFLATED
            entry.external_attr = 0o644 << 16
            archive.writestr(entry, data)
    return path


def main() -> None:
    if len(sys.argv) != 5 or sys.argv[1] not in ("x86_64", "i686"):
        sys.exit("usage: windows-zip.py x86_64|i686 WINDOWS_BUILD_DIR SOURCE_DIR OUT_DIR")
    arch, build, source, out = sys.argv[1], *map(Path, sys.argv[2:])
    try:
        print(make_zip(arch, build, source, out))
    except OSError as error:
        sys.exit(f"windows-zip.py: {error}")


if __name__ == "__main__":
    main()
