// Test kit: synthetic X3F files. "FOVb" header, image sections ("SECi"
// headers) for the raw image and JPEG previews, an optional property list
// ("SECp", names and values in UTF-16) as cameras write it, the "SECd"
// directory and its offset in the last four bytes.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
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

using tProperties = std::vector<std::pair<std::string, std::string>>;

// A "PROP" entry's data: header, then {name, value} offsets counted in
// characters into the zero-terminated UTF-16 strings that follow.
inline std::vector<uint8_t> PropertyList(const tProperties& props) {
  std::vector<uint16_t> chars;
  std::vector<uint32_t> offsets;
  for (const auto& [name, value] : props)
    for (const std::string* s : {&name, &value}) {
      offsets.push_back(static_cast<uint32_t>(chars.size()));
      for (unsigned char c : *s) chars.push_back(c);
      chars.push_back(0);
    }
  std::vector<uint8_t> out = {'S', 'E', 'C', 'p'};
  L32(out, 0x00020000);
  L32(out, static_cast<uint32_t>(props.size()));
  L32(out, 0);  // characters are UTF-16
  L32(out, 0);
  L32(out, static_cast<uint32_t>(chars.size()));
  for (uint32_t o : offsets) L32(out, o);
  for (uint16_t c : chars) out.push_back(static_cast<uint8_t>(c)), out.push_back(static_cast<uint8_t>(c >> 8));
  return out;
}

// pad: bytes between the header and the first section (the directory
// offset's lower bound is 40). props, when given, goes after the sections.
inline std::vector<uint8_t> Build(const std::vector<sSection>& sections, uint32_t pad = 32,
                                  const tProperties& props = {}) {
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
  std::pair<uint32_t, uint32_t> propsAt{0, 0};
  if (!props.empty()) {
    const auto list = PropertyList(props);
    propsAt = {static_cast<uint32_t>(out.size()), static_cast<uint32_t>(list.size())};
    out.insert(out.end(), list.begin(), list.end());
    while (out.size() % 4) out.push_back(0);
  }
  const uint32_t dir = static_cast<uint32_t>(out.size());
  out.insert(out.end(), {'S', 'E', 'C', 'd'});
  L32(out, 0x00020000);
  L32(out, static_cast<uint32_t>(sections.size() + (props.empty() ? 0 : 1)));
  for (size_t i = 0; i < sections.size(); ++i) {
    L32(out, where[i].first);
    L32(out, where[i].second);
    out.insert(out.end(), sections[i].kind, sections[i].kind + 4);
  }
  if (!props.empty()) {
    L32(out, propsAt.first);
    L32(out, propsAt.second);
    out.insert(out.end(), {'P', 'R', 'O', 'P'});
  }
  L32(out, dir);
  return out;
}

}  // namespace x3f_builder
