// Test kit: synthetic Minolta MRW files: the block directory in either
// byte order with PRD (sizes), WBG (white balance) and TTW (a TIFF with the
// model and the preview JPEG) blocks, then 16-bit or packed 12-bit samples
// in the TIFF's byte order (the directory's without one). frame: the samples
// a decoder must produce.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/olympus_encoder.h"
#include "tests/support/test_support.h"
#include "tests/support/tiff_builder.h"

namespace mrw_builder {

struct sMrw {
  bool bigEndian = true;   // directory
  int tiff = 1;            // 0 none, 1 big-endian TIFF, 2 little-endian TIFF
  std::string model = "DiMAGE 7Hi";
  int32_t width = 24, height = 8;
  bool packed = false;
  bool preview = true;
  uint16_t wb[4] = {300, 256, 256, 420};
  uint32_t prdLength = 16;
  std::vector<uint8_t> extraBlock;  // raw bytes of one more block (header included)
  // As cameras write them: Make in the TIFF, and the PRD's image size, bit
  // depths and storage method (0x52 padded 16-bit, 0x59 packed 12-bit).
  bool camera = false;
};

struct sBuilt {
  std::vector<uint8_t> bytes;
  std::vector<uint16_t> frame;
  std::vector<uint8_t> jpeg;
};

inline void P16(std::vector<uint8_t>& v, bool be, uint32_t x) {
  if (be) v.push_back(static_cast<uint8_t>(x >> 8)), v.push_back(static_cast<uint8_t>(x));
  else v.push_back(static_cast<uint8_t>(x)), v.push_back(static_cast<uint8_t>(x >> 8));
}
inline void P32(std::vector<uint8_t>& v, bool be, uint32_t x) {
  if (be) P16(v, be, x >> 16), P16(v, be, x & 0xFFFF);
  else P16(v, be, x & 0xFFFF), P16(v, be, x >> 16);
}
inline void Block(std::vector<uint8_t>& v, bool be, const char* name, const std::vector<uint8_t>& content) {
  v.push_back(0);
  v.insert(v.end(), name, name + 3);
  P32(v, be, static_cast<uint32_t>(content.size()));
  v.insert(v.end(), content.begin(), content.end());
}

inline sBuilt Build(const sMrw& f) {
  sBuilt out;
  {
    const std::string text = twtest::ReadFileText(twtest::SourcePath("tests/picture/raw/data/preview_48x32.jpg"));
    out.jpeg.assign(text.begin(), text.end());
  }
  const bool be = f.bigEndian;
  // An extra block goes first, so that the blocks after it are still read.
  std::vector<uint8_t> head(f.extraBlock);
  std::vector<uint8_t> prd(f.prdLength, 0);
  if (f.prdLength >= 12) {
    std::vector<uint8_t> t;
    P16(t, be, static_cast<uint32_t>(f.height));
    P16(t, be, static_cast<uint32_t>(f.width));
    prd[8] = t[0], prd[9] = t[1], prd[10] = t[2], prd[11] = t[3];
    if (f.camera && f.prdLength >= 24) {
      for (int k = 0; k < 4; ++k) prd[12 + k] = t[k];
      prd[16] = f.packed ? 12 : 16;
      prd[17] = 12;
      prd[18] = f.packed ? 0x59 : 0x52;
    }
  }
  Block(head, be, "PRD", prd);
  std::vector<uint8_t> wbg(4, 0);
  for (uint16_t w : f.wb) P16(wbg, be, w);
  Block(head, be, "WBG", wbg);
  if (f.tiff) {
    cTiffBuilder t(f.tiff == 1, false);
    const int ifd = t.AddIfd();
    if (f.camera) t.AddAscii(ifd, 271, "MINOLTA");
    t.AddAscii(ifd, 272, f.model);
    if (f.preview) {
      const int blk = t.AddBlock(out.jpeg);
      t.AddBlockOffsets(ifd, 513, {blk});
      t.AddBlockSizes(ifd, 514, {blk});
    }
    Block(head, be, "TTW", t.Build());
  }
  const bool samplesBe = f.tiff ? f.tiff == 1 : be;
  std::vector<uint16_t> s(static_cast<size_t>(f.width) * f.height);
  for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<uint16_t>((i * 37 + 100) & 0xFFF);
  out.frame = s;
  std::vector<uint8_t> data;
  if (f.packed) olympus_encoder::PackRow(s.data(), static_cast<int32_t>(s.size()), samplesBe ? olympus_encoder::kBig : olympus_encoder::kLittle, data);
  else
    for (uint16_t v : s) P16(data, samplesBe, v);
  out.bytes = {0, 'M', 'R', be ? uint8_t('M') : uint8_t('I')};
  P32(out.bytes, be, static_cast<uint32_t>(head.size()));
  out.bytes.insert(out.bytes.end(), head.begin(), head.end());
  out.bytes.insert(out.bytes.end(), data.begin(), data.end());
  return out;
}

}  // namespace mrw_builder
