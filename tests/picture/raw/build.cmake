# Camera raw: the fixture corpus writer, the check that the committed corpus
# is what the generators make (drift), and the check that pictdump unpacks
# every fixture to the generator's sensor frame and develops it to the
# listed picture on every target.
add_executable(make_raw_fixtures ${TW_ROOT}/tests/picture/raw/make_raw_fixtures.cpp)
target_link_libraries(make_raw_fixtures PRIVATE tw_testsupport)

set(raw_data ${TW_ROOT}/tests/picture/data/raw)
if(NOT TW_WINDOWS)
  add_test(NAME picture/raw/corpus_drift
           COMMAND ${CMAKE_COMMAND} -DMAKER=$<TARGET_FILE:make_raw_fixtures> -DDATA=${raw_data}
                   -DOUT=${CMAKE_BINARY_DIR}/raw_corpus_drift -P ${TW_ROOT}/tests/picture/raw/corpus_drift.cmake)
endif()
add_test(NAME picture/raw/corpus_dumps
         COMMAND ${CMAKE_COMMAND} -DPICTDUMP=$<TARGET_FILE:pictdump> -DDATA=${raw_data}
                 -DOUT=${CMAKE_BINARY_DIR}/raw_corpus_dumps -DWINDOWS=${TW_WINDOWS}
                 -DWINE=${TW_ROOT}/scripts/wine.sh -P ${TW_ROOT}/tests/picture/raw/corpus_dumps.cmake)
set(raw_env "TW_SOURCE_DIR=${TW_ROOT}")
if(TW_WINDOWS)
  list(APPEND raw_env ${TW_WINE_ENV})
  set_tests_properties(picture/raw/corpus_dumps PROPERTIES FIXTURES_REQUIRED wine)
endif()
set_tests_properties(picture/raw/corpus_dumps PROPERTIES ENVIRONMENT "${raw_env}" TIMEOUT 600)

# The CR2 peak-memory test counts the heap through the benches' operator new:
# in the Windows builds only, where the whole program is linked statically
# (natively the sanitizers own operator new, and shared libraries allocate
# with theirs; the native figure comes from bench_canon_raw).
if(TW_WINDOWS)
  target_sources(test_picture_raw_canon_load_peak PRIVATE ${TW_ROOT}/bench/heap_count.cpp)
  target_compile_definitions(test_picture_raw_canon_load_peak PRIVATE TW_HEAP_COUNT=1)
endif()
