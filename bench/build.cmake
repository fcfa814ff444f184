# The crypto benchmark measures against OpenSSL's libcrypto (libssl-dev),
# which only the benchmark build links.
if(TARGET bench_crypto)
  find_package(OpenSSL REQUIRED)
  target_link_libraries(bench_crypto PRIVATE OpenSSL::Crypto)
endif()
# The download benchmark starts the test HTTP server from the source tree.
if(TARGET bench_http_download)
  target_compile_definitions(bench_http_download PRIVATE TW_SOURCE_ROOT="${TW_ROOT}")
endif()
