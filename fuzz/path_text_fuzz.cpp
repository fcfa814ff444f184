// Path and file-name text from untrusted sources (command lines, the
// environment, scenario files): the long-path conversion, normalisation,
// file-name sanitising and wildcard matching, with their invariants.
// Input: byte 0 chooses the sanitising capacity (1..256); the rest is UTF-16LE.
// Units up to the first zero are the text (and the wildcard name); units
// after it, up to the next zero, the wildcard pattern.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/paths.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

bool IsSeparator(char16_t c) { return c == u'/' || c == u'\\'; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const int32_t capacity = 1 + data[0];
  std::u16string units;
  for (size_t i = 1; i + 1 < size; i += 2) units += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
  const std::u16string text = units.c_str();
  const std::u16string pattern = text.size() < units.size() ? std::u16string(units.c_str() + text.size() + 1) : u"";

  _typebuf<char16_t> longPath;
  if (MakeLongPath(longPath, text.c_str())) {
    const std::u16string out = longPath.data;
    Check(static_cast<int32_t>(out.size()) < longPath.count);
    for (size_t i = 0; i < out.size(); ++i) {
      Check(out[i] != u'/');
      if (i >= 2 && IsSeparator(out[i])) Check(!IsSeparator(out[i - 1]));  // runs collapsed past the start
    }
  } else {
    Check(text.empty());
  }

  std::u16string normal = text;
  NormalizePath(normal.data());
  const std::u16string n = normal.c_str();
  Check(n.size() <= text.size());
  Check(n.find(u'\\') == std::u16string::npos);
  Check(n.empty() || (n.back() != u' ' && n.back() != u'"'));

  std::vector<char16_t> name(static_cast<size_t>(capacity) + 8, 0xAAAA);
  SanitizeFileName(text.c_str(), name.data(), capacity);
  const std::u16string s = name.data();
  Check(static_cast<int32_t>(s.size()) < capacity);
  for (size_t i = static_cast<size_t>(capacity); i < name.size(); ++i) Check(name[i] == 0xAAAA);
  for (char16_t c : s) {
    Check(c >= 0x20 && c != 0xFFFF);
    Check(std::u16string(u"\"*/:<>?\\|").find(c) == std::u16string::npos);
  }
  Check(s.empty() || s.back() != u' ');

  Check(MatchWildcard(text.c_str(), text.c_str()));  // every text matches itself
  Check(MatchWildcard(text.c_str(), u"*"));
  MatchWildcard(text.c_str(), pattern.c_str());
  MatchWildcardList(text.c_str(), pattern.c_str());
  return 0;
}
