#include "tests/support/package_bytes.h"

#include <zlib.h>

#include "crypto/sha.h"

namespace twtest {

PkgBytes& PkgBytes::u8(uint32_t v) {
  bytes.push_back(static_cast<unsigned char>(v));
  return *this;
}
PkgBytes& PkgBytes::u16(uint32_t v) { return u8(v).u8(v >> 8); }
PkgBytes& PkgBytes::u32(uint32_t v) { return u16(v).u16(v >> 16); }
PkgBytes& PkgBytes::str(const std::string& utf8) {
  u16(static_cast<uint32_t>(utf8.size()));
  return raw(utf8);
}
PkgBytes& PkgBytes::entry(const std::string& key, const std::string& value) {
  std::string padded = key;
  while (padded.size() % 4 != 0) padded.push_back('\0');
  u8(1).u16(static_cast<uint32_t>(padded.size())).raw(padded);
  return str(value);
}
PkgBytes& PkgBytes::raw(const std::vector<unsigned char>& b) {
  bytes.insert(bytes.end(), b.begin(), b.end());
  return *this;
}
PkgBytes& PkgBytes::raw(const std::string& b) {
  bytes.insert(bytes.end(), b.begin(), b.end());
  return *this;
}

PkgBytes SoftwareSection(uint32_t major) {
  PkgBytes b;
  b.u8(1).u32(major).u32(0).u32(0).u32(0).str("").str("").str("").str("");
  return b;
}

std::vector<unsigned char> MakePackage(const std::vector<unsigned char>& sections, uint8_t format) {
  z_stream z{};
  deflateInit2(&z, 9, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY);
  std::vector<unsigned char> packed(deflateBound(&z, sections.size()) + 16);
  z.next_in = const_cast<Bytef*>(sections.data());
  z.avail_in = static_cast<uInt>(sections.size());
  z.next_out = packed.data();
  z.avail_out = static_cast<uInt>(packed.size());
  deflate(&z, Z_FINISH);
  packed.resize(z.total_out);
  deflateEnd(&z);
  PkgBytes out;
  out.raw(std::string("QXVSOPKG")).u8(format).u32(static_cast<uint32_t>(sections.size()));
  out.u32(static_cast<uint32_t>(packed.size()));
  unsigned char digest[32];
  Sha256(digest, sections.data(), static_cast<int64_t>(sections.size()));
  out.bytes.insert(out.bytes.end(), digest, digest + 32);
  out.raw(packed);
  return out.bytes;
}

std::vector<unsigned char> PackageSections(const std::vector<unsigned char>& package) {
  if (package.size() < 49) return {};
  const auto le32 = [&](size_t at) {
    return static_cast<uint32_t>(package[at]) | (static_cast<uint32_t>(package[at + 1]) << 8) |
           (static_cast<uint32_t>(package[at + 2]) << 16) | (static_cast<uint32_t>(package[at + 3]) << 24);
  };
  const uint32_t unpacked = le32(9), packed = le32(13);
  if (package.size() < 49u + packed) return {};
  std::vector<unsigned char> out(unpacked);
  uLongf outLength = unpacked;
  if (uncompress(out.data(), &outLength, package.data() + 49, packed) != Z_OK || outLength != unpacked) return {};
  return out;
}

}  // namespace twtest
