#!/usr/bin/env bash
# The verb "make" end to end on the example product: the native command-line
# tarnwick and the Windows tarnwick.exe under Wine, both given the product
# (the win32 tarnwick.exe) as base, must exit 0, log every step and write
# byte-identical setup files. Exit 77 (skipped) when the native or win32
# build is missing beside this build.
# Usage: make_e2e.sh <source root> <this Windows build folder>
set -uo pipefail
root=$1
build=$(cd "$2" && pwd)
native=$(cd "$build/.." && pwd)/native/tarnwick
base=$(cd "$build/.." && pwd)/win32/tarnwick.exe
exe=$build/tarnwick.exe
hello=$build/example_hello.exe
if [[ ! -x "$native" ]]; then
  echo "SKIPPED: the native command-line tarnwick is missing ($native): run 'make native'"
  exit 77
fi
if [[ ! -f "$base" ]]; then
  echo "SKIPPED: the win32 build is missing ($base): run 'make win32'"
  exit 77
fi
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
"$root/scripts/stage-example.sh" "$stage/demo" "$hello" || exit 1
cd "$stage/demo"

day() { echo $((($(date +%s) - 1103627298) / 86400)); }
for attempt in 1 2; do
  before=$(day)
  "$native" make scenario.txt native-setup.exe "$base"
  native_rc=$?
  mv scenario.txt.log native.log
  "$root/scripts/wine.sh" "$exe" make scenario.txt wine-setup.exe "Z:$base"
  wine_rc=$?
  mv scenario.txt.log wine.log
  # A day boundary between the two builds changes the file version: again.
  [[ $(day) == "$before" ]] && break
done

fail=0
for side in native wine; do
  rc_var=${side}_rc
  if [[ ${!rc_var} -ne 0 ]]; then
    echo "FAIL: $side make exited ${!rc_var}; its log:"
    cat "$side.log"
    fail=1
    continue
  fi
  # Every step of a good build, in order, CR LF line ends (offsets and
  # sizes depend on the build of the program).
  expected=$(printf '%s\r\n' '(i) Loading scenario... OK!' \
    '(i) Assuming "BASE" is software manager...' \
    '(i) Opened "self" with iCmd at 0xN' \
    '(i) Found opth at 0xN (size: 0xN)' \
    '(i) Found resources at 0xN (size: 0xN)' \
    '(i) Using lang section at 0xN (VA: 0xN), size: 0xN, lang_id: 0xN' \
    '(i) Created new version info' \
    '(i) Saved SOPKG')
  got=$(sed -E 's/0x[0-9A-F]+/0xN/g; s/"[^"]*tarnwick\.exe"/"BASE"/' "$side.log")
  if [[ "$got" != "$expected" ]]; then
    echo "FAIL: the $side log is not the log of a good build:"
    cat -A "$side.log"
    fail=1
  fi
done
[[ $fail -eq 0 ]] || exit 1
if ! cmp native-setup.exe wine-setup.exe; then
  echo "FAIL: the setup files differ"
  exit 1
fi
size=$(stat -c %s native-setup.exe)
base_size=$(stat -c %s "$base")
if [[ $size -le $base_size ]]; then
  echo "FAIL: the setup file ($size bytes) is not longer than the program ($base_size bytes)"
  exit 1
fi
echo "native and Windows make: identical setup files of $size bytes (program $base_size bytes + package)"
