// Fuzzes the update check's answer parser against a reference written
// apart from it over std::string: the same verdict, the same version and
// the same three texts (each compared as UTF-8 after the library's own
// decoding), including what stays written after a failure. Both scan the
// version line with the library's ScanA, so the oracle checks the line
// handling, the part limits and the out-parameter rules, not the scanner.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/format.h"
#include "base/strings.h"
#include "tools/update_check.h"

namespace {

struct sReference {
  bool ok = false;
  bool versionSet = false;
  uint64_t version = 0;
  std::string download = "<unset>", web = "<unset>", notes = "<unset>";
};

std::string Decoded(const std::string& bytes) {
  _guardchar<char16_t> wide;
  Utf8ToWide(static_cast<int32_t>(bytes.size()), bytes.data(), wide);
  _guardchar<char> back;
  WideToUtf8(wide.text, back, -1);
  return back.text != nullptr ? back.text : "";
}

sReference Reference(const std::string& body) {
  sReference r;
  const size_t cr = body.find('\r');
  if (cr == std::string::npos || cr == 0) return r;
  int32_t p[4] = {0, 0, 0, 0};
  if (ScanA(body.substr(0, cr).c_str(), "%d.%d.%d.%d", &p[0], &p[1], &p[2], &p[3]) < 2) return r;
  for (int32_t v : p)
    if (v < 0 || v > 65535) return r;
  r.version = (uint64_t(p[0]) << 48) | (uint64_t(p[1]) << 32) | (uint64_t(p[2]) << 16) | uint64_t(p[3]);
  r.versionSet = true;
  // The rest: lines separated by runs of CR and LF; a line must end in CR.
  std::string* lines[2] = {&r.download, &r.web};
  size_t at = cr;
  for (std::string* line : lines) {
    at = body.find_first_not_of("\r\n", at);
    if (at == std::string::npos) return r;
    const size_t end = body.find('\r', at);
    if (end == std::string::npos) return r;
    *line = Decoded(body.substr(at, end - at));
    at = end;
  }
  at = body.find_first_not_of("\r\n", at);
  if (at != std::string::npos) r.notes = Decoded(body.substr(at));
  r.ok = true;
  return r;
}

std::string Text(const _guardchar<char16_t>& s) {
  if (s.text == nullptr) return "<unset>";
  _guardchar<char> utf8;
  WideToUtf8(s.text, utf8, -1);
  return utf8.text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 70000) return 0;
  const std::string body(reinterpret_cast<const char*>(data), size);
  uint64_t version = ~0ull;
  _guardchar<char16_t> download, web, notes;
  const bool ok = ParseUpdateAnswer(body.data(), static_cast<uint32_t>(body.size()), version, download, web, notes);
  const sReference r = Reference(body);
  if (ok != r.ok) std::abort();
  if (r.versionSet ? version != r.version : version != ~0ull) std::abort();
  if (Text(download) != r.download || Text(web) != r.web || Text(notes) != r.notes) std::abort();
  if (ok && (Text(download).find('\r') != std::string::npos || Text(web).find('\r') != std::string::npos)) std::abort();
  return 0;
}
