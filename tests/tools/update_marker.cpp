// The stand-in for a downloaded setup file in the update-mode program test:
// when started, it writes "<its own path>.started" and ends, so that the
// test can tell that the program opened the file it downloaded.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  wchar_t path[32768];
  const DWORD n = GetModuleFileNameW(nullptr, path, 32768 - 16);
  if (n == 0 || n >= 32768 - 16) return 1;
  lstrcatW(path, L".started");
  HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  WriteFile(file, "started\n", 8, &written, nullptr);
  CloseHandle(file);
  return 0;
}
