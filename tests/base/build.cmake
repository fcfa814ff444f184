# The lock tests use a cCriticalSection after its destruction on purpose.
if(TW_FLAVOUR STREQUAL "native")
  set_source_files_properties(${TW_ROOT}/tests/base/sync_test.cpp PROPERTIES COMPILE_OPTIONS -fno-sanitize=vptr)
endif()
