# Generated sources of the toolkit (included by tw_subsystem with TW_LIB set).
# Python runs on the build host for both targets, so the cross build needs no
# host-compiled tool.
find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(TW_GUI_GEN ${CMAKE_BINARY_DIR}/generated/gui)
file(MAKE_DIRECTORY ${TW_GUI_GEN})

# The default theme's pictures.
add_custom_command(
  OUTPUT ${TW_GUI_GEN}/theme_art.cpp
  COMMAND ${Python3_EXECUTABLE} ${TW_ROOT}/gui/theme_art.py ${TW_GUI_GEN}/theme_art.cpp
  DEPENDS ${TW_ROOT}/gui/theme_art.py
  COMMENT "Drawing the default theme pictures"
  VERBATIM)
target_sources(${TW_LIB} PRIVATE ${TW_GUI_GEN}/theme_art.cpp)

# The built-in language packs, compiled from the texts in gui/lang/.
file(GLOB TW_LANG_SOURCES CONFIGURE_DEPENDS ${TW_ROOT}/gui/lang/*.txt)
add_custom_command(
  OUTPUT ${TW_GUI_GEN}/lang_packs.cpp
  COMMAND ${Python3_EXECUTABLE} ${TW_ROOT}/gui/lang_pack.py ${TW_GUI_GEN}/lang_packs.cpp ${TW_LANG_SOURCES}
  DEPENDS ${TW_ROOT}/gui/lang_pack.py ${TW_LANG_SOURCES}
  COMMENT "Compiling the language packs"
  VERBATIM)
target_sources(${TW_LIB} PRIVATE ${TW_GUI_GEN}/lang_packs.cpp)
