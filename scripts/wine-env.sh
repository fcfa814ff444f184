# Sourced: the environment every Wine run of the project uses.
# TW_WINEPREFIX names the build's private prefix; TW_WINEARCH the flavour of
# its programs: win32 (default) or win64.
: "${TW_WINEPREFIX:?TW_WINEPREFIX must name the private Wine prefix}"
export WINEPREFIX="$TW_WINEPREFIX"
export WINEARCH="${TW_WINEARCH:-win32}"
export WINEDEBUG=-all
# No Mono or Gecko install prompts.
export WINEDLLOVERRIDES="mscoree,mshtml="
# UTF-8 locale so that non-ASCII file names reach the Windows side intact.
export LC_ALL=C.UTF-8
# The loader: Debian's wine command prefers the 32-bit one whenever it is
# installed; a 64-bit prefix needs the 64-bit one, which also has to start
# wineboot, reg and cmd (so `wine wineboot`, never the wineboot command).
TW_WINE=wine
if [[ "$WINEARCH" == win64 ]]; then
  export WINELOADER=/usr/lib/wine/wine64
  TW_WINE=$WINELOADER
  wine() { "$WINELOADER" "$@"; }
fi
