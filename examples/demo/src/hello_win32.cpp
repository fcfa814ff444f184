// Hello Tarnwick: the example product's program. It shows one message box
// and ends; the example packages it to show what a setup file carries.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  MessageBoxW(nullptr, L"Hello from the Tarnwick example product.", L"Hello Tarnwick", MB_OK | MB_ICONINFORMATION);
  return 0;
}
