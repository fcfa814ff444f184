# A deleted cCriticalSection is still touched by design (a static lock after
# its destruction at exit ignores Enter and Leave); the sanitizer's vptr check,
# which marks destroyed objects, would report those calls.
if(TW_FLAVOUR STREQUAL "native")
  set_source_files_properties(${TW_ROOT}/base/sync.cpp PROPERTIES COMPILE_OPTIONS -fno-sanitize=vptr)
endif()

# ShellExecuteExW (opening files and addresses with the shell).
if(TW_FLAVOUR STREQUAL "win32")
  target_link_libraries(${TW_LIB} PUBLIC shell32)
endif()
