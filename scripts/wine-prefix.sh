#!/usr/bin/env bash
# setup: create the private prefix (once) and start one persistent wineserver,
#        so that every later wine start is cheap.
# cleanup: stop that wineserver.
# All output of Wine's background processes goes to /dev/null: a background
# process that inherits a test's output keeps ctest waiting for ever.
set -u
here=$(cd "$(dirname "$0")" && pwd)
source "$here/wine-env.sh"

case "${1:-}" in
setup)
  if [[ ! -f "$WINEPREFIX/.tw-ready" ]]; then
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    # Set-up output goes to a file (never to ctest's pipe, see above), shown
    # when a step fails; the prefix is then not marked ready and the next run
    # starts afresh.
    log="$WINEPREFIX.log"
    fail() { echo "wine prefix set-up failed: $1 (log: $log)"; tail -n 20 "$log"; exit 1; }
    wine wineboot -i >"$log" 2>&1 </dev/null || fail wineboot
    wineserver -w
    # A crashing test must fail at once, not wait on Wine's crash dialog
    # until its time-out: without this setting the prefix is not usable.
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
      >>"$log" 2>&1 </dev/null || fail "turning off the crash dialog"
    # Real Tahoma and friends instead of every face rendering as DejaVu Sans.
    if [[ -d /usr/share/wine/fonts ]]; then
      cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
    fi
    wineserver -w
    touch "$WINEPREFIX/.tw-ready"
  fi
  # Chinese, Japanese and Korean texts: the faces the program asks for are
  # Windows' own, so WenQuanYi Micro Hei (fonts-wqy-microhei, which Wine
  # finds among the system's fonts) stands in for them, and Tahoma falls
  # back on it for the characters it lacks, as Windows links Tahoma to its
  # CJK faces. Prefixes made before this step get it on their next set-up.
  if [[ ! -f "$WINEPREFIX/.tw-cjk-fonts" ]]; then
    for face in "Meiryo" "Malgun Gothic" "Microsoft YaHei" "Microsoft JhengHei"; do
      wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /t REG_SZ /d "WenQuanYi Micro Hei" /f \
        >/dev/null 2>&1 </dev/null || { echo "wine prefix: cannot set the stand-in for $face"; exit 1; }
    done
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' /v Tahoma \
      /t REG_MULTI_SZ /d "wqy-microhei.ttc,WenQuanYi Micro Hei" /f >/dev/null 2>&1 </dev/null ||
      { echo "wine prefix: cannot link Tahoma to the CJK face"; exit 1; }
    touch "$WINEPREFIX/.tw-cjk-fonts"
  fi
  wineserver -p >/dev/null 2>&1 </dev/null
  # Warm the prefix so that the first test does not pay for it.
  wine cmd /c exit 0 >/dev/null 2>&1 </dev/null
  echo "wine prefix ready: $WINEPREFIX"
  ;;
cleanup)
  wineserver -k >/dev/null 2>&1 </dev/null || true
  echo "wineserver stopped"
  ;;
*)
  echo "usage: $0 setup|cleanup" >&2
  exit 2
  ;;
esac
