// Test kit: synthetic X3F files. "FOVb" header, image sections ("SECi"
// headers) for the raw image and JPEG previews, the "SECd" directory and
// its offset in the last four bytes.
#pragma once

#include <cstdint>
#include <vector>

namespace x3f_builder {

struct sSection {
  uint32_t type;    // 2: preview, other: raw
  uint32_t format;  // 18 JPEG preview, 5, 30 or another raw format
  uint32_t columns, rows;
  std::vector<uint8_t> data;  // after the 28-byte header
  const char* kind = "IMA2";
};

inline void L32(std::vector<uint8_t>& v, uint32_t x) {
  for (int k = 0; k < 4; ++k) v.push_back(static_cast<uint8_t>(x >> (8 * k)));
}

// pad: bytes between the header and the first section (the directory
// offset's lower bound is 40).
inline std::vector<uint8_t> Build(const std::vector<sSection>& sections, uint32_t pad = 32) {
  std::vector<uint8_t> out = {'F', 'O', 'V', 'b', 0, 0, 2, 0};
  out.resize(8 + pad, 0);
  std::vector<std::pair<uint32_t, uint32_t>> where;
  for (const auto& s : sections) {
    const uint32_t at = static_cast<uint32_t>(out.size());
    out.insert(out.end(), {'S', 'E', 'C', 'i'});
    L32(out, 0x00020000);
    L32(out, s.type);
    L32(out, s.format);
    L32(out, s.columns);
    L32(out, s.rows);
    L32(out, s.columns * 4);
    out.insert(out.end(), s.data.begin(), s.data.end());
    while (out.size() % 4) out.push_back(0);
    where.push_back({at, static_cast<uint32_t>(28 + s.data.size())});
  }
  const uint32_t dir = static_cast<uint32_t>(out.size());
  out.insert(out.end(), {'S', 'E', 'C', 'd'});
  L32(out, 0x00020000);
  L32(out, static_cast<uint32_t>(sections.size()));
  for (size_t i = 0; i < sections.size(); ++i) {
    L32(out, where[i].first);
    L32(out, where[i].second);
    out.insert(out.end(), sections[i].kind, sections[i].kind + 4);
  }
  L32(out, dir);
  return out;
}

}  // namespace x3f_builder
