// The ANSI code page of the user's default locale, read from Win32.
#include <windows.h>

#include "base/codepages.h"

int32_t GetAnsiCodePage() {
  DWORD value = 0;
  // With LOCALE_RETURN_NUMBER the buffer receives a DWORD; its size is
  // given in characters.
  const int got = GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                                 reinterpret_cast<LPWSTR>(&value), sizeof(value) / sizeof(WCHAR));
  return got > 0 ? static_cast<int32_t>(value) : 0;
}
