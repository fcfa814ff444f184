// The software manager's place. See manager_location.h.
#include "tools/manager_location.h"

#include <string>

#include "base/buffers.h"
#include "base/format.h"
#include "base/paths.h"
#include "base/paths_internal.h"
#include "base/strings.h"

namespace {

// A variable's value when it names an existing folder; values that would
// not fit the 260-unit buffer of the Windows call count as missing.
bool FolderFromVariable(const char16_t* name, std::u16string& out) {
  if (!tw::ReadEnvironment(name, out) || out.size() >= 260) return false;
  return GetPathKind(out.c_str()) == tw::kPathDirectory;
}

// "<folder>/<name>" into out.
void Join(const char16_t* folder, const char16_t* name, _guardchar<char16_t>& out) {
  int32_t capacity = WideLength(folder) + WideLength(name) + 2;
  _typebuf<char16_t> text(capacity);
  FormatW(text.data, capacity, u"%s/%s", folder, name);
  out.Assign(text.data);
}

// folder exists as a folder, or is created.
bool EnsureFolder(const char16_t* folder) {
  const int kind = GetPathKind(folder);
  if (kind == tw::kPathDirectory) return true;
  return kind == tw::kPathMissing && CreateDirectoryLong(folder);
}

}  // namespace

void GetProgramsFolder(_guardchar<char16_t>& out) {
  std::u16string value;
  if (!FolderFromVariable(u"ProgramW6432", value) && !FolderFromVariable(u"ProgramFiles", value)) {
    value = u"C:\\Program Files";
  }
  out.Assign(value.c_str());
  NormalizePath(out.text);
}

bool FindCommonFilesTool(_guardchar<char16_t>& out) {
  _guardchar<char16_t> programs, common, vornak, manager;
  GetProgramsFolder(programs);
  if (GetPathKind(programs.text) != tw::kPathDirectory) return false;
  Join(programs.text, u"Common Files", common);
  if (!EnsureFolder(common.text)) return false;
  Join(common.text, u"Vornak", vornak);
  if (!EnsureFolder(vornak.text)) return false;
  Join(vornak.text, u"tarnwick.exe", manager);
  const int kind = GetPathKind(manager.text);
  if (kind != tw::kPathMissing && kind != tw::kPathFile) return false;
  out = std::move(manager);
  return true;
}
