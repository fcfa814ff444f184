# The program itself is started by its tests.
if(TW_WINDOWS)
  add_dependencies(test_tools_tarnwick_exe_win32 tarnwick)
endif()

# The stand-in manager that the version probe starts (natively the tests
# write shell scripts instead).
if(TW_WINDOWS)
  add_executable(tw_fake_manager ${TW_ROOT}/tests/tools/fake_manager.cpp)
  add_dependencies(test_tools_manager_location tw_fake_manager tarnwick)
endif()

# The shell's own link object reads the shortcuts back.
if(TW_WINDOWS)
  target_link_libraries(test_tools_shell_link_win32 PRIVATE ole32 uuid)
endif()

# The language form's test sends system-wide input (SendInput) to its window.
if(TW_WINDOWS)
  set_tests_properties(tools/lang_selection_win32 PROPERTIES RUN_SERIAL TRUE)
endif()
if(TW_WINDOWS)
  add_dependencies(test_tools_tarnwick_resources_win32 tarnwick)
endif()
