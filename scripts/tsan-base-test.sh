#!/usr/bin/env bash
# Builds one test of the base library with ThreadSanitizer (the native test
# build uses ASan, which cannot be combined with it) and runs it a few times.
# Usage: scripts/tsan-base-test.sh tests/base/<name>_test.cpp [runs]
# Needs the native build first (make native) for the generated code-page
# tables. Objects go to build/tsan.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
test_src=$1 runs=${2:-3}
out="$root/build/tsan"
mkdir -p "$out/obj"
flags=(-std=c++20 -O1 -g -fsanitize=thread -I"$root" -I"$root/build/native/generated")
srcs=("$root"/base/*.cpp "$root/build/native/generated/base/codepage_tables.cpp")
printf '%s\n' "${srcs[@]}" | grep -v '_win32\.cpp$' | xargs -P "$(nproc)" -I{} \
  sh -c 'g++ "$@" -c "{}" -o "'"$out"'/obj/$(basename "{}" .cpp).o"' _ "${flags[@]}"
name=$(basename "$test_src" .cpp)
support=("$root/tests/support/test_support.cpp" "$root/tests/support/handles_posix.cpp" "$root/tests/support/zlib_deflate.cpp")
g++ "${flags[@]}" "$root/$test_src" "${support[@]}" "$out"/obj/*.o -lgtest -lgtest_main -lz -lpthread -o "$out/$name"
for ((i = 1; i <= runs; i++)); do
  TW_SOURCE_DIR="$root" TSAN_OPTIONS=halt_on_error=1 "$out/$name" --gtest_brief=1
done
