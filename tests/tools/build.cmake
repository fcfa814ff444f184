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

# The verb "update" against the tests' own endpoint: the program test runs
# in a network namespace of its own (tests/tools/update_netns.sh), where the
# endpoint's host name means loopback. It starts the marker program as the
# downloaded setup file.
if(TW_WINDOWS)
  add_executable(tw_update_marker WIN32 ${TW_ROOT}/tests/tools/update_marker.cpp)
  target_link_options(tw_update_marker PRIVATE -municode)
  add_executable(test_tools_update_mode_netns ${TW_ROOT}/tests/tools/update_mode_netns_win32.cpp)
  target_link_libraries(test_tools_update_mode_netns PRIVATE tw_testsupport)
  add_dependencies(test_tools_update_mode_netns tarnwick tw_update_marker)
  tw_register_test(tools/update_mode_netns ${TW_ROOT}/tests/tools/update_netns.sh ${TW_ROOT} ${CMAKE_BINARY_DIR}
                   $<TARGET_FILE:test_tools_update_mode_netns>)
  set_tests_properties(tools/update_mode_netns PROPERTIES SKIP_RETURN_CODE 77)
endif()

# A real program file for the property bags, made by the mingw tool chain:
# the program icon's drawing script gives five icon sizes, windres compiles
# them with a version resource, and the 64-bit linker makes the smallest
# program around them. Built the same way for every flavour.
find_program(TW_FIXTURE_WINDRES x86_64-w64-mingw32-windres REQUIRED)
find_program(TW_FIXTURE_CC x86_64-w64-mingw32-gcc REQUIRED)
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(tw_props_dir ${CMAKE_BINARY_DIR}/generated/tests)
set(tw_props_src ${TW_ROOT}/tests/tools/fixtures)
file(MAKE_DIRECTORY ${tw_props_dir})
add_custom_command(
  OUTPUT ${tw_props_dir}/props_app.exe
  COMMAND ${Python3_EXECUTABLE} ${TW_ROOT}/tools/make_icon.py ${tw_props_dir}/props_icon.ico
  COMMAND ${TW_FIXTURE_WINDRES} -O coff -I ${tw_props_dir} -i ${tw_props_src}/props_app.rc
          -o ${tw_props_dir}/props_app_res.o
  COMMAND ${TW_FIXTURE_CC} -nostdlib -nostartfiles -Wl,-e,start -Wl,--subsystem,windows -s
          -o ${tw_props_dir}/props_app.exe ${tw_props_src}/props_app.c ${tw_props_dir}/props_app_res.o
  DEPENDS ${TW_ROOT}/tools/make_icon.py ${tw_props_src}/props_app.rc ${tw_props_src}/props_app.c
  COMMENT "Building the property bags' program file"
  VERBATIM)
add_custom_target(tw_props_fixture DEPENDS ${tw_props_dir}/props_app.exe)
add_dependencies(test_tools_file_props tw_props_fixture)
if(TW_WINDOWS)
  target_compile_definitions(test_tools_file_props PRIVATE TW_PROPS_FIXTURE="generated/tests/props_app.exe")
else()
  target_compile_definitions(test_tools_file_props PRIVATE TW_PROPS_FIXTURE="${tw_props_dir}/props_app.exe")
endif()

# The manager window's tests load icons from the property bags' program file.
add_dependencies(test_tools_manager_window tw_props_fixture)
if(TW_WINDOWS)
  target_compile_definitions(test_tools_manager_window PRIVATE TW_PROPS_FIXTURE="generated/tests/props_app.exe")
else()
  target_compile_definitions(test_tools_manager_window PRIVATE TW_PROPS_FIXTURE="${tw_props_dir}/props_app.exe")
endif()

# The manager window end to end, against the tests' endpoint in a network
# namespace of its own, like the update mode's program test.
if(TW_WINDOWS)
  add_executable(test_tools_manager_netns ${TW_ROOT}/tests/tools/manager_netns_win32.cpp)
  target_link_libraries(test_tools_manager_netns PRIVATE tw_testsupport)
  add_dependencies(test_tools_manager_netns tarnwick)
  tw_register_test(tools/manager_netns ${TW_ROOT}/tests/tools/update_netns.sh ${TW_ROOT} ${CMAKE_BINARY_DIR}
                   $<TARGET_FILE:test_tools_manager_netns>)
  set_tests_properties(tools/manager_netns PROPERTIES SKIP_RETURN_CODE 77 RUN_SERIAL TRUE)
endif()
