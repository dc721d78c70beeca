#!/usr/bin/env bash
# Makes the release files, into BUILD_DIR/packages (default build/packages):
# - orbant_VERSION_ARCH.deb, the Debian package of the native Release build
#   (cmake --build BUILD_DIR --target package);
# - orbant-VERSION-windows-x86_64.zip and orbant-VERSION-windows-i686.zip from
#   the MinGW-w64 builds in BUILD_DIR/windows-ARCH (the Windows stage of
#   scripts/test.sh builds there too), made by scripts/windows-zip.py.
# Installs MinGW-w64 when it can (root on Debian); otherwise it fails and
# prints the command to run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
mkdir -p "$build"
build=$(cd "$build" && pwd)
out=$build/packages

missing=()
command -v i686-w64-mingw32-g++ >/dev/null 2>&1 || missing+=(g++-mingw-w64-i686)
command -v x86_64-w64-mingw32-g++ >/dev/null 2>&1 || missing+=(g++-mingw-w64-x86-64)
command -v dpkg-shlibdeps >/dev/null 2>&1 || missing+=(dpkg-dev)
command -v python3 >/dev/null 2>&1 || missing+=(python3)
"$root/scripts/install-packages.sh" "${missing[@]}" || {
  echo "Packaging needs ${missing[*]}." >&2
  exit 1
}

generator=()
command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)

echo "=== Debian package"
"$root/scripts/configure.sh" "$build" -DCMAKE_BUILD_TYPE=Release
rm -rf "$out"
mkdir -p "$out"
rm -f "$build"/orbant_*.deb
cmake --build "$build" -j2 --target package
mv "$build"/orbant_*.deb "$out/"

for arch in x86_64 i686; do
  echo "=== Windows zip, $arch"
  windows=$build/windows-$arch
  cmake -S "$root" -B "$windows" "${generator[@]}" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
  cmake --build "$windows" -j2 --target orbant romtap
  python3 "$root/scripts/windows-zip.py" "$arch" "$windows" "$root" "$out" >/dev/null
done

echo "=== Made in $out:"
ls -l "$out"
