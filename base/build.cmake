# A deleted cCriticalSection is still touched by design (a static lock after
# its destruction at exit ignores Enter and Leave); the sanitizer's vptr check,
# which marks destroyed objects, would report those calls.
if(TW_FLAVOUR STREQUAL "native")
  set_source_files_properties(${TW_ROOT}/base/sync.cpp PROPERTIES COMPILE_OPTIONS -fno-sanitize=vptr)
endif()

# Code-page tables: generated at build time from Python's codecs and glibc's
# iconv by scripts/gen_codepages.py (see there for the corrections applied).
find_program(TW_PYTHON3 python3 REQUIRED)
set(tw_codepage_tables ${CMAKE_BINARY_DIR}/generated/base/codepage_tables.cpp)
add_custom_command(
  OUTPUT ${tw_codepage_tables}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/generated/base
  COMMAND ${TW_PYTHON3} ${TW_ROOT}/scripts/gen_codepages.py ${tw_codepage_tables}
  DEPENDS ${TW_ROOT}/scripts/gen_codepages.py
  COMMENT "Generating code-page tables"
  VERBATIM)
target_sources(${TW_LIB} PRIVATE ${tw_codepage_tables})

# ShellExecuteExW (opening files and addresses with the shell).
if(TW_WINDOWS)
  target_link_libraries(${TW_LIB} PUBLIC shell32)
endif()
