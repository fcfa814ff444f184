# The lock tests use a cCriticalSection after its destruction on purpose.
if(TW_FLAVOUR STREQUAL "native")
  set_source_files_properties(${TW_ROOT}/tests/base/sync_test.cpp PROPERTIES COMPILE_OPTIONS -fno-sanitize=vptr)
endif()

# The child program that the process tests start.
add_executable(tw_process_child ${TW_ROOT}/tests/base/process_child.cpp)
add_dependencies(test_base_process tw_process_child)
