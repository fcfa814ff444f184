// A stand-in for another product's uninstaller (Windows): what it does is
// chosen by its arguments.
//   exit <n>       ends with exit code n
//   flood <mb>     writes mb megabytes to its standard output, then 0
//   read           reads its standard input to its end, then 0
//   mark <path>    writes "started" to the file at path, then 0 (a
//                  program the installer's finish page starts)
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <vector>

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "exit") == 0) return std::atoi(argv[2]);
  if (argc >= 3 && std::strcmp(argv[1], "flood") == 0) {
    std::vector<char> block(1 << 20, 'u');
    for (int i = 0; i < std::atoi(argv[2]); ++i) {
      DWORD written = 0;
      if (!WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), block.data(), static_cast<DWORD>(block.size()), &written,
                     nullptr))
        return 2;
    }
    return 0;
  }
  if (argc >= 2 && std::strcmp(argv[1], "read") == 0) {
    char buffer[256];
    DWORD got = 0;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &got, nullptr) && got != 0) {
    }
    return 0;
  }
  if (argc >= 3 && std::strcmp(argv[1], "mark") == 0) {
    HANDLE file = CreateFileA(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 3;
    DWORD written = 0;
    WriteFile(file, "started", 7, &written, nullptr);
    CloseHandle(file);
    return 0;
  }
  return 99;
}
