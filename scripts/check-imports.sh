#!/usr/bin/env bash
# Fails when a Windows program imports anything but Windows system DLLs:
# the program must run from its own image alone (no libstdc++, winpthread
# or zlib DLLs beside it).
set -euo pipefail
allowed='^(kernel32|user32|gdi32|advapi32|shell32|ws2_32|msvcrt|ntdll|ole32|oleaut32|comdlg32|mpr|bcrypt|crypt32|shlwapi|version|winmm|imm32|uxtheme|comctl32|secur32|iphlpapi|userenv|api-ms-win-.*)\.dll$'
# The cross toolchain's objdump (ctest passes the build's own).
objdump=${TW_OBJDUMP:-i686-w64-mingw32-objdump}
status=0
for exe in "$@"; do
  # objdump's failure (a missing or unreadable program) must fail the check,
  # so its output is taken first rather than read through a pipe.
  if ! headers=$("$objdump" -p "$exe"); then
    echo "$exe: objdump could not read it"
    status=1
    continue
  fi
  dlls=$(sed -n 's/^\s*DLL Name: //p' <<<"$headers")
  if [[ -z "$dlls" ]]; then
    echo "$exe: no imports found (every Windows program imports kernel32.dll)"
    status=1
    continue
  fi
  while read -r dll; do
    if ! [[ "${dll,,}" =~ $allowed ]]; then
      echo "$exe imports $dll, which is not a Windows system DLL"
      status=1
    fi
  done <<<"$dlls"
done
[[ $status -eq 0 ]] && echo "imports: only Windows system DLLs in $# programs"
exit $status
