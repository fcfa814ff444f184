// Package files: whatever the bytes, the reader ends without a fault. A
// package it accepted is written back and reads again as a package whose
// image is a fixed point. The writer may refuse only what the reader takes
// but cannot be stored (WriterMayRefuse).
// Every accepted payload streams out with its size checked.
//
// The input is a section stream, not a whole package: the target wraps it
// in a header with the right sizes and digest, so that the fuzzer reaches the
// sections instead of stopping at the digest. An input starting with the
// magic is taken as a whole package instead, so header faults are reached too.
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/memio.h"
#include "crypto/sha.h"
#include "base/utf8.h"
#include "package/description.h"

namespace {

std::vector<unsigned char> Wrap(const uint8_t* data, size_t size) {
  std::vector<unsigned char> out(49);
  std::memcpy(out.data(), "QXVSOPKG\x01", 9);
  uLongf room = compressBound(static_cast<uLong>(size));
  std::vector<unsigned char> packed(room);
  if (compress2(packed.data(), &room, data, static_cast<uLong>(size), 1) != Z_OK) return {};
  for (int i = 0; i < 4; ++i) {
    out[9 + i] = static_cast<unsigned char>(size >> (8 * i));
    out[13 + i] = static_cast<unsigned char>(room >> (8 * i));
  }
  Sha256(out.data() + 17, data, static_cast<int64_t>(size));
  out.insert(out.end(), packed.begin(), packed.begin() + room);
  return out;
}

bool Writes(const cSOPKGDescription& d, std::vector<unsigned char>& image) {
  cMemIOTarget out;
  if (!d.Write(&out)) return false;
  _typebuf<char> b;
  if (!out.CopyToBuffer(b)) std::abort();
  image.assign(b.data, b.data + b.count);
  return true;
}

bool TooLong(const _guardchar<char16_t>& s) { return s.text != nullptr && Utf8ByteCount(s.text, -1) - 1 > 65535; }

// A value too long, or a key of more than 65,532 bytes, whose zero padding
// would take it past 65,535.
bool TableTooLong(const tPkgStringTable& t) {
  for (auto* n = t.First(); n != nullptr; n = tPkgStringTable::Next(n))
    if (TooLong(n->value) || n->key.count * 4 > 65535) return true;
  return false;
}

// The descriptions a read can give and a write must refuse.
bool WriterMayRefuse(const cSOPKGDescription& d) {
  for (auto* n = d.deprecatedList.head; n != nullptr; n = n->next)
    if (n->value.codename.IsEmpty() || TooLong(n->value.codename)) return true;
  if (TableTooLong(d.commonTable)) return true;
  for (auto* n = d.languageTables.First(); n != nullptr; n = tPkgLanguageTables::Next(n))
    if (TableTooLong(*n->value)) return true;
  for (const auto* s : {&d.support_URL, &d.publish_URL, &d.updates_URL, &d.manual_URL, &d.iconFolderKey, &d.iconPath})
    if (TooLong(*s)) return true;
  for (auto* n = d.menuList.head; n != nullptr; n = n->next) {
    const sMenuItem& m = n->value;
    for (const auto* s : {&m.nameKey, &m.descriptionKey, &m.targetFolderKey, &m.targetPath, &m.argumentsKey,
                          &m.iconFolderKey, &m.iconPath})
      if (TooLong(*s)) return true;
  }
  for (auto* n = d.installList.head; n != nullptr; n = n->next)
    if (TooLong(n->value.folderKey) || TooLong(n->value.relativePath)) return true;
  for (auto* n = d.runList.head; n != nullptr; n = n->next) {
    const sRunItem& r = n->value;
    for (const auto* s : {&r.captionKey, &r.folderKey, &r.relativePath, &r.argumentsKey})
      if (TooLong(*s)) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > (1u << 20)) return 0;
  std::vector<unsigned char> package;
  if (size >= 8 && std::memcmp(data, "QXVSOPKG", 8) == 0)
    package.assign(data, data + size);
  else
    package = Wrap(data, size);
  if (package.empty()) return 0;

  cSOPKGDescription d;
  cBufWrapperIO in(package.data(), static_cast<uint32_t>(package.size()));
  if (!d.Read(&in)) return 0;

  for (uint32_t i = 0; i < d.payloads.count; ++i) {
    auto s = OpenPayloadStream(i, d.payloads);
    if (s == nullptr) continue;
    char buf[4096];
    uint64_t total = 0;
    for (uint32_t n; (n = s->Read(buf, sizeof buf)) != 0;) total += n;
    if (total > s->GetSize()) std::abort();
  }

  std::vector<unsigned char> first;
  if (!Writes(d, first)) {
    if (!WriterMayRefuse(d)) std::abort();
    return 0;
  }
  cSOPKGDescription again;
  cBufWrapperIO in2(first.data(), static_cast<uint32_t>(first.size()));
  if (!again.Read(&in2)) std::abort();
  std::vector<unsigned char> second;
  if (!Writes(again, second) || second != first) std::abort();
  return 0;
}
