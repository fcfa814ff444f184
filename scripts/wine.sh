#!/usr/bin/env bash
# Runs a Windows program of a Windows build under the build's private Wine prefix.
# Used as CMAKE_CROSSCOMPILING_EMULATOR, so ctest runs every Windows test through it.
# TW_WINEPREFIX names the prefix (ctest sets it for every test of the build).
set -u
here=$(cd "$(dirname "$0")" && pwd)
source "$here/wine-env.sh"
exec "$TW_WINE" "$@"
