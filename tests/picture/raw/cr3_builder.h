// Test kit for CR3 files: ISO boxes (32- and 64-bit sizes), the ftyp box,
// CMT1 / CMT2 boxes holding little TIFF files with the picture size, and
// uuid boxes carrying a PRVW record with a JPEG.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/tiff_builder.h"

namespace cr3_test {

using tBytes = std::vector<uint8_t>;

inline void PutBe32(tBytes& out, uint64_t v) {
  for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<uint8_t>(v >> s));
}
inline void PutBe64(tBytes& out, uint64_t v) {
  PutBe32(out, v >> 32);
  PutBe32(out, v & 0xFFFFFFFFu);
}
inline tBytes Cat(std::initializer_list<tBytes> parts) {
  tBytes out;
  for (const tBytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

inline tBytes Box(const std::string& type, const tBytes& payload) {
  tBytes out;
  PutBe32(out, payload.size() + 8);
  out.insert(out.end(), type.begin(), type.end());
  out.insert(out.end(), payload.begin(), payload.end());
  return out;
}
// Size field 1, then the 64-bit size.
inline tBytes Box64(const std::string& type, const tBytes& payload) {
  tBytes out;
  PutBe32(out, 1);
  out.insert(out.end(), type.begin(), type.end());
  PutBe64(out, payload.size() + 16);
  out.insert(out.end(), payload.begin(), payload.end());
  return out;
}
inline tBytes Ftyp(uint32_t minor = 1) {
  tBytes p = {'c', 'r', 'x', ' '};
  PutBe32(p, minor);
  p.insert(p.end(), {'c', 'r', 'x', ' ', 'i', 's', 'o', 'm'});
  return Box("ftyp", p);
}
// A CMT box: a TIFF whose first directory holds width and height with the
// given type (3 SHORT, 4 LONG) and count.
inline tBytes Cmt(const std::string& type, uint32_t width, uint32_t height, uint16_t valueType = 4,
                  bool bigEndian = false) {
  cTiffBuilder b(bigEndian, false);
  const int ifd = b.AddIfd();
  if (valueType == 3) {
    b.AddShort(ifd, 256, static_cast<uint16_t>(width));
    b.AddShort(ifd, 257, static_cast<uint16_t>(height));
  } else {
    b.AddLong(ifd, 256, width);
    b.AddLong(ifd, 257, height);
  }
  b.AddAscii(ifd, 271, "Canon");
  return Box(type, b.Build());
}
inline tBytes Uuid(const tBytes& inner) {
  tBytes p(16, 0x85);
  p.insert(p.end(), inner.begin(), inner.end());
  return Box("uuid", p);
}
// A top-level uuid box with a PRVW record; announced overrides the length.
inline tBytes PrvwBox(const tBytes& jpeg, int64_t announced = -1) {
  tBytes p(16, 0xEA);
  tBytes record(32, 0);
  record[12] = 'P', record[13] = 'R', record[14] = 'V', record[15] = 'W';
  tBytes n;
  PutBe32(n, announced >= 0 ? static_cast<uint64_t>(announced) : jpeg.size());
  std::copy(n.begin(), n.end(), record.begin() + 28);
  p.insert(p.end(), record.begin(), record.end());
  p.insert(p.end(), jpeg.begin(), jpeg.end());
  return Box("uuid", p);
}
inline tBytes Moov(uint32_t width, uint32_t height) {
  return Box("moov", Cat({Uuid(Cat({Cmt("CMT1", width, height), Box("CMT3", tBytes(8, 0))})), Box("trak", {})}));
}
inline tBytes Mdat(const tBytes& jpeg) { return Box("mdat", jpeg); }

}  // namespace cr3_test
