// Byte-level builders for compiled-document fixtures, and a tiny picture
// form that the tests install as the documents' picture decoder:
//   "TWPX", width (2), height (2), width * height 32-bit pixels, top row first
//   "TWBAD..." is recognised and never decodes.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "gui/picture.h"
#include "sidoc/picture_hook.h"
#include "tests/support/zlib_deflate.h"

namespace doctest {

using Bytes = std::vector<unsigned char>;

inline void Put16(Bytes& b, uint32_t v) {
  b.push_back(static_cast<unsigned char>(v));
  b.push_back(static_cast<unsigned char>(v >> 8));
}
inline void Put32(Bytes& b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}
inline Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}
inline Bytes Str(const std::string& s) { return Bytes(s.begin(), s.end()); }
inline Bytes Zlib(const Bytes& raw) { return twtest::Deflate(raw, 15, 5); }

// The 18-byte record head.
struct Head {
  uint8_t type = 0;
  uint32_t background = 0xFFFFFFFF;
  uint8_t brk = 0;
  uint16_t ml = 0, mr = 0, mt = 0, mb = 0;
  uint16_t w = 0xFFFF, h = 0xFFFF;
};
inline Bytes HeadBytes(const Head& h) {
  Bytes b{h.type};
  Put32(b, h.background);
  b.push_back(h.brk);
  for (uint16_t v : {h.ml, h.mr, h.mt, h.mb, h.w, h.h}) Put16(b, v);
  return b;
}
inline Bytes Text(const std::string& utf8, uint16_t font = 0xFFFF, uint32_t fg = 0xFFFFFFFF, Head h = {}) {
  h.type = 0;
  Bytes b = HeadBytes(h);
  Put32(b, fg);
  Put16(b, font);
  Put16(b, static_cast<uint32_t>(utf8.size()));
  b.insert(b.end(), utf8.begin(), utf8.end());
  return b;
}
inline Bytes Link(const std::string& utf8, uint16_t target, uint16_t font = 0xFFFF, uint32_t fg = 0xFF0000,
                  Head h = {}) {
  h.type = 3;
  Bytes b = HeadBytes(h);
  Put32(b, fg);
  Put16(b, font);
  Put16(b, static_cast<uint32_t>(utf8.size()));
  Put16(b, target);
  b.insert(b.end(), utf8.begin(), utf8.end());
  return b;
}
inline Bytes Picture(uint16_t id, Head h = {}) {
  h.type = 1;
  Bytes b = HeadBytes(h);
  Put16(b, id);
  return b;
}
inline Bytes PictureLink(uint16_t id, uint16_t target, Head h = {}) {
  h.type = 4;
  Bytes b = HeadBytes(h);
  Put16(b, id);
  Put16(b, target);
  return b;
}
// A box record without its children and closing 0xFF.
inline Bytes Box(uint8_t alignment = 0, uint16_t font = 0xFFFF, uint32_t fg = 0xFFFFFFFF, Head h = {}) {
  h.type = 2;
  Bytes b = HeadBytes(h);
  Put32(b, fg);
  Put16(b, font);
  b.push_back(alignment);
  return b;
}
inline const Bytes kEnd{0xFF};

inline Bytes FontRecord(uint16_t face, uint16_t w, uint16_t h, uint8_t style) {
  Bytes b;
  Put16(b, face);
  Put16(b, w);
  Put16(b, h);
  b.push_back(style);
  b.push_back(0);
  return b;
}
inline Bytes StringEntry(const std::string& utf8) {
  Bytes b;
  Put16(b, static_cast<uint32_t>(utf8.size()));
  b.insert(b.end(), utf8.begin(), utf8.end());
  return b;
}
inline Bytes PictureEntry(const Bytes& file) {
  Bytes b;
  Put32(b, static_cast<uint32_t>(file.size()));
  b.insert(b.end(), file.begin(), file.end());
  return b;
}

// A whole document. Bodies are raw records, compressed here unless
// precompressed; tables are given inflated (fonts, strings) and as written
// (pictures); an empty table is written as length 0.
struct Doc {
  std::vector<std::pair<uint8_t, Bytes>> bodies;
  bool precompressed = false;
  Bytes fonts, strings, pictures;
  bool compressEmptyTables = false;  // a zlib stream of nothing instead of length 0

  Bytes Build() const {
    Bytes out = Str("QXVHDOCF");
    for (const auto& [id, body] : bodies) {
      const Bytes z = precompressed ? body : Zlib(body);
      out.push_back(id);
      Put32(out, static_cast<uint32_t>(z.size()));
      out.insert(out.end(), z.begin(), z.end());
    }
    out.push_back(0xFF);
    for (const Bytes* t : {&fonts, &strings}) {
      if (t->empty() && !compressEmptyTables) {
        Put32(out, 0);
        continue;
      }
      const Bytes z = Zlib(*t);
      Put32(out, static_cast<uint32_t>(z.size()));
      out.insert(out.end(), z.begin(), z.end());
    }
    Put32(out, static_cast<uint32_t>(pictures.size()));
    out.insert(out.end(), pictures.begin(), pictures.end());
    return out;
  }
};

// ---- Test picture form -----------------------------------------------------

inline Bytes TestPictureFile(uint16_t w, uint16_t h, uint32_t colour) {
  Bytes b = Str("TWPX");
  Put16(b, w);
  Put16(b, h);
  for (int i = 0; i < w * h; ++i) Put32(b, colour + static_cast<uint32_t>(i));
  return b;
}

inline eDocPictureResult TestPictureDecoder(const void* data, uint32_t size, std::unique_ptr<cPicture>* out) {
  const auto* p = static_cast<const unsigned char*>(data);
  if (size >= 5 && std::memcmp(p, "TWBAD", 5) == 0) return eDocPictureResult::kFailed;
  if (size < 8 || std::memcmp(p, "TWPX", 4) != 0) return FactoryDocumentPicture(data, size, out);
  const int32_t w = p[4] | (p[5] << 8), h = p[6] | (p[7] << 8);
  if (size != 8u + 4u * static_cast<uint32_t>(w * h)) return eDocPictureResult::kFailed;
  if (out == nullptr) return eDocPictureResult::kDecoded;
  if (w == 0 || h == 0) return eDocPictureResult::kFailed;
  std::vector<uint32_t> px(static_cast<size_t>(w * h));
  std::memcpy(px.data(), p + 8, px.size() * 4);
  auto pic = std::make_unique<cPicture>();
  pic->SetPixels(px.data(), w, h, true);
  *out = std::move(pic);
  return eDocPictureResult::kDecoded;
}

// Installs the test decoder for the life of the object.
struct ScopedTestPictures {
  ScopedTestPictures() { SetDocumentPictureDecoder(&TestPictureDecoder); }
  ~ScopedTestPictures() { SetDocumentPictureDecoder(nullptr); }
};

}  // namespace doctest
