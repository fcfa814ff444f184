#!/usr/bin/env bash
# Runs every fuzz target for the given number of seconds, starting from its
# seed corpus; new inputs go to a work corpus in the build folder.
set -euo pipefail
build=$1 seconds=$2
root=$(cd "$(dirname "$0")/.." && pwd)
status=0
for f in "$build"/fuzz_*; do
  [[ -x "$f" ]] || continue
  name=${f##*/fuzz_}
  work="$build/corpus/$name"
  mkdir -p "$work"
  seeds=()
  [[ -d "$root/fuzz/corpus/$name" ]] && seeds+=("$root/fuzz/corpus/$name")
  echo "=== fuzz $name for ${seconds}s"
  if ! "$f" -max_total_time="$seconds" -rss_limit_mb=2048 -artifact_prefix="$build/crash-$name-" \
      "$work" "${seeds[@]}" 2>"$build/fuzz-$name.log"; then
    echo "fuzz $name FAILED: see $build/fuzz-$name.log"; tail -30 "$build/fuzz-$name.log"; status=1
  else
    grep -E '^#[0-9]+.*DONE' "$build/fuzz-$name.log" | tail -1 || true
  fi
done
exit $status
