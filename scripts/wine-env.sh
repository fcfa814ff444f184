# Sourced: the environment every Wine run of the project uses.
: "${TW_WINEPREFIX:?TW_WINEPREFIX must name the private Wine prefix}"
export WINEPREFIX="$TW_WINEPREFIX"
export WINEARCH=win32
export WINEDEBUG=-all
# No Mono or Gecko install prompts.
export WINEDLLOVERRIDES="mscoree,mshtml="
# UTF-8 locale so that non-ASCII file names reach the Windows side intact.
export LC_ALL=C.UTF-8
