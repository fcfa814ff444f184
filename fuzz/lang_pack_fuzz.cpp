// The language-pack loader on arbitrary bytes: it must fail cleanly (no
// read past the data, no huge allocation: the plain size is capped at
// 4 MiB) and, on success, give a record whose every text can be read.
// Loading the same bytes again must give the same answer.
//
// The last byte chooses the form of the input: odd, the bytes before it are
// an inflated body, which is deflated and wrapped in a pack header here, so
// that mutations reach the section parser instead of dying in zlib's
// checksum; even, the whole input is a pack as it is.
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "gui/language.h"

namespace {

// Keeps the text walk from being optimised away.
volatile size_t gSink;

std::vector<uint8_t> WrapBody(const uint8_t* body, size_t size) {
  static const char kHeader[] = "WEKTLAFIWEKTBASETST\0";
  std::vector<uint8_t> pack(kHeader, kHeader + 20);
  for (int i = 0; i < 4; ++i) pack.push_back(static_cast<uint8_t>(size >> (8 * i)));
  uLongf room = compressBound(static_cast<uLong>(size));
  const size_t at = pack.size();
  pack.resize(at + room);
  if (compress2(pack.data() + at, &room, body, static_cast<uLong>(size), 1) != Z_OK) return {};
  pack.resize(at + room);
  return pack;
}

bool LoadAndWalk(const uint8_t* data, size_t size, sLangSections& record) {
  const bool ok = LoadLanguagePack(data, static_cast<int32_t>(size), record);
  size_t units = 0;
  for (auto* n = record.sections.First(); n != nullptr; n = cSortedTree<cPackedKey, tLangSection>::Next(n)) {
    for (int32_t i = 0; i < n->value.count; ++i) {
      const char16_t* t = GetSectionText(&n->value, i);
      while (t != nullptr && *t != 0) ++t, ++units;
    }
  }
  gSink = units;
  if (ok && (record.code.text == nullptr || std::char_traits<char16_t>::length(record.code.text) > 3))
    __builtin_trap();
  return ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1u << 20) return 0;
  std::vector<uint8_t> wrapped;
  if (size > 0 && (data[size - 1] & 1) != 0) {
    wrapped = WrapBody(data, size - 1);
    if (wrapped.empty()) return 0;
    data = wrapped.data();
    size = wrapped.size();
  }
  sLangSections record;
  const bool ok = LoadAndWalk(data, size, record);
  if (LoadAndWalk(data, size, record) != ok) __builtin_trap();
  return 0;
}
