#!/usr/bin/env bash
# Checks that every C++ file in the repository is laid out as .clang-format
# says. Versions of clang-format lay out the same file differently, so the
# version is pinned: the one Debian 12 packages.
#   scripts/check-format.sh          check, listing what differs
#   scripts/check-format.sh --fix    reformat in place
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
pinned=14

"$root/scripts/install-packages.sh" $(command -v clang-format >/dev/null 2>&1 || echo clang-format) || exit 1
version=$(clang-format --version | sed -n 's/.*clang-format version \([0-9]*\)\..*/\1/p')
if [ "$version" != "$pinned" ]; then
  echo "clang-format $pinned is needed; this one is: $(clang-format --version)" >&2
  exit 1
fi

mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = --fix ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
if ! clang-format --dry-run -Werror "${files[@]}"; then
  echo "Some files are not laid out as .clang-format says: scripts/check-format.sh --fix" >&2
  exit 1
fi
echo "Layout: ${#files[@]} files as .clang-format says (clang-format $version)"
