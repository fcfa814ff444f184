// The self-deleting script, Windows side. See manager_remover.h.
#include <windows.h>

#include <cstring>

#include "base/buffers.h"
#include "base/fileio.h"
#include "base/format.h"
#include "base/paths.h"
#include "base/strings.h"
#include "base/win_text.h"
#include "tools/manager_remover.h"

namespace {

void Backslashes(char16_t* text) {
  for (; *text != 0; ++text) {
    if (*text == u'/') *text = u'\\';
  }
}

// The system folder's cmd.exe: a bare "cmd.exe" would be looked up in the
// program's folder and the current folder first.
bool SystemCmdPath(_guardchar<char16_t>& out) {
  wchar_t folder[MAX_PATH + 1];
  const UINT n = GetSystemDirectoryW(folder, MAX_PATH + 1);
  if (n == 0 || n > MAX_PATH) return false;
  const int32_t capacity = static_cast<int32_t>(n) + 16;
  _typebuf<char16_t> text(capacity);
  FormatW(text.data, capacity, u"%s\\cmd.exe", tw::FromWin(folder));
  out.Assign(text.data);
  return true;
}

}  // namespace

bool StartSelfDeleteScript(const char16_t* path, _guardchar<char16_t>& temp) {
  Backslashes(temp.text);
  wchar_t tempName[MAX_PATH + 1];
  // Creates the empty file "spm*.tmp", which stays; the script is beside it.
  if (GetTempFileNameW(tw::ToWin(temp.text), L"spm", 0, tempName) == 0) return false;

  const int32_t scriptCapacity = WideLength(tw::FromWin(tempName)) + 8;
  _typebuf<char16_t> script(scriptCapacity);
  FormatW(script.data, scriptCapacity, u"%s.cmd", tw::FromWin(tempName));
  {
    cFileIO file;
    const uint32_t size = static_cast<uint32_t>(std::strlen(kSelfDeleteScript));
    const bool written = file.Create(script.data, kFileWrite) && file.WriteExact(kSelfDeleteScript, size);
    file.Close();
    if (!written) {
      DeleteFileLong(script.data);
      return false;
    }
  }

  _guardchar<char16_t> cmd;
  if (!SystemCmdPath(cmd)) {
    DeleteFileLong(script.data);
    return false;
  }
  // Backslashes in the two paths only: the switch stays "/c".
  Backslashes(script.data);
  _guardchar<char16_t> target(path);
  Backslashes(target.text);
  const int32_t capacity = WideLength(cmd.text) + WideLength(script.data) + WideLength(target.text) + 32;
  _typebuf<char16_t> line(capacity);
  FormatW(line.data, capacity, u"\"%s\" /c \"\"%s\" \"%s\"\"", cmd.text, script.data, target.text);

  STARTUPINFOW startup;
  std::memset(&startup, 0, sizeof(startup));
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION info;
  std::memset(&info, 0, sizeof(info));
  // The script outlives the program: it must not hold any of its handles
  // (a caller reading our output would otherwise wait for the script too).
  if (CreateProcessW(tw::ToWin(cmd.text), tw::ToWin(line.data), nullptr, nullptr, FALSE,
                     NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup, &info) == 0) {
    DeleteFileLong(script.data);
    return false;
  }
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  return true;
}
