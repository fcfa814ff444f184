# The crypto benchmark measures against OpenSSL's libcrypto (libssl-dev),
# which only the benchmark build links.
if(TARGET bench_crypto)
  find_package(OpenSSL REQUIRED)
  target_link_libraries(bench_crypto PRIVATE OpenSSL::Crypto)
endif()
