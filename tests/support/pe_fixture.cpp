#include "tests/support/pe_fixture.h"

#include <cstring>

#include "package/cmd_block.h"

namespace twtest {

void PutLe16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}

void PutLe32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  PutLe16(b, at, v & 0xFFFF);
  PutLe16(b, at + 2, v >> 16);
}

uint32_t GetLe32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

std::vector<uint8_t> MakeProgramImage(const sPeFixture& f) {
  const uint32_t optSize = f.magic == 0x20B ? 240 : 224;
  std::vector<uint8_t> b(kFixtureBlockAt, 0);
  b[0] = 'M';
  b[1] = 'Z';
  PutLe32(b, 60, 0x80);
  std::memcpy(b.data() + 0x80, "PE\0\0", 4);
  PutLe16(b, 0x80 + 6, 2);
  PutLe16(b, 0x80 + 20, optSize);
  const size_t opt = kFixtureOptHeader;
  PutLe16(b, opt, f.magic);
  PutLe32(b, opt + 64, 0x12345678);  // checksum
  const size_t cert = f.magic == 0x20B ? 144 : 128;
  PutLe32(b, opt + cert, 0x700);
  PutLe32(b, opt + cert + 4, 0x40);
  const size_t sec = opt + optSize;
  std::memcpy(b.data() + sec, ".text\0\0\0", 8);
  std::memcpy(b.data() + sec + 40, ".rsrc\0\0\0", 8);
  const uint32_t rsrcVa = 0x3000;
  PutLe32(b, sec + 40 + 12, rsrcVa);
  PutLe32(b, sec + 40 + 16, 0x400);
  PutLe32(b, sec + 40 + 20, 0x400);
  // Root -> type 16 -> name 1 -> language 0x409 -> data entry at 0xC0.
  const uint32_t r = 0x400;
  uint32_t dir = 0;
  for (int level = 0; level < 3; ++level) {
    const uint32_t next = dir + 24;
    PutLe16(b, r + dir + 14, 1);
    PutLe32(b, r + dir + 16, level == 0 ? 16 : level == 1 ? 1 : 0x409);
    PutLe32(b, r + dir + 20, level < 2 ? (0x80000000u | next) : 0xC0);
    dir = next;
  }
  PutLe32(b, r + 0xC0, rsrcVa + (kFixtureVersionAt - r));
  PutLe32(b, r + 0xC4, f.versionSize);
  for (uint32_t i = 0; i < f.versionSize; ++i) b[kFixtureVersionAt + i] = static_cast<uint8_t>(0xA0 + i % 16);
  b.insert(b.end(), CmdBlockTemplate(), CmdBlockTemplate() + tw::kCmdBlockSize);
  for (uint32_t i = 0; i < f.tail; ++i) b.push_back(static_cast<uint8_t>(i * 7));
  return b;
}

}  // namespace twtest
