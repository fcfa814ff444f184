#include "tests/support/capture.h"

#include <windows.h>

#include <cstdlib>
#include <stdexcept>
#include <vector>

namespace twtest {

sCaptured RunCaptured(const std::u16string& commandLine, bool noOutput) {
  sCaptured result;
  SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &sa, 0)) return result;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = noOutput ? nullptr : writeEnd;
  si.hStdError = noOutput ? nullptr : writeEnd;
  PROCESS_INFORMATION pi = {};
  std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
  line.push_back(0);
  result.started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                  &si, &pi) != 0;
  CloseHandle(writeEnd);  // the child's copy alone keeps the pipe open
  if (result.started) {
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(readEnd, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
      result.output.append(buffer, got);
    }
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    result.exitCode = code;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
  CloseHandle(readEnd);
  return result;
}

std::string BinaryPath(const std::string& relative) {
  const char* root = std::getenv("TW_BINARY_DIR");
  if (root == nullptr) throw std::runtime_error("TW_BINARY_DIR is not set");
  std::string path(root);
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  return path + "/" + relative;
}

}  // namespace twtest
