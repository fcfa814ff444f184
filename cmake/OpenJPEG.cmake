# OpenJPEG (libopenjp2) for the picture library, as target tw_openjp2.
#  - Native flavours: Debian's libopenjp2-7-dev (its CMake package).
#  - Windows flavours: Debian ships no mingw build, so OpenJPEG's Debian
#    source package is fetched at build time (scripts/openjpeg-source.sh) and
#    built as a static library with the flavour's cross toolchain; only the
#    library, none of its programs. Users compile with OPJ_STATIC, which
#    turns the header's dllimport declarations into plain ones.
if(TARGET tw_openjp2)
  return()
endif()

if(NOT TW_WINDOWS)
  find_package(OpenJPEG REQUIRED CONFIG)
  add_library(tw_openjp2 INTERFACE IMPORTED GLOBAL)
  target_link_libraries(tw_openjp2 INTERFACE openjp2)
  target_include_directories(tw_openjp2 INTERFACE ${OPENJPEG_INCLUDE_DIRS})
  return()
endif()

include(ExternalProject)
set(tw_oj_prefix ${CMAKE_BINARY_DIR}/_deps/openjpeg)
set(tw_oj_install ${tw_oj_prefix}/install)
set(tw_oj_lib ${tw_oj_install}/lib/libopenjp2.a)
set(tw_oj_include ${tw_oj_install}/include/openjpeg-2.5)
# An imported target's include folder must exist when CMake generates.
file(MAKE_DIRECTORY ${tw_oj_include})
if(TW_FLAVOUR STREQUAL "win32")
  set(tw_oj_toolchain ${TW_ROOT}/cmake/mingw32.cmake)
else()
  set(tw_oj_toolchain ${TW_ROOT}/cmake/mingw64.cmake)
endif()
ExternalProject_Add(openjpeg_mingw
  PREFIX ${tw_oj_prefix}
  SOURCE_DIR ${tw_oj_prefix}/source
  DOWNLOAD_COMMAND ${TW_ROOT}/scripts/openjpeg-source.sh ${tw_oj_prefix}/source
  UPDATE_COMMAND ""
  CMAKE_ARGS
    -DCMAKE_TOOLCHAIN_FILE=${tw_oj_toolchain}
    -DCMAKE_INSTALL_PREFIX=${tw_oj_install}
    -DCMAKE_BUILD_TYPE=Release
    # The same SSE arithmetic as the program (see cmake/Tarnwick.cmake), so
    # that the irreversible wavelet gives the native build's samples.
    "-DCMAKE_C_FLAGS=-msse2 -mfpmath=sse -ffp-contract=off"
    -DBUILD_SHARED_LIBS=OFF
    -DBUILD_STATIC_LIBS=ON
    -DBUILD_CODEC=OFF
    -DBUILD_TESTING=OFF
    -DBUILD_DOC=OFF
    -DBUILD_PKGCONFIG_FILES=OFF
    -DOPJ_USE_THREAD=OFF
  BUILD_BYPRODUCTS ${tw_oj_lib}
  LOG_DOWNLOAD ON
  LOG_CONFIGURE ON
  LOG_BUILD ON
  LOG_INSTALL ON
  LOG_OUTPUT_ON_FAILURE ON)
add_library(tw_openjp2 STATIC IMPORTED GLOBAL)
set_target_properties(tw_openjp2 PROPERTIES
  IMPORTED_LOCATION ${tw_oj_lib}
  INTERFACE_INCLUDE_DIRECTORIES ${tw_oj_include}
  INTERFACE_COMPILE_DEFINITIONS OPJ_STATIC)
add_dependencies(tw_openjp2 openjpeg_mingw)
