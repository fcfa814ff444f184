# pictdump: the picture library's dump tool (native and Windows builds), and
# the check that it decodes the fixture corpus to the same PAM hashes on
# every target.
add_executable(pictdump ${TW_ROOT}/tests/picture/pictdump.cpp)
target_link_libraries(pictdump PRIVATE tw_picture)

add_test(NAME picture/pictdump_hashes
         COMMAND ${CMAKE_COMMAND} -DPICTDUMP=$<TARGET_FILE:pictdump> -DDATA=${TW_ROOT}/tests/picture/data
                 -DWINDOWS=${TW_WINDOWS} -DWINE=${TW_ROOT}/scripts/wine.sh
                 -P ${TW_ROOT}/tests/picture/pictdump_hashes.cmake)
set(pictdump_env "TW_SOURCE_DIR=${TW_ROOT}")
if(TW_WINDOWS)
  list(APPEND pictdump_env ${TW_WINE_ENV})
  set_tests_properties(picture/pictdump_hashes PROPERTIES FIXTURES_REQUIRED wine)
endif()
set_tests_properties(picture/pictdump_hashes PROPERTIES ENVIRONMENT "${pictdump_env}" TIMEOUT 600)

# Natively the decoder is also compared with libpng, pixel for pixel.
if(NOT TW_WINDOWS AND TARGET test_picture_png_oracle_posix)
  find_package(PNG REQUIRED)
  target_link_libraries(test_picture_png_oracle_posix PRIVATE PNG::PNG)
endif()

# Natively the JPEG decoder is compared with libjpeg-turbo (libjpeg62-turbo-dev),
# which also encodes the test files.
if(NOT TW_WINDOWS AND TARGET test_picture_jpeg_oracle_posix)
  find_package(JPEG REQUIRED)
  target_link_libraries(test_picture_jpeg_oracle_posix PRIVATE JPEG::JPEG)
endif()
