# BCryptGenRandom (crypto/os_random_win32.cpp) lives in bcrypt.dll.
if(TW_WINDOWS)
  target_link_libraries(${TW_LIB} PUBLIC bcrypt)
endif()
