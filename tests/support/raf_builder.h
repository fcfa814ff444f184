// Test kit: synthetic Fujifilm RAF files. The 124-byte header with the
// model, the preview JPEG, the CFA header records and the CFA section, which
// either holds plain 16-bit samples (no directory) or starts with a
// TIFF-like directory of tags 0xF000-0xF00E followed by the samples.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/tiff_builder.h"

namespace raf_builder {

struct sRecord {
  uint16_t tag;
  std::vector<uint8_t> data;
};

inline void Be16(std::vector<uint8_t>& v, uint32_t x) {
  v.push_back(static_cast<uint8_t>(x >> 8));
  v.push_back(static_cast<uint8_t>(x));
}
inline void Be32(std::vector<uint8_t>& v, uint32_t x) {
  Be16(v, x >> 16);
  Be16(v, x & 0xFFFF);
}
inline sRecord Size(uint16_t tag, uint32_t height, uint32_t width) {
  sRecord r{tag, {}};
  Be16(r.data, height);
  Be16(r.data, width);
  return r;
}

// A CFA section with a directory: tags given as {tag, value} (LONG), the
// raw data offset (0xF007) and length (0xF008) filled in; the samples follow
// the directory. chain: the tags go into a second directory that the first
// points to with 0xF000.
inline std::vector<uint8_t> Section(bool bigEndian, std::vector<std::pair<uint16_t, uint32_t>> tags,
                                    const std::vector<uint8_t>& samples, bool chain = false) {
  // The data offset is only known after building: build twice.
  uint32_t dataAt = 0;
  std::vector<uint8_t> out;
  for (int pass = 0; pass < 2; ++pass) {
    cTiffBuilder b(bigEndian, false);
    const int first = b.AddIfd();
    int target = first;
    if (chain) {
      target = b.AddIfd();
      b.SetFirst(first);
      b.AddIfdPointer(first, 0xF000, target);
    }
    for (const auto& t : tags) b.AddLong(target, t.first, t.second);
    b.AddLong(target, 0xF007, dataAt);
    b.AddLong(target, 0xF008, static_cast<uint32_t>(samples.size()));
    out = b.Build();
    while (out.size() % 16) out.push_back(0);
    dataAt = static_cast<uint32_t>(out.size());
  }
  out.insert(out.end(), samples.begin(), samples.end());
  return out;
}

struct sRaf {
  std::string model = "FinePix E550";
  std::vector<uint8_t> jpeg;
  std::vector<sRecord> records;
  std::vector<uint8_t> section;
  uint32_t word120 = 0;
};

inline std::vector<uint8_t> Build(const sRaf& f) {
  std::vector<uint8_t> out(124, 0);
  memcpy(out.data(), "FUJIFILMCCD-RAW 0201FF383501", 28);
  memcpy(out.data() + 28, f.model.data(), std::min<size_t>(32, f.model.size()));
  std::vector<uint8_t> header;
  Be32(header, static_cast<uint32_t>(f.records.size()));
  for (const auto& r : f.records) {
    Be16(header, r.tag);
    Be16(header, static_cast<uint32_t>(r.data.size()));
    header.insert(header.end(), r.data.begin(), r.data.end());
  }
  const uint32_t jpegAt = f.jpeg.empty() ? 0 : 124;
  const uint32_t headerAt = 124 + static_cast<uint32_t>(f.jpeg.size());
  const uint32_t sectionAt = headerAt + static_cast<uint32_t>(header.size());
  auto put = [&](size_t at, uint32_t v) {
    out[at] = static_cast<uint8_t>(v >> 24), out[at + 1] = static_cast<uint8_t>(v >> 16);
    out[at + 2] = static_cast<uint8_t>(v >> 8), out[at + 3] = static_cast<uint8_t>(v);
  };
  put(84, jpegAt);
  put(88, static_cast<uint32_t>(f.jpeg.size()));
  put(92, headerAt);
  put(96, static_cast<uint32_t>(header.size()));
  put(100, sectionAt);
  put(104, static_cast<uint32_t>(f.section.size()));
  put(120, f.word120);
  out.insert(out.end(), f.jpeg.begin(), f.jpeg.end());
  out.insert(out.end(), header.begin(), header.end());
  out.insert(out.end(), f.section.begin(), f.section.end());
  return out;
}

}  // namespace raf_builder
