#!/usr/bin/env bash
# What `make demo` shows: the main job (build a setup file with the verb
# "make", install it silently under Wine, show what landed) once its parts
# exist; until then, plainly what is built and what is not.
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
echo "Not built yet: the builder verb \"make\" (it needs the scenario compiler and"
echo "  setup builder), silent installation (verb \"silent\"), uninstall and the"
echo "  software manager, so no setup file is made or installed yet."

