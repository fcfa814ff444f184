#!/usr/bin/env bash
# Builds one native test of the toolkit (with the base library, the toolkit
# and the test host) with ThreadSanitizer and runs it a few times; the
# native test build uses ASan, which cannot be combined with it.
# Usage: scripts/tsan-gui-test.sh tests/controls/<name>_test.cpp [runs] [gtest filter]
# Needs the native build first (make native) for the generated sources.
# Objects go to build/tsan-gui.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
test_src=$1 runs=${2:-3} filter=${3:-*}
out="$root/build/tsan-gui"
gen="$root/build/native/generated"
mkdir -p "$out/obj"
flags=(-std=c++20 -O1 -g -fsanitize=thread -I"$root" -I"$gen")
srcs=("$root"/base/*.cpp "$gen/base/codepage_tables.cpp" $(find "$root/gui" -name '*.cpp')
      "$gen/gui/lang_packs.cpp" "$gen/gui/theme_art.cpp"
      "$root/tests/support/test_host.cpp" "$root/tests/support/test_support.cpp"
      "$root/tests/support/handles_posix.cpp")
printf '%s\n' "${srcs[@]}" | grep -v '_win32\.cpp$' | xargs -P "${JOBS:-3}" -I{} \
  sh -c 'o="'"$out"'/obj/$(echo "{}" | md5sum | cut -c1-8)_$(basename "{}" .cpp).o"; [ "$o" -nt "{}" ] || g++ "$@" -c "{}" -o "$o"' _ "${flags[@]}"
name=$(basename "$test_src" .cpp)
g++ "${flags[@]}" "$root/$test_src" "$out"/obj/*.o -lgtest -lgtest_main -lz -lpthread -o "$out/$name"
for ((i = 1; i <= runs; i++)); do
  TW_SOURCE_DIR="$root" TSAN_OPTIONS=halt_on_error=1 "$out/$name" --gtest_brief=1 --gtest_filter="$filter"
done
