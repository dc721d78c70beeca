# Sourced by windows-stage.sh: finding Wine's loaders, and deciding what the
# Windows stage can run, installing what it needs in two steps:
#   1. MinGW-w64 and 64-bit Wine, which need no i386 package index; without
#      them the stage is skipped;
#   2. 32-bit Wine, only where this machine runs 32-bit programs; without it
#      the i686 build is checked without running it.
# tests/scripts/windowsInstall.sh runs these decisions against a stand-in
# apt-get, replacing windows_package_present.

# Debian keeps Wine's loaders in its library folder, off PATH: wine for
# 32-bit programs, wine64 for 64-bit ones. The wine command on PATH starts
# the 32-bit one first whenever it is installed.
wine_loader() { # 32 or 64
  local name=wine
  [ "$1" = 64 ] && name=wine64
  if [ -x "/usr/lib/wine/$name" ]; then
    echo "/usr/lib/wine/$name"
  elif [ ! -d /usr/lib/wine ]; then
    command -v "$name" || true
  fi
}

windows_package_present() { # Debian package
  case "$1" in
    g++-mingw-w64-i686) command -v i686-w64-mingw32-g++ ;;
    g++-mingw-w64-x86-64) command -v x86_64-w64-mingw32-g++ ;;
    wine) command -v wineserver ;;
    wine64) [ -n "$(wine_loader 64)" ] ;;
    wine32:i386) [ -n "$(wine_loader 32)" ] ;;
    *) false ;;
  esac >/dev/null 2>&1
}

# The packages of those named that are not present.
missing_windows_packages() { # package...
  local package
  for package in "$@"; do
    windows_package_present "$package" || echo "$package"
  done
}

# Sets, for a machine that runs 32-bit programs or not (yes or no):
#   windows_skip_reason  why nothing can run (step 1 failed), else empty;
#   i686_runs            yes when the i686 cases can run under Wine;
#   i686_reason          why they cannot.
# Returns 1 when the stage must be skipped.
provide_windows_tools() { # runs_32_bit
  local scripts missing
  scripts=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
  windows_skip_reason= i686_runs=no i686_reason=
  mapfile -t missing < <(missing_windows_packages g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64)
  if [ ${#missing[@]} -gt 0 ] && ! "$scripts/install-packages.sh" "${missing[@]}"; then
    windows_skip_reason="MinGW-w64 or Wine is missing: ${missing[*]}."
    return 1
  fi
  if [ "$1" != yes ]; then
    i686_reason="32-bit Windows programs cannot run on this machine"
    return 0
  fi
  if ! windows_package_present wine32:i386; then
    # 32-bit Wine comes from the i386 architecture.
    local hint="32-bit Wine is missing (wine32:i386; first: dpkg --add-architecture i386)"
    if [ "$(id -u)" -eq 0 ]; then
      dpkg --add-architecture i386
      hint="32-bit Wine could not be installed (wine32:i386)"
    fi
    if ! "$scripts/install-packages.sh" wine32:i386; then
      i686_reason=$hint
      return 0
    fi
  fi
  i686_runs=yes
}
