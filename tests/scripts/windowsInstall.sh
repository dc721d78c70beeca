#!/usr/bin/env bash
# The Windows stage's two-step install (scripts/windows-tools.sh and
# scripts/install-packages.sh) against stand-ins for apt-get, dpkg and id on
# PATH: a package index that fails to update once, 32-bit Wine that cannot be
# installed, an index that never updates and packages that never install.
# The stand-in apt-get "installs" a package by noting it; the decisions ask
# those notes whether a package is present.
# Usage: windowsInstall.sh SOURCE_DIR
set -uo pipefail
source_dir=${1:?usage: windowsInstall.sh SOURCE_DIR}
work=$(mktemp -d "${TMPDIR:-/tmp}/windows-install.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
failures=0

mkdir -p "$work/bin"
cat >"$work/bin/apt-get" <<'STANDIN'
#!/usr/bin/env bash
echo "apt-get $*" >>"$STANDIN/log"
case "$1" in
  update)
    failures=$(cat "$STANDIN/update-failures")
    if [ "$failures" != never ] && [ "$failures" -eq 0 ]; then exit 0; fi
    [ "$failures" != never ] && echo $((failures - 1)) >"$STANDIN/update-failures"
    echo "E: File has unexpected size (1234 != 5678). Mirror sync in progress?" >&2
    exit 100 ;;
  install)
    shift
    packages=()
    for word in "$@"; do [[ $word == -* ]] || packages+=("$word"); done
    for package in "${packages[@]}"; do
      if grep -qxF -- "$package" "$STANDIN/uninstallable"; then
        echo "E: Unable to correct problems, you have held broken packages." >&2
        exit 100
      fi
    done
    for package in "${packages[@]}"; do echo "$package" >>"$STANDIN/installed"; done ;;
esac
STANDIN
printf '#!/bin/sh\necho "dpkg $*" >>"$STANDIN/log"\n' >"$work/bin/dpkg"
printf '#!/bin/sh\necho 0\n' >"$work/bin/id"
chmod +x "$work/bin/"*
export PATH="$work/bin:$PATH" STANDIN="$work" ORBANT_APT_RETRY_WAIT=0

# Runs the decisions in a subshell and prints them with the stand-in's log.
decide() { # runs_32_bit update_failures uninstallable_packages...
  local runs_32_bit=$1
  echo "$2" >"$work/update-failures"
  shift 2
  printf '%s\n' "$@" >"$work/uninstallable"
  : >"$work/log"
  : >"$work/installed"
  (
    . "$source_dir/scripts/windows-tools.sh"
    windows_package_present() { grep -qxF -- "$1" "$STANDIN/installed"; }
    if provide_windows_tools "$runs_32_bit" >/dev/null 2>&1; then
      echo "i686 runs: $i686_runs${i686_reason:+ ($i686_reason)}"
    else
      echo "skipped: $windows_skip_reason"
    fi
  )
  cat "$work/log"
}

expect() { # title expected actual
  if [ "$2" != "$3" ]; then
    echo "FAILED: $1"
    diff <(echo "$2") <(echo "$3")
    failures=$((failures + 1))
  else
    echo "ok: $1"
  fi
}

expect "an update that fails once is tried again; both steps install" \
"i686 runs: yes
apt-get update -qq
apt-get update -qq
apt-get install -y -qq g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64
dpkg --add-architecture i386
apt-get update -qq
apt-get install -y -qq wine32:i386" \
"$(decide yes 1)"

expect "32-bit Wine that cannot be installed leaves the i686 build to the static check" \
"i686 runs: no (32-bit Wine could not be installed (wine32:i386))
apt-get update -qq
apt-get update -qq
apt-get install -y -qq g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64
dpkg --add-architecture i386
apt-get update -qq
apt-get install -y -qq wine32:i386" \
"$(decide yes 1 wine32:i386)"

expect "an index that never updates: the install is tried with it as it is" \
"i686 runs: no (32-bit Windows programs cannot run on this machine)
apt-get update -qq
apt-get update -qq
apt-get update -qq
apt-get install -y -qq g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64" \
"$(decide no never)"

expect "MinGW-w64 or 64-bit Wine that cannot be installed skips the stage" \
"skipped: MinGW-w64 or Wine is missing: g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64.
apt-get update -qq
apt-get install -y -qq g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64" \
"$(decide yes 0 wine64)"

[ "$failures" -eq 0 ]
