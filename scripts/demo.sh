#!/usr/bin/env bash
# What `make demo` shows: the main job (build a setup file with the verb
# "make", install it silently under Wine, show what landed) as far as its
# parts exist.
# Usage: demo.sh <build folder> [win32|win64] (the Windows flavour that runs here)
set -euo pipefail
build=${1:-build}
flavour=${2:-win32}
root=$(cd "$(dirname "$0")/.." && pwd)
exe="$root/$build/$flavour/tarnwick.exe"

echo "Built: $build/native and $build/win32 (the product); Windows programs run here as the $flavour flavour ($build/$flavour)."
if [[ "$flavour" == win64 ]]; then
  echo "  (This machine cannot run 32-bit programs, so Wine runs the 64-bit build of the same tree.)"
fi
if [[ ! -x "$exe" ]]; then
  echo "Not built yet: the program tarnwick.exe (the setup application)."
  echo "Not built yet: the builder verb \"make\" (package format and builder),"
  echo "  so no setup file can be made yet."
  echo "Not built yet: silent installation (verb \"silent\") and the listing of"
  echo "  installed packages and their store and Uninstall records."
  echo "What exists now: the base library, the cryptographic primitives and the"
  echo "  GUI toolkit's foundation; 'make test' runs their tests natively and under Wine."
  shown=0
  for f in "$root/$build/$flavour/theme_pictures.png" "$root/$build/$flavour/gui_form_e2e.png"; do
    if [[ -f "$f" ]]; then
      echo "  To look at: ${f#$root/} (written by the $flavour tests)"
      shown=1
    fi
  done
  [[ $shown -eq 1 ]] || echo "  Run 'make test' first to get pictures of the GUI tests to look at."
  exit 0
fi

# The program exists: show what it does today under Wine, and what it cannot
# do yet. The demo's prefix is its own, beside the tests' one.
export TW_WINEPREFIX="$root/$build/$flavour/demo-wineprefix"
export TW_WINEARCH="$flavour"
echo "Built: the program $build/$flavour/tarnwick.exe."
echo "Preparing a Wine prefix for the demo (first time: a minute or so)..."
"$root/scripts/wine-prefix.sh" setup >/dev/null
trap '"$root/scripts/wine-prefix.sh" cleanup >/dev/null' EXIT
record=$(mktemp)
if "$root/scripts/wine.sh" "$exe" version >"$record" 2>/dev/null; then
  echo "tarnwick.exe version -> its 16-byte version record:"
  od -An -tx1 "$record"
else
  echo "tarnwick.exe version failed (exit $?)."
fi
rm -f "$record"

# The builder: the example product (examples/demo) made into a setup file by
# the verb "make", once natively and once by the Windows program under Wine,
# both from the product program (the win32 tarnwick.exe).
product="$root/$build/win32/tarnwick.exe"
native="$root/$build/native/tarnwick"
stage="$root/$build/demo/hello"
echo
echo "Building the example product's setup file with \"make\" (examples/demo: two languages,"
echo "  welcome, readme and licence documents, a program, a folder with subfolders, a"
echo "  Start menu shortcut and a program to run), staged in ${stage#$root/}:"
"$root/scripts/stage-example.sh" "$stage" "$root/$build/win32/example_hello.exe"
native_rc=0
(cd "$stage" && "$native" make scenario.txt hello-setup.exe "$product") || native_rc=$?
mv "$stage/scenario.txt.log" "$stage/native-make.log" 2>/dev/null || true
echo "  native: tarnwick make scenario.txt hello-setup.exe <win32 tarnwick.exe> -> exit $native_rc; its log:"
sed 's/^/    /; s/\r$//' "$stage/native-make.log" 2>/dev/null || echo "    (no log: this program has no scenario compiler yet, so \"make\" ends at once)"
wine_rc=0
(cd "$stage" && "$root/scripts/wine.sh" "$exe" make scenario.txt hello-setup-wine.exe "Z:$product") || wine_rc=$?
mv "$stage/scenario.txt.log" "$stage/wine-make.log" 2>/dev/null || true
echo "  Windows ($flavour, under Wine): tarnwick.exe make ... -> exit $wine_rc (log: ${stage#$root/}/wine-make.log)"
if [[ $native_rc -eq 0 && $wine_rc -eq 0 ]]; then
  size=$(stat -c %s "$stage/hello-setup.exe")
  echo "  Setup file: ${stage#$root/}/hello-setup.exe, $size bytes (the program, $(stat -c %s "$product") bytes, and the package)."
  if cmp -s "$stage/hello-setup.exe" "$stage/hello-setup-wine.exe"; then
    echo "  The native and the Windows builds of it are byte for byte identical."
  else
    echo "  The native and the Windows builds of it DIFFER."
  fi
  if /usr/bin/python3 -c 'import pefile' 2>/dev/null; then
    echo "  Its version resource as pefile reads it:"
    /usr/bin/python3 "$root/tests/package/read_version.py" "$stage/hello-setup.exe" | sed 's/^/    /'
  fi
else
  echo "  No setup file was made (see the logs above)."
fi

# Installing it silently. The setup file above is the 32-bit product; where
# Wine runs the 64-bit flavour, the same example is made into a setup file of
# that flavour's program (the same tree) and that one is installed.
[[ $native_rc -eq 0 && $wine_rc -eq 0 ]] || exit 1
setup="$stage/hello-setup.exe"
if [[ "$flavour" == win64 ]]; then
  (cd "$stage" && "$root/scripts/wine.sh" "$exe" make scenario.txt hello-setup-win64.exe) >/dev/null 2>&1 || {
    echo "  Building the $flavour setup file failed; see ${stage#$root/}/scenario.txt.log"; exit 1; }
  setup="$stage/hello-setup-win64.exe"
  echo
  echo "Installing: this machine runs the $flavour flavour, so the setup file installed is"
  echo "  ${setup#$root/}, made the same way from the $flavour tarnwick.exe."
else
  echo
  echo "Installing ${setup#$root/}:"
fi
prefix_c="$TW_WINEPREFIX/drive_c"
marker=$(mktemp)
install_rc=0
"$root/scripts/wine.sh" "$setup" silent >/dev/null 2>&1 || install_rc=$?
echo "  hello-setup silent -> exit $install_rc (0: installed; 12: already installed, nothing to do)"
echo "  What landed in the Wine prefix (files written by the installation, below drive_c):"
find "$prefix_c" -type f -newer "$marker" ! -path '*/windows/*' ! -path '*/Temp/*' ! -name '*.log' 2>/dev/null |
  sed "s|^$prefix_c/|    C:/|" | sort
rm -f "$marker"
echo "  Its Uninstall entry (reg query):"
"$root/scripts/wine.sh" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\hello-tarnwick' 2>/dev/null |
  tr -d '\r' | sed '/^$/d; s/^/    /' || echo "    (none)"
echo "Not built yet: the installation wizard, updates and the software manager window."
