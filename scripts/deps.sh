#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only those missing.
# Usage: scripts/deps.sh [extra-package ...]
set -euo pipefail

packages=(
  cmake ninja-build g++ clang make python3
  libgtest-dev googletest libbenchmark-dev
  zlib1g-dev libopenjp2-7-dev libssl-dev
  g++-mingw-w64-i686-posix mingw-w64-i686-dev libz-mingw-w64-dev
  wine wine32:i386 xvfb xauth fonts-wine
  tzdata
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "deps: installing ${missing[*]}"
SUDO=""
[[ $(id -u) -eq 0 ]] || SUDO=sudo
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
$SUDO apt-get update -qq
# Through env: sudo drops the caller's environment, and a debconf question
# would stop an unattended run.
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
