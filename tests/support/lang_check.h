// The translation checker's second half, shared by the toolkit's and the
// application's pack tests: which texts of a translated pack are still the
// English ones. A text may rightly stay as it is (a brand name, "OK", a
// word the language shares with English); those are listed per language in
// the test, and everything else identical to English is reported.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "base/packed_key.h"
#include "gui/language.h"
#include "tests/support/test_support.h"

namespace twtest {

// The section keys of a record, in the record's order.
inline std::vector<std::string> SectionKeys(const sLangSections& record) {
  std::vector<std::string> keys;
  for (auto* n = record.sections.First(); n != nullptr; n = decltype(record.sections)::Next(n)) {
    _typebuf<char> bytes;
    n->key.ToBytes(bytes);
    int32_t len = 0;
    while (len < bytes.count && bytes.data[len] != 0) ++len;
    keys.emplace_back(bytes.data, static_cast<size_t>(len));
  }
  return keys;
}

// "key index: text" for every text of pack equal to the English text at
// the same place whose text is not in allowed (UTF-8).
inline std::vector<std::string> TextsStillEnglish(const sLangSections& english, const sLangSections& pack,
                                                  const std::set<std::string>& allowed) {
  std::vector<std::string> found;
  for (const std::string& key : SectionKeys(english)) {
    const tLangSection* ref = english.Find(key.c_str());
    const tLangSection* own = pack.Find(key.c_str());
    if (ref == nullptr || own == nullptr) continue;
    for (int32_t i = 0; i < ref->count && i < own->count; ++i) {
      const char16_t* a = GetSectionText(ref, i);
      const char16_t* b = GetSectionText(own, i);
      if (a == nullptr || b == nullptr || std::u16string_view(a) != std::u16string_view(b)) continue;
      const std::string text = Narrow(a);
      if (allowed.count(text) == 0) found.push_back(key + " " + std::to_string(i) + ": " + text);
    }
  }
  return found;
}

}  // namespace twtest
