// The self-deleting script, native stand-in: a shell script with the same
// steps as the Windows one, run by /bin/sh. See manager_remover.h.
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "base/fileio.h"
#include "base/paths.h"
#include "base/process.h"
#include "base/strings.h"
#include "tools/manager_remover.h"

namespace {

constexpr char kShellScript[] =
    "while [ -e \"$1\" ]; do rm -f \"$1\" 2>/dev/null; [ -e \"$1\" ] && sleep 1; done\n"
    "rm -f \"$0\"\n";

std::string Utf8(const char16_t* text) {
  _guardchar<char> out;
  WideToUtf8(text, out, -1);
  return out.text != nullptr ? out.text : "";
}

// 'text' for the shell, a ' inside as '\''.
std::string Quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

}  // namespace

bool StartSelfDeleteScript(const char16_t* path, _guardchar<char16_t>& temp) {
  std::string name = Utf8(temp.text) + "/spmXXXXXX";
  const int fd = mkstemp(name.data());
  if (fd < 0) return false;
  close(fd);
  const std::string script = name + ".cmd";
  std::u16string wideScript;
  {
    _guardchar<char16_t> w;
    Utf8ToWide(script.c_str(), -1, w);
    wideScript = w.text != nullptr ? w.text : u"";
  }
  cFileIO file;
  const bool written = file.Create(wideScript.c_str(), kFileWrite) &&
                       file.WriteExact(kShellScript, sizeof(kShellScript) - 1);
  file.Close();
  if (!written) {
    DeleteFileLong(wideScript.c_str());
    return false;
  }
  const std::string line = "/bin/sh " + Quoted(script) + " " + Quoted(Utf8(path));
  _guardchar<char16_t> wideLine;
  Utf8ToWide(line.c_str(), -1, wideLine);
  if (!RunCommandLine(wideLine.text)) {
    DeleteFileLong(wideScript.c_str());
    return false;
  }
  return true;
}
