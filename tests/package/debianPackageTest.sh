#!/usr/bin/env bash
# Builds the Debian package from the build given as $1 (its CPack setup) and
# checks it: the files it holds (no simulated reader), its metadata, and the
# programs unpacked from it into a temporary root, which assemble the example
# cartridge and dump it again through the simulated reader, given by path.
# Lintian, where installed, must report no error.
# Usage: debianPackageTest.sh BUILD_DIR SOURCE_DIR   (status 77: skipped)
set -euo pipefail
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)

for tool in cpack dpkg-deb dpkg-shlibdeps; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "Skipped: $tool is not installed (Debian: dpkg-dev); scripts/test-tools.sh installs it as root."
    exit 77
  fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/debian-package.XXXXXX")
trap 'rm -rf "$work"' EXIT
status=0
fail() {
  echo "FAILED: $*"
  status=1
}

cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 || {
  cat "$work/cpack.log"
  exit 1
}
packages=("$work"/out/*.deb)
[ ${#packages[@]} -eq 1 ] || {
  echo "FAILED: one package expected, made: ${packages[*]}"
  exit 1
}
package=${packages[0]}
echo "Made $(basename "$package")"

# Its files, directories left out.
expected_files=(
  ./usr/bin/orbant
  ./usr/bin/romtap
  ./usr/share/bash-completion/completions/orbant
  ./usr/share/bash-completion/completions/romtap
  ./usr/share/doc/orbant/README.md
  ./usr/share/doc/orbant/changelog.gz
  ./usr/share/doc/orbant/copyright
  ./usr/share/man/man1/orbant.1.gz
  ./usr/share/man/man1/romtap.1.gz
)
[ -f "$source/docs/language.md" ] && expected_files+=(./usr/share/doc/orbant/language.md)
files=$(dpkg-deb -c "$package" | awk '$1 !~ /^d/ { print $6 }' | sort)
expected=$(printf '%s\n' "${expected_files[@]}" | sort)
[ "$files" = "$expected" ] || fail "the package holds other files than expected:
$(diff <(echo "$expected") <(echo "$files") || true)"

field() { # name
  dpkg-deb -f "$package" "$1"
}
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ "$(field Package)" = orbant ] || fail "Package: $(field Package)"
[ -n "$version" ] && [ "$(field Version)" = "$version" ] || fail "Version: $(field Version), the build's: $version"
[ "$(field Section)" = devel ] || fail "Section: $(field Section)"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture: $(field Architecture)"
[[ $(field Maintainer) =~ ^[^\<]+\ \<[^@\>]+@[^\>]+\>$ ]] || fail "Maintainer: $(field Maintainer)"
[[ $(field Depends) == *libc6* && $(field Depends) == *libstdc++6* ]] || fail "Depends: $(field Depends)"
[[ $(field Description) == *orbant* && $(field Description) == *romtap* ]] || fail "Description: $(field Description)"

# The programs as installed, each with the version its manual page names.
root=$work/root
dpkg-deb -x "$package" "$root"
orbant=$root/usr/bin/orbant
romtap=$root/usr/bin/romtap
for tool in orbant romtap; do
  title=$("$root/usr/bin/$tool" --version | head -1)
  [[ $title =~ ^$tool\ v([^ ]+) ]] || fail "$tool --version: $title"
  heading=$(gzip -dc "$root/usr/share/man/man1/$tool.1.gz" | head -1)
  [ "$heading" = ".TH ${tool^^} 1 \"2026\" \"$tool ${BASH_REMATCH[1]}\" \"User Commands\"" ] ||
    fail "$tool.1 names another version than $title: $heading"
done

# The example cartridge, assembled by the installed orbant as by the built one,
# then dumped through the simulated reader by the installed romtap.
mkdir "$work/installed" "$work/built"
for folder in installed built; do
  cp "$source"/examples/hello/*.asm "$work/$folder/"
done
(cd "$work/installed" && "$orbant" hello.asm hello.rom >/dev/null) || fail "the installed orbant failed on hello.asm"
(cd "$work/built" && "$build/assembler/orbant" hello.asm hello.rom >/dev/null) || fail "the built orbant failed on hello.asm"
cmp "$work/installed/hello.rom" "$work/built/hello.rom" || fail "the installed orbant made another image"
cmp "$work/installed/orbant.sym" "$work/built/orbant.sym" || fail "the installed orbant made another symbol file"
(cd "$work/installed" &&
  LD_LIBRARY_PATH="$build/romtap/simreader" MSXGRSIM_SLOT0="plain:$work/installed/hello.rom" \
    "$romtap" -b 4000 -s 4000 dumped.rom >dump.log) || fail "the installed romtap failed: $(cat "$work/installed/dump.log")"
cmp "$work/installed/hello.rom" "$work/installed/dumped.rom" || fail "the dump differs from the cartridge"

if command -v lintian >/dev/null 2>&1; then
  # As root lintian notes that it prefers another user: not a finding.
  findings=$(lintian --fail-on error "$package" 2>&1) || fail "lintian reports errors"
  grep -v '^running with root privileges' <<<"$findings" || echo "lintian: no findings"
else
  echo "lintian is not installed: its check was skipped."
fi

[ $status -eq 0 ] && echo "The package holds ${#expected_files[@]} files as expected and works from a temporary root."
exit $status
