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

# The Canon raw benchmark measures against LibRaw's unpack (libraw-dev) and
# builds its files with the tests' CR2, CRW and lossless-JPEG kits.
if(TARGET bench_canon_raw)
  find_library(LIBRAW_LIBRARY raw REQUIRED)
  target_sources(bench_canon_raw PRIVATE ${TW_ROOT}/tests/support/tiff_builder.cpp ${TW_ROOT}/bench/heap_count.cpp)
  target_include_directories(bench_canon_raw PRIVATE ${TW_ROOT})
  target_link_libraries(bench_canon_raw PRIVATE ${LIBRAW_LIBRARY})
endif()

# The camera raw benchmark measures against LibRaw's unpack (libraw-dev) and
# builds its files with the tests' raw kit.
if(TARGET bench_picture_raw)
  find_library(RAW_LIBRARY raw REQUIRED)
  target_sources(bench_picture_raw PRIVATE ${TW_ROOT}/tests/support/raw_fixture.cpp
                 ${TW_ROOT}/tests/support/ljpeg_encoder.cpp ${TW_ROOT}/tests/support/tiff_builder.cpp
                 ${TW_ROOT}/bench/heap_count.cpp)
  target_include_directories(bench_picture_raw PRIVATE ${TW_ROOT})
  target_link_libraries(bench_picture_raw PRIVATE ${RAW_LIBRARY})
endif()

# The Nikon, Sony, Samsung and Pentax raw benchmark measures against LibRaw's
# unpack (libraw-dev), builds its files with the tests' camera kits and reads
# the NEF preview JPEG from the source tree.
if(TARGET bench_nikon_raw)
  find_library(NIKON_RAW_LIBRARY raw REQUIRED)
  target_sources(bench_nikon_raw PRIVATE ${TW_ROOT}/tests/support/tiff_builder.cpp ${TW_ROOT}/bench/heap_count.cpp)
  target_include_directories(bench_nikon_raw PRIVATE ${TW_ROOT})
  target_compile_definitions(bench_nikon_raw PRIVATE TW_SOURCE_ROOT="${TW_ROOT}")
  target_link_libraries(bench_nikon_raw PRIVATE ${NIKON_RAW_LIBRARY})
endif()

# The other camera raw benchmark (RAF, RW2, ORF, IIQ) measures against
# LibRaw's unpack (libraw-dev) and builds its data with the tests' encoders.
if(TARGET bench_other_raw)
  find_library(OTHER_RAW_LIBRARY raw REQUIRED)
  target_sources(bench_other_raw PRIVATE ${TW_ROOT}/tests/support/tiff_builder.cpp ${TW_ROOT}/bench/heap_count.cpp)
  target_include_directories(bench_other_raw PRIVATE ${TW_ROOT})
  target_compile_definitions(bench_other_raw PRIVATE TW_SOURCE_ROOT="${TW_ROOT}")
  target_link_libraries(bench_other_raw PRIVATE ${OTHER_RAW_LIBRARY})
endif()
