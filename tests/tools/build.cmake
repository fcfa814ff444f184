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

# The stand-in for other products' uninstallers; the uninstaller's program
# tests start tarnwick.exe itself.
if(TW_WINDOWS)
  add_executable(tw_fake_uninstaller ${TW_ROOT}/tests/tools/fake_uninstaller.cpp)
  add_dependencies(test_tools_uninstall tw_fake_uninstaller)
  add_dependencies(test_tools_uninstall_win32 tw_fake_uninstaller tarnwick)
endif()

# The installation tests copy the program (its clean copy is the manager)
# and start it as a setup file.
if(TW_WINDOWS)
  add_dependencies(test_tools_installer tarnwick)
  add_dependencies(test_tools_silent_exe_win32 tarnwick)
endif()
