# Windows Sockets (net/tcp_socket_win32.cpp) and the certificate chain
# engine (net/tls_trust_win32.cpp).
if(TW_WINDOWS)
  target_link_libraries(${TW_LIB} PUBLIC ws2_32 crypt32)
endif()
