// A small program image for the builder's tests: DOS header, PE header at
// 0x80, an optional header of the chosen magic with a checksum and a
// certificate directory entry set, sections ".text" and ".rsrc" (raw data at
// 0x400, 0x400 bytes) whose resource tree holds one version resource
// (type 16, id 1, language 0x409) of versionSize bytes at 0x500, and the
// iCmd template after the headers and sections, followed by a tail of
// marker bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace twtest {

struct sPeFixture {
  uint16_t magic = 0x10B;
  uint32_t versionSize = 0x300;  // at most 0x300
  uint32_t tail = 300;
};

inline constexpr uint32_t kFixtureOptHeader = 0x98;
inline constexpr uint32_t kFixtureVersionAt = 0x500;
inline constexpr uint32_t kFixtureBlockAt = 0x800;

std::vector<uint8_t> MakeProgramImage(const sPeFixture& f = {});

void PutLe16(std::vector<uint8_t>& b, size_t at, uint32_t v);
void PutLe32(std::vector<uint8_t>& b, size_t at, uint32_t v);
uint32_t GetLe32(const std::vector<uint8_t>& b, size_t at);

}  // namespace twtest
