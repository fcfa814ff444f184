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

# The installation tests copy the program (its clean copy is the manager)
# and start it as a setup file.
if(TW_WINDOWS)
  add_dependencies(test_tools_installer tarnwick)
  add_dependencies(test_tools_silent_exe_win32 tarnwick)
endif()

# The verb "make" end to end on the example product: the native command-line
# tarnwick and this build's tarnwick.exe under Wine must write identical
# setup files. It needs the native and the win32 builds beside this one and
# reports itself skipped without them.
if(TW_WINDOWS)
  tw_register_test(tools/make_e2e ${TW_ROOT}/tests/tools/make_e2e.sh ${TW_ROOT} ${CMAKE_BINARY_DIR})
  set_tests_properties(tools/make_e2e PROPERTIES SKIP_RETURN_CODE 77)
endif()

# The stand-in for other products' uninstallers; the uninstaller's program
# tests start tarnwick.exe itself.
if(TW_WINDOWS)
  add_executable(tw_fake_uninstaller ${TW_ROOT}/tests/tools/fake_uninstaller.cpp)
  add_dependencies(test_tools_uninstall tw_fake_uninstaller)
  add_dependencies(test_tools_uninstall_win32 tw_fake_uninstaller tarnwick)
endif()

# The language form's test sends system-wide input (SendInput) to its window.
if(TW_WINDOWS)
  set_tests_properties(tools/lang_selection_win32 PROPERTIES RUN_SERIAL TRUE)
endif()
if(TW_WINDOWS)
  add_dependencies(test_tools_tarnwick_resources_win32 tarnwick)
endif()

# The wizard's window tests start the marker helper from a run entry and
# copy the program (its clean copy is the manager).
if(TW_WINDOWS)
  add_dependencies(test_tools_wizard_win32 tw_fake_uninstaller tarnwick)
endif()
if(TW_WINDOWS)
  add_dependencies(test_tools_wizard_exe_win32 tarnwick example_hello)
  set_tests_properties(tools/wizard_exe_win32 PROPERTIES RUN_SERIAL TRUE)
endif()
if(TW_WINDOWS)
  add_dependencies(test_tools_wizard tw_fake_uninstaller tarnwick)
endif()
