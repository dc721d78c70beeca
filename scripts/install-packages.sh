#!/usr/bin/env bash
# Installs the Debian packages named as arguments when it can (root with
# apt-get). Otherwise, or when the install fails, it prints the command to
# run and exits 1, leaving it to the caller to fail or to skip.
# A failed `apt-get update` (a mirror caught mid-sync) is tried again a few
# times, ORBANT_APT_RETRY_WAIT seconds apart (default 10); then the install
# is tried with the package index as it is.
set -uo pipefail
[ $# -eq 0 ] && exit 0

update_index() {
  local attempt attempts=3
  for ((attempt = 1; attempt <= attempts; attempt++)); do
    apt-get update -qq && return 0
    if [ "$attempt" -lt "$attempts" ]; then
      echo "apt-get update failed; trying again in ${ORBANT_APT_RETRY_WAIT:-10} s." >&2
      sleep "${ORBANT_APT_RETRY_WAIT:-10}"
    fi
  done
  echo "apt-get update failed $attempts times: installing with the package index as it is." >&2
}

if [ "$(id -u)" -eq 0 ] && command -v apt-get >/dev/null 2>&1; then
  echo "Installing $*..."
  update_index
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$@" >/dev/null && exit 0
  echo "Installing $* failed." >&2
fi
echo "Install them with:  sudo apt-get install -y $*" >&2
exit 1
