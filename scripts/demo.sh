#!/usr/bin/env bash
# The main job on the bundled example: build a setup file from examples/ with
# the verb "make", install it silently under Wine, and show what landed.
# Steps whose parts are not built yet say so plainly.
set -euo pipefail
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
exe="$root/$build/win32/tarnwick.exe"

echo "Both targets are built: $build/native and $build/win32."
if [[ ! -x "$exe" ]]; then
  echo "Not built yet: the program tarnwick.exe (the setup application)."
  echo "Not built yet: the builder verb \"make\" (package format and builder),"
  echo "  so no setup file can be made from examples/."
  echo "Not built yet: silent installation (verb \"silent\") and the listing of"
  echo "  installed packages and their store and Uninstall records."
  echo "What exists now: the base library, the cryptographic primitives and the"
  echo "  GUI toolkit's foundation; 'make test' runs their tests natively and under Wine."
  for f in "$root/$build/win32/theme_pictures.png" "$root/$build/win32/gui_form_e2e.png"; do
    [[ -f "$f" ]] && echo "  To look at: ${f#$root/} (written by the win32 tests)"
  done
  exit 0
fi
