#!/usr/bin/env bash
# Runs the places tests of the win32 listing test program in a light copy of
# the build's Wine prefix (its registry files copied, drive_c shared), set up
# the way those tests need it:
#  - reporting Windows 10, where remembered network drives are read from
#    HKCU\Network (a 32-bit prefix reports Windows 7, and Wine's mpr.dll
#    enumerates no remembered connections without a network provider);
#  - with drive R: in dosdevices and the Wine drive-type key saying "cdrom",
#    a drive of another kind. Wine's mount manager reads that key when it
#    starts, hence a prefix of our own with a wineserver of its own.
# Usage: places_wine.sh <test program .exe>
set -u
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../../scripts/wine-env.sh"
shared=$WINEPREFIX

work=$(mktemp -d)
export WINEPREFIX=$work/prefix
mkdir -p "$WINEPREFIX/dosdevices" "$work/cdrom"
cp "$shared"/*.reg "$shared/.update-timestamp" "$WINEPREFIX/"
ln -s "$shared/drive_c" "$WINEPREFIX/drive_c"
ln -s ../drive_c "$WINEPREFIX/dosdevices/c:"
ln -s / "$WINEPREFIX/dosdevices/z:"
ln -s "$work/cdrom" "$WINEPREFIX/dosdevices/r:"
printf '\n[Software\\\\Wine\\\\Drives] 1700000000\n"r:"="cdrom"\n' >>"$WINEPREFIX/system.reg"
printf '\n[Software\\\\Wine] 1700000000\n"Version"="win10"\n' >>"$WINEPREFIX/user.reg"

cleanup() {
  wineserver -k >/dev/null 2>&1 </dev/null  # the server of this copy only
  rm -rf "$work"
}
trap cleanup EXIT

TW_CDROM_DRIVE=R wine "$1" --gtest_filter='PlacesInWine.*'
