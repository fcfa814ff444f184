#!/usr/bin/env bash
# Runs every fuzz target for the given number of seconds, starting from its
# seed corpus; new inputs go to a work corpus in the build folder.
# Any sanitizer report, crash, leak or input that runs longer than
# FUZZ_TIMEOUT seconds (default 5) fails the target and the whole run. Each
# target's last status line (inputs run, coverage, inputs per second) is
# printed.
set -euo pipefail
build=$1 seconds=$2
timeout=${FUZZ_TIMEOUT:-5}
root=$(cd "$(dirname "$0")/.." && pwd)
# The sanitizers stop at the first report; the build stops them too
# (-fno-sanitize-recover), this covers a binary built otherwise.
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"
export ASAN_OPTIONS="halt_on_error=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
status=0
for f in "$build"/fuzz_*; do
  [[ -x "$f" ]] || continue
  name=${f##*/fuzz_}
  work="$build/corpus/$name"
  mkdir -p "$work"
  seeds=()
  [[ -d "$root/fuzz/corpus/$name" ]] && seeds+=("$root/fuzz/corpus/$name")
  echo "=== fuzz $name for ${seconds}s"
  # The outer limit catches a run that hangs on its way out (the report of a
  # time-out has been seen to stall in the symbolizer).
  if ! timeout -k 10 $((seconds + timeout + 120)) \
      "$f" -max_total_time="$seconds" -timeout="$timeout" -rss_limit_mb=2048 \
      -artifact_prefix="$build/crash-$name-" -print_final_stats=1 \
      "$work" "${seeds[@]}" 2>"$build/fuzz-$name.log"; then
    echo "fuzz $name FAILED: see $build/fuzz-$name.log"; tail -30 "$build/fuzz-$name.log"; status=1
  else
    grep -E '^#[0-9]+.*(DONE|pulse|NEW|REDUCE)' "$build/fuzz-$name.log" | tail -1 || true
    grep -E '^stat::(number_of_executed_units|average_exec_per_sec)' "$build/fuzz-$name.log" || true
  fi
done
exit $status
