// A stand-in software manager for the version probe's tests (Windows). Its
// answer to "version" is chosen by the environment variable TW_FAKE_MANAGER;
// started under the name Program.exe it always answers 9.9.9.9, so that a
// test can tell when that file was started instead of the manager.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void Put(const std::string& bytes) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
            nullptr);
}

std::string Record(uint64_t version) {
  std::string r("\xE3\xA6\xA4\x14\x0F\x05\0\0", 8);
  for (int i = 0; i < 8; ++i) r += static_cast<char>(version >> (8 * i));
  return r;
}

}  // namespace

int main() {
  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  const char* base = std::strrchr(self, '\\');
  if (base != nullptr && _stricmp(base + 1, "Program.exe") == 0) {
    Put(Record(0x0009000900090009ull));
    return 0;
  }
  const char* how = std::getenv("TW_FAKE_MANAGER");
  const std::string mode = how != nullptr ? how : "";
  if (mode == "1.12") Put(Record(0x0001000C00000000ull));
  if (mode == "1.10") Put(Record(0x0001000A00000000ull));
  if (mode == "late") {
    Sleep(1500);
    Put(Record(0x0001000C00000000ull));
  }
  if (mode == "17") Put(Record(0x0001000C00000000ull) + "x");
  if (mode == "pieces") {
    const std::string r = Record(0x0001000C00000000ull);
    Put(r.substr(0, 8));
    Sleep(500);
    Put(r.substr(8));
    Sleep(500);
  }
  if (mode == "other") Put("not a record 16b");
  if (mode == "never") Sleep(INFINITE);
  return 0;
}
