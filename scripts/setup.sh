#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the benchmarks need,
# and any further packages named as arguments (other scripts' tools). Safe to
# run again: it does nothing when everything is already there.
set -euo pipefail

packages=(
  build-essential cmake g++ pkg-config
  googletest libgtest-dev libgmock-dev
  libbenchmark-dev
  clang-format
  qt6-base-dev fonts-liberation
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends "${missing[@]}"
