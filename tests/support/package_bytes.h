// Builders of package bytes for the package tests and fuzz seeds: little-
// endian fields, package strings and keys, and the header with its zlib body.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace twtest {

class PkgBytes {
public:
  PkgBytes& u8(uint32_t v);
  PkgBytes& u16(uint32_t v);
  PkgBytes& u32(uint32_t v);
  // 16-bit length and the UTF-8 bytes.
  PkgBytes& str(const std::string& utf8);
  // A string-table record: 0x01, 16-bit length, the key padded with zeros
  // to a multiple of 4, the value string.
  PkgBytes& entry(const std::string& key, const std::string& value);
  PkgBytes& raw(const std::vector<unsigned char>& bytes);
  PkgBytes& raw(const std::string& bytes);
  std::vector<unsigned char> bytes;
};

// Section 1 with the given version and four empty addresses.
PkgBytes SoftwareSection(uint32_t major = 1);

// A whole package over a section stream: magic, format byte, sizes, SHA-256
// of the sections, zlib stream (level 9).
std::vector<unsigned char> MakePackage(const std::vector<unsigned char>& sections, uint8_t format = 1);

// The section stream of a package (inflated body); empty when the header or
// body is not sound.
std::vector<unsigned char> PackageSections(const std::vector<unsigned char>& package);

}  // namespace twtest
