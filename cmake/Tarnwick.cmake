# Build helpers shared by every subsystem. Sources are found by globbing, so a
# new file needs no edit here:
#   <subsystem>/*.cpp        both targets
#   *_win32.cpp              win32 build only
#   *_posix.cpp              native builds only
# A subsystem or test folder may add rules of its own in a file named
# build.cmake (generated sources, extra libraries, test properties).

set(TW_ROOT ${CMAKE_CURRENT_SOURCE_DIR})
set_property(GLOBAL PROPERTY TW_LIBS "")

add_compile_options(-Wall -Wextra -ffp-contract=off)

if(TW_WINDOWS)
  # SSE arithmetic so that both targets truncate floating-point values alike
  # (the 64-bit compiler's default; spelled out for the 32-bit one).
  add_compile_options(-msse2 -mfpmath=sse -O2 -g1)
  add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
  add_link_options(-static)
  # Every Windows program of the build that ctest (or a custom command) starts
  # runs under the build's private Wine prefix, of the flavour's architecture:
  # set once, before any target.
  set(CMAKE_CROSSCOMPILING_EMULATOR env TW_WINEARCH=${TW_FLAVOUR} ${TW_ROOT}/scripts/wine-test.sh)
elseif(TW_FLAVOUR STREQUAL "native")
  add_compile_options(-O1 -g -fno-omit-frame-pointer
                      -fsanitize=address,undefined -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
elseif(TW_FLAVOUR STREQUAL "bench")
  add_compile_options(-O2 -g1)
  add_compile_definitions(NDEBUG)
elseif(TW_FLAVOUR STREQUAL "fuzz")
  # Every sanitizer report ends the run (as natively): a checker that goes
  # on after a report lets a fuzz run pass with undefined behaviour found.
  add_compile_options(-O1 -g -fno-omit-frame-pointer
                      -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()

# Filters a list of source files down to those of this target.
function(tw_filter_platform out)
  set(result "")
  foreach(f IN LISTS ARGN)
    if(TW_WINDOWS)
      if(f MATCHES "_posix(_test)?\\.cpp$")
        continue()
      endif()
    else()
      if(f MATCHES "_win32(_test)?\\.cpp$")
        continue()
      endif()
    endif()
    list(APPEND result ${f})
  endforeach()
  set(${out} ${result} PARENT_SCOPE)
endfunction()

# tw_subsystem(name dep...): the static library tw_<name> from <name>/**.cpp.
function(tw_subsystem name)
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${TW_ROOT}/${name}/*.cpp)
  tw_filter_platform(srcs ${srcs})
  set(TW_LIB tw_${name})
  if(srcs OR EXISTS ${TW_ROOT}/${name}/build.cmake)
    add_library(${TW_LIB} STATIC ${srcs})
    target_include_directories(${TW_LIB} PUBLIC ${TW_ROOT} ${CMAKE_BINARY_DIR}/generated)
    foreach(dep IN LISTS ARGN)
      if(TARGET tw_${dep})
        target_link_libraries(${TW_LIB} PUBLIC tw_${dep})
      endif()
    endforeach()
    if(name STREQUAL "base")
      target_link_libraries(${TW_LIB} PUBLIC ZLIB::ZLIB Threads::Threads)
    endif()
    if(EXISTS ${TW_ROOT}/${name}/build.cmake)
      include(${TW_ROOT}/${name}/build.cmake)
    endif()
    get_property(libs GLOBAL PROPERTY TW_LIBS)
    list(PREPEND libs ${TW_LIB})
    set_property(GLOBAL PROPERTY TW_LIBS "${libs}")
  endif()
endfunction()

function(tw_all_libs out)
  get_property(libs GLOBAL PROPERTY TW_LIBS)
  set(${out} ${libs} PARENT_SCOPE)
endfunction()

# The environment of everything that runs under the build's Wine prefix.
set(TW_WINE_ENV "TW_WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix" "TW_WINEARCH=${TW_FLAVOUR}")

# Registers a test command; on Windows it runs under the build's Wine prefix.
function(tw_register_test name)
  add_test(NAME ${name} COMMAND ${ARGN} WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
  set(env "TW_SOURCE_DIR=${TW_ROOT}" "TW_BINARY_DIR=${CMAKE_BINARY_DIR}")
  if(TW_WINDOWS)
    list(APPEND env ${TW_WINE_ENV})
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine)
  else()
    list(APPEND env "ASAN_OPTIONS=detect_leaks=1:abort_on_error=0"
                    "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
  endif()
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "${env}" TIMEOUT 600)
endfunction()

# Every tests/<folder>/<name>_test.cpp becomes one test program, named
# <folder>/<name> in ctest, linked with all subsystems and tests/support.
function(tw_tests)
  tw_all_libs(libs)
  if(TW_WINDOWS)
    add_test(NAME wine/setup COMMAND ${TW_ROOT}/scripts/wine-prefix.sh setup)
    add_test(NAME wine/cleanup COMMAND ${TW_ROOT}/scripts/wine-prefix.sh cleanup)
    foreach(t wine/setup wine/cleanup)
      set_tests_properties(${t} PROPERTIES
        ENVIRONMENT "${TW_WINE_ENV}" TIMEOUT 300)
    endforeach()
    set_tests_properties(wine/setup PROPERTIES FIXTURES_SETUP wine)
    set_tests_properties(wine/cleanup PROPERTIES FIXTURES_CLEANUP wine)
    set(gtest_main GTest::gtest_main)
    if(NOT TARGET GTest::gtest_main)
      set(gtest_main gtest_main)
    endif()
  else()
    set(gtest_main GTest::gtest_main)
  endif()

  file(GLOB support_srcs CONFIGURE_DEPENDS ${TW_ROOT}/tests/support/*.cpp)
  tw_filter_platform(support_srcs ${support_srcs})
  add_library(tw_testsupport STATIC ${support_srcs} ${TW_ROOT}/tests/support/test_support.h)
  target_include_directories(tw_testsupport PUBLIC ${TW_ROOT} ${CMAKE_BINARY_DIR}/generated)
  target_link_libraries(tw_testsupport PUBLIC ${libs} ${gtest_main})

  file(GLOB_RECURSE tests CONFIGURE_DEPENDS ${TW_ROOT}/tests/*_test.cpp)
  tw_filter_platform(tests ${tests})
  foreach(src IN LISTS tests)
    file(RELATIVE_PATH rel ${TW_ROOT}/tests ${src})
    string(REGEX REPLACE "_test\\.cpp$" "" tname ${rel})
    string(REPLACE "/" "_" exe "test_${tname}")
    add_executable(${exe} ${src})
    target_link_libraries(${exe} PRIVATE tw_testsupport)
    tw_register_test(${tname} ${exe})
  endforeach()

  if(TW_WINDOWS)
    set(exes "")
    foreach(src IN LISTS tests)
      file(RELATIVE_PATH rel ${TW_ROOT}/tests ${src})
      string(REGEX REPLACE "_test\\.cpp$" "" tname ${rel})
      string(REPLACE "/" "_" exe "test_${tname}")
      list(APPEND exes $<TARGET_FILE:${exe}>)
    endforeach()
    add_test(NAME build/imports COMMAND ${TW_ROOT}/scripts/check-imports.sh ${exes})
    set_tests_properties(build/imports PROPERTIES ENVIRONMENT "TW_OBJDUMP=${CMAKE_OBJDUMP}")
  endif()

  # Per-folder extras (properties, data, helper programs).
  file(GLOB_RECURSE extras CONFIGURE_DEPENDS ${TW_ROOT}/tests/*/build.cmake)
  foreach(extra IN LISTS extras)
    include(${extra})
  endforeach()
endfunction()

# fuzz/<name>_fuzz.cpp: in the test builds each target is linked with a replay
# main and runs its seed corpus fuzz/corpus/<name>/ as an ordinary test.
function(tw_fuzz_replays)
  tw_all_libs(libs)
  file(GLOB fuzzers CONFIGURE_DEPENDS ${TW_ROOT}/fuzz/*_fuzz.cpp)
  foreach(src IN LISTS fuzzers)
    get_filename_component(n ${src} NAME)
    string(REGEX REPLACE "_fuzz\\.cpp$" "" n ${n})
    add_executable(fuzzreplay_${n} ${src} ${TW_ROOT}/fuzz/replay_main.cpp)
    target_link_libraries(fuzzreplay_${n} PRIVATE ${libs})
    target_include_directories(fuzzreplay_${n} PRIVATE ${TW_ROOT})
    tw_register_test(fuzz/${n} fuzzreplay_${n} ${TW_ROOT}/fuzz/corpus/${n})
  endforeach()
endfunction()

function(tw_fuzzers)
  tw_all_libs(libs)
  file(GLOB fuzzers CONFIGURE_DEPENDS ${TW_ROOT}/fuzz/*_fuzz.cpp)
  foreach(src IN LISTS fuzzers)
    get_filename_component(n ${src} NAME)
    string(REGEX REPLACE "_fuzz\\.cpp$" "" n ${n})
    add_executable(fuzz_${n} ${src})
    target_link_libraries(fuzz_${n} PRIVATE ${libs})
    target_link_options(fuzz_${n} PRIVATE -fsanitize=fuzzer)
  endforeach()
endfunction()

# bench/<name>_bench.cpp: Google Benchmark programs, ours beside the peer.
function(tw_benchmarks)
  tw_all_libs(libs)
  find_package(benchmark REQUIRED)
  file(GLOB benches CONFIGURE_DEPENDS ${TW_ROOT}/bench/*_bench.cpp)
  foreach(src IN LISTS benches)
    get_filename_component(n ${src} NAME)
    string(REGEX REPLACE "_bench\\.cpp$" "" n ${n})
    add_executable(bench_${n} ${src})
    target_link_libraries(bench_${n} PRIVATE ${libs} benchmark::benchmark)
  endforeach()
  if(EXISTS ${TW_ROOT}/bench/build.cmake)
    include(${TW_ROOT}/bench/build.cmake)
  endif()
endfunction()
