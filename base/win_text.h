// The one place where UTF-16 text (char16_t) meets the Win32 API (wchar_t).
// Win32-only code includes this; everything else stays in char16_t.
#pragma once

#ifdef _WIN32
static_assert(sizeof(wchar_t) == sizeof(char16_t), "Win32 wide characters are UTF-16 units");

namespace tw {
inline const wchar_t* ToWin(const char16_t* s) { return reinterpret_cast<const wchar_t*>(s); }
inline wchar_t* ToWin(char16_t* s) { return reinterpret_cast<wchar_t*>(s); }
inline const char16_t* FromWin(const wchar_t* s) { return reinterpret_cast<const char16_t*>(s); }
inline char16_t* FromWin(wchar_t* s) { return reinterpret_cast<char16_t*>(s); }
}  // namespace tw
#endif
