#!/usr/bin/env bash
# ctest's emulator for the Windows test programs: runs one under the build's
# Wine prefix (see wine.sh).
# On a loaded machine Wine now and then fails to start a program at all: it
# exits non-zero before the program has written a byte. Every test program
# writes to standard output before or while it tests, so a run that failed
# having written nothing there is started once more, and says so; a test that
# really fails fails the second time too and is reported as usual.
set -u
here=$(cd "$(dirname "$0")" && pwd)
out=$(mktemp)
trap 'rm -f "$out"' EXIT
for attempt in 1 2; do
  "$here/wine.sh" "$@" | tee "$out"
  rc=${PIPESTATUS[0]}
  if [[ $rc -eq 0 || -s "$out" || $attempt -eq 2 ]]; then
    exit "$rc"
  fi
  echo "wine-test: $1 exited with $rc having printed nothing; starting it once more" >&2
done
