#!/usr/bin/env bash
# Installs the Debian packages named as arguments when it can (root with
# apt-get). Otherwise, or when the install fails, it prints the command to
# run and exits 1, leaving it to the caller to fail or to skip.
set -uo pipefail
[ $# -eq 0 ] && exit 0
if [ "$(id -u)" -eq 0 ] && command -v apt-get >/dev/null 2>&1; then
  echo "Installing $*..."
  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$@" >/dev/null && exit 0
  echo "Installing $* failed." >&2
fi
echo "Install them with:  sudo apt-get install -y $*" >&2
exit 1
