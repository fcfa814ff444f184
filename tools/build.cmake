# tarnwick.exe, the product: the setup program, software manager and
# builder in one Windows program. Its entry point is kept out of the
# subsystem library so that the test programs keep their own main.
set(tw_tools_entry ${TW_ROOT}/tools/winmain_win32.cpp)
get_target_property(tw_tools_sources ${TW_LIB} SOURCES)
list(REMOVE_ITEM tw_tools_sources ${tw_tools_entry})
set_property(TARGET ${TW_LIB} PROPERTY SOURCES ${tw_tools_sources})
if(TW_WINDOWS)
  # Its icon, drawn by our own script, the administrator manifest and the
  # version resource (which the setup builder rewrites in every setup file),
  # compiled by windres into an object linked with the program alone.
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  set(tw_res_dir ${CMAKE_BINARY_DIR}/generated/tools)
  file(MAKE_DIRECTORY ${tw_res_dir})
  add_custom_command(
    OUTPUT ${tw_res_dir}/tarnwick.ico
    COMMAND ${Python3_EXECUTABLE} ${TW_ROOT}/tools/make_icon.py ${tw_res_dir}/tarnwick.ico ${tw_res_dir}/tarnwick_icon.png
    DEPENDS ${TW_ROOT}/tools/make_icon.py
    COMMENT "Drawing the program icon"
    VERBATIM)
  add_custom_command(
    OUTPUT ${tw_res_dir}/tarnwick_res.o
    COMMAND ${CMAKE_RC_COMPILER} -O coff -I ${tw_res_dir} -I ${TW_ROOT}/tools
            -i ${TW_ROOT}/tools/tarnwick.rc -o ${tw_res_dir}/tarnwick_res.o
    DEPENDS ${TW_ROOT}/tools/tarnwick.rc ${TW_ROOT}/tools/tarnwick.manifest ${tw_res_dir}/tarnwick.ico
    COMMENT "Compiling the program's resources"
    VERBATIM)
  add_executable(tarnwick WIN32 ${tw_tools_entry} ${tw_res_dir}/tarnwick_res.o)
  target_link_libraries(tarnwick PRIVATE ${TW_LIB})
  # The example product's program (examples/demo), which `make demo` and the
  # builder's end-to-end test package.
  add_executable(example_hello WIN32 ${TW_ROOT}/examples/demo/src/hello_win32.cpp)
  target_link_options(example_hello PRIVATE -municode)
else()
  # The native command-line builder: the verb "make" given the Windows
  # program file as its base, so that setup files can be built on Linux.
  set(tw_tools_native_entry ${TW_ROOT}/tools/tarnwick_main_posix.cpp)
  get_target_property(tw_tools_sources ${TW_LIB} SOURCES)
  list(REMOVE_ITEM tw_tools_sources ${tw_tools_native_entry})
  set_property(TARGET ${TW_LIB} PROPERTY SOURCES ${tw_tools_sources})
  if(TW_FLAVOUR STREQUAL "native" OR TW_FLAVOUR STREQUAL "bench")
    add_executable(tarnwick ${tw_tools_native_entry})
    target_link_libraries(tarnwick PRIVATE ${TW_LIB})
  endif()
endif()

# The application's language packs, compiled from the texts in tools/lang/
# with the toolkit's pack compiler.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(TW_TOOLS_GEN ${CMAKE_BINARY_DIR}/generated/tools)
file(MAKE_DIRECTORY ${TW_TOOLS_GEN})
file(GLOB TW_APP_LANG_SOURCES CONFIGURE_DEPENDS ${TW_ROOT}/tools/lang/*.txt)
add_custom_command(
  OUTPUT ${TW_TOOLS_GEN}/app_lang_packs.cpp
  COMMAND ${Python3_EXECUTABLE} ${TW_ROOT}/tools/app_lang_pack.py ${TW_TOOLS_GEN}/app_lang_packs.cpp ${TW_APP_LANG_SOURCES}
  DEPENDS ${TW_ROOT}/tools/app_lang_pack.py ${TW_ROOT}/gui/lang_pack.py ${TW_APP_LANG_SOURCES}
  COMMENT "Compiling the application's language packs"
  VERBATIM)
target_sources(${TW_LIB} PRIVATE ${TW_TOOLS_GEN}/app_lang_packs.cpp)

# The installation wizard's pictures, drawn by a script beside its code.
add_custom_command(
  OUTPUT ${TW_TOOLS_GEN}/wizard_art.cpp
  COMMAND ${Python3_EXECUTABLE} ${TW_ROOT}/tools/wizard_art.py ${TW_TOOLS_GEN}/wizard_art.cpp
  DEPENDS ${TW_ROOT}/tools/wizard_art.py
  COMMENT "Drawing the installation wizard's pictures"
  VERBATIM)
target_sources(${TW_LIB} PRIVATE ${TW_TOOLS_GEN}/wizard_art.cpp)
