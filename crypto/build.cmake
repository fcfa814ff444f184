# BCryptGenRandom (crypto/os_random_win32.cpp) lives in bcrypt.dll.
if(TW_FLAVOUR STREQUAL "win32")
  target_link_libraries(${TW_LIB} PUBLIC bcrypt)
endif()
