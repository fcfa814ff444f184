# The crypto benchmark measures against OpenSSL's libcrypto (libssl-dev) and,
# for X25519, BearSSL (libbearssl-dev), which only the benchmark build links.
if(TARGET bench_crypto)
  find_package(OpenSSL REQUIRED)
  find_library(BEARSSL_LIBRARY bearssl REQUIRED)
  target_link_libraries(bench_crypto PRIVATE OpenSSL::Crypto ${BEARSSL_LIBRARY})
endif()

# The PNG benchmark measures against libpng (libpng-dev) and libspng
# (libspng-dev), and builds its pictures with the tests' PNG writer.
if(TARGET bench_picture_png)
  find_package(PNG REQUIRED)
  find_library(SPNG_LIBRARY spng REQUIRED)
  target_sources(bench_picture_png PRIVATE ${TW_ROOT}/tests/support/png_writer.cpp ${TW_ROOT}/bench/heap_count.cpp)
  target_include_directories(bench_picture_png PRIVATE ${TW_ROOT})
  target_link_libraries(bench_picture_png PRIVATE PNG::PNG ${SPNG_LIBRARY})
endif()

# The download benchmark starts the test HTTP server from the source tree.
if(TARGET bench_http_download)
  target_compile_definitions(bench_http_download PRIVATE TW_SOURCE_ROOT="${TW_ROOT}")
endif()

# The JPEG benchmark measures against libjpeg-turbo (libjpeg62-turbo-dev),
# which also encodes its pictures.
if(TARGET bench_picture_jpeg)
  find_package(JPEG REQUIRED)
  target_sources(bench_picture_jpeg PRIVATE ${TW_ROOT}/bench/heap_count.cpp)
  target_include_directories(bench_picture_jpeg PRIVATE ${TW_ROOT})
  target_link_libraries(bench_picture_jpeg PRIVATE JPEG::JPEG)
endif()

# The setup build benchmark runs Debian's makensis (nsis) beside ours and
# builds its program image with the tests' fixture.
if(TARGET bench_setup_build)
  target_sources(bench_setup_build PRIVATE ${TW_ROOT}/tests/support/pe_fixture.cpp)
  target_include_directories(bench_setup_build PRIVATE ${TW_ROOT})
endif()

# The install benchmark starts Wine through the source tree's scripts.
if(TARGET bench_install)
  target_compile_definitions(bench_install PRIVATE TW_SOURCE_ROOT="${TW_ROOT}")
endif()

# The TLS client benchmark starts the test TLS server from the source tree.
if(TARGET bench_tls_client)
  target_compile_definitions(bench_tls_client PRIVATE TW_SOURCE_ROOT="${TW_ROOT}")
endif()

# The TIFF benchmark measures against libtiff (libtiff-dev), which also
# writes its pictures.
if(TARGET bench_picture_tiff)
  find_package(TIFF REQUIRED)
  target_link_libraries(bench_picture_tiff PRIVATE TIFF::TIFF)
endif()

# The camera raw benchmarks measure against LibRaw's unpack (libraw-dev) and
# build their files with the tests' raw kits; the Nikon and other-raw ones
# also read pictures from the source tree.
function(tw_libraw_bench target)
  if(NOT TARGET ${target})
    return()
  endif()
  find_library(TW_LIBRAW_LIBRARY raw REQUIRED)
  target_sources(${target} PRIVATE ${TW_ROOT}/tests/support/tiff_builder.cpp ${TW_ROOT}/bench/heap_count.cpp ${ARGN})
  target_include_directories(${target} PRIVATE ${TW_ROOT})
  target_compile_definitions(${target} PRIVATE TW_SOURCE_ROOT="${TW_ROOT}")
  target_link_libraries(${target} PRIVATE ${TW_LIBRAW_LIBRARY})
endfunction()

tw_libraw_bench(bench_canon_raw)
tw_libraw_bench(bench_picture_raw ${TW_ROOT}/tests/support/raw_fixture.cpp ${TW_ROOT}/tests/support/ljpeg_encoder.cpp)
tw_libraw_bench(bench_nikon_raw)
tw_libraw_bench(bench_other_raw)
