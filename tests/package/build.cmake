# The builder's Windows tests copy the program of this build, and read the
# version resource back through the system's version library.
if(TW_WINDOWS)
  add_dependencies(test_package_setup_builder_win32 tarnwick)
  target_link_libraries(test_package_setup_builder_win32 PRIVATE version)
endif()

# Natively the product (the win32 build beside this one) is read back by
# pefile, which the system's own Python carries (python3-pefile). Without the
# win32 build the tests report themselves skipped, not passed.
if(NOT TW_WINDOWS)
  find_program(TW_SYSTEM_PYTHON python3 PATHS /usr/bin NO_DEFAULT_PATH)
  if(NOT TW_SYSTEM_PYTHON)
    set(TW_SYSTEM_PYTHON python3)
  endif()
  target_compile_definitions(test_package_setup_builder_posix PRIVATE TW_SYSTEM_PYTHON="${TW_SYSTEM_PYTHON}")
  set_tests_properties(package/setup_builder_posix PROPERTIES SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]")
endif()
