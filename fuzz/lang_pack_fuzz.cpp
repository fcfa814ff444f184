// The language-pack loader on arbitrary bytes: it must fail cleanly (no
// read past the data, no huge allocation: the plain size is capped at
// 4 MiB) and, on success, give a record whose every text can be read.
// Loading the same bytes again must give the same answer.
#include <cstdint>
#include <cstring>
#include <string>

#include "gui/language.h"

// Keeps the text walk from being optimised away.
volatile size_t gSink;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1u << 20) return 0;
  sLangSections record;
  const bool ok = LoadLanguagePack(data, static_cast<int32_t>(size), record);
  size_t units = 0;
  for (auto* n = record.sections.First(); n != nullptr; n = cSortedTree<cPackedKey, tLangSection>::Next(n)) {
    for (int32_t i = 0; i < n->value.count; ++i) {
      const char16_t* t = GetSectionText(&n->value, i);
      while (t != nullptr && *t != 0) ++t, ++units;
    }
  }
  if (ok && (record.code.text == nullptr || std::char_traits<char16_t>::length(record.code.text) > 3))
    __builtin_trap();
  if (LoadLanguagePack(data, static_cast<int32_t>(size), record) != ok) __builtin_trap();
  gSink = units;
  return 0;
}
