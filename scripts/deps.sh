#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only those missing.
# Usage: scripts/deps.sh [extra-package ...]
# Needs root (or sudo). A first run on a fresh Debian 12 downloads about
# 600 MB and takes several minutes; apt's progress is shown as it goes.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

# Building and testing natively, benchmarks and fuzzing.
packages=(
  cmake ninja-build g++ clang make python3 openssl iproute2
  libgtest-dev googletest libbenchmark-dev
  zlib1g-dev libopenjp2-7-dev libssl-dev libpng-dev libspng-dev
  libjpeg62-turbo-dev libjpeg-turbo-progs
  tzdata curl python3-pefile python3-cryptography nsis
)
# The product, the 32-bit Windows program: built on every machine.
packages+=(g++-mingw-w64-i686-posix mingw-w64-i686-dev libz-mingw-w64-dev)
# The 64-bit Windows test flavour (`make test-win64`), which runs on every machine.
packages+=(g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev wine wine64)
# Running Windows tests: a virtual display and Wine's own fonts.
packages+=(xvfb xauth fonts-wine fonts-wqy-microhei)
# An independent reader of the shortcut files the program writes.
packages+=(liblnk-utils)
# The update-mode program test's own network and mount namespaces (unshare,
# mount --bind).
packages+=(util-linux mount)
# The crypto benchmark's second X25519 peer (BearSSL), beside OpenSSL.
packages+=(libbearssl-dev)
# The installer benchmark's peer: NSIS installers built with makensis.
packages+=(nsis)
# Independent encoders and decoders of the picture formats the oracle tests
# compare with: netpbm and ImageMagick (GIF, XPM), icotool, icns2png.
packages+=(netpbm imagemagick icoutils icnsutils)
# Independent TIFF and EXIF writers and readers for the TIFF decoder's
# agreement tests and its benchmark peer (libtiff).
packages+=(libtiff-tools libtiff-dev imagemagick libimage-exiftool-perl dcraw libraw-bin python3-tifffile)
# JPEG 2000 and DICOM: OpenJPEG's own encoder and decoder make and check the
# JPEG 2000 fixtures, dcmtk's img2dcm and dcm2pnm the DICOM ones; dpkg-dev
# unpacks OpenJPEG's source package for the static Windows builds
# (scripts/openjpeg-source.sh).
packages+=(libopenjp2-tools dcmtk dpkg-dev)
# The JBIG2 decoder's oracle: jbig2dec decodes the test-made files to PBM.
packages+=(jbig2dec)
# Camera raw oracles (dcraw, raw-identify, unprocessed_raw) and the raw
# benchmark's peer (LibRaw's unpack).
packages+=(dcraw libraw-bin libraw-dev)
# 32-bit Wine, only where the kernel runs 32-bit programs (see windows-flavour.sh).
need_i386=0
if [[ $("$here/windows-flavour.sh") == win32 ]]; then
  packages+=(wine32:i386)
  need_i386=1
fi
packages+=("$@")

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "deps: installing ${#missing[@]} missing Debian packages (with what they need):"
printf '  %s\n' "${missing[@]}"
SUDO=""
[[ $(id -u) -eq 0 ]] || SUDO=sudo
if [[ $need_i386 -eq 1 ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "deps: enabling the i386 architecture (for 32-bit Wine)"
  $SUDO dpkg --add-architecture i386
fi
echo "deps: apt-get update"
$SUDO apt-get update
echo "deps: apt-get install (the first time on a fresh machine: about 600 MB, minutes)"
# Through env: sudo drops the caller's environment, and a debconf question
# would stop an unattended run. apt's own output shows each download and
# each package as it is set up.
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y "${missing[@]}"
echo "deps: done"
