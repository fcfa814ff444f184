// Synthetic Pentax, Sony and Samsung camera files on cTiffBuilder, with real
// model names, for the decoders' load tests, the fuzz seeds and the oracle
// checks. Each builder returns the file and the raw frame a decoder must
// unpack from it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/picture/raw/pentax_encoder.h"
#include "tests/picture/raw/raw_bits.h"
#include "tests/picture/raw/samsung_encoder.h"
#include "tests/picture/raw/sony_encoder.h"
#include "tests/support/tiff_builder.h"

namespace rawtest {

struct sIfdValue {
  uint16_t tag, type;
  uint32_t count;
  std::vector<uint8_t> bytes;  // file order
};

// An IFD placed at absolute offset base: count, entries, next 0, then the
// out-of-line values (offsets absolute).
inline std::vector<uint8_t> IfdBytes(bool be, uint32_t base, const std::vector<sIfdValue>& entries) {
  std::vector<uint8_t> out;
  auto p16 = [&](std::vector<uint8_t>& v, uint32_t x) {
    v.push_back(static_cast<uint8_t>(be ? x >> 8 : x));
    v.push_back(static_cast<uint8_t>(be ? x : x >> 8));
  };
  auto p32 = [&](std::vector<uint8_t>& v, uint32_t x) {
    for (int i = 0; i < 4; ++i) v.push_back(static_cast<uint8_t>(be ? x >> (24 - 8 * i) : x >> (8 * i)));
  };
  p16(out, static_cast<uint32_t>(entries.size()));
  std::vector<uint8_t> tail;
  const uint32_t tailAt = base + 2 + 12 * static_cast<uint32_t>(entries.size()) + 4;
  for (const auto& e : entries) {
    p16(out, e.tag);
    p16(out, e.type);
    p32(out, e.count);
    if (e.bytes.size() <= 4) {
      std::vector<uint8_t> f = e.bytes;
      f.resize(4, 0);
      out.insert(out.end(), f.begin(), f.end());
    } else {
      p32(out, tailAt + static_cast<uint32_t>(tail.size()));
      tail.insert(tail.end(), e.bytes.begin(), e.bytes.end());
      if (tail.size() % 2) tail.push_back(0);
    }
  }
  p32(out, 0);
  out.insert(out.end(), tail.begin(), tail.end());
  return out;
}

inline std::vector<uint8_t> Shorts(bool be, const std::vector<uint16_t>& v) {
  std::vector<uint8_t> out;
  for (uint16_t x : v) {
    out.push_back(static_cast<uint8_t>(be ? x >> 8 : x));
    out.push_back(static_cast<uint8_t>(be ? x : x >> 8));
  }
  return out;
}

// ---- Pentax ----
struct sPefSpec {
  bool be = false;
  bool ricoh = false;
  int width = 64, height = 48;
  int compression = 65535;  // 1, 32773 or 65535
  int rowsPerStrip = 0;     // 0: one strip
  std::vector<uint16_t> cropOrigin, cropSize;
  std::vector<uint16_t> balance = {400, 256, 300, 512};  // 0x201
  std::vector<uint8_t> pattern = {0, 1, 1, 2};
  int extraStrips = 0;  // strips past the height (a crafted file)
};

inline std::vector<uint8_t> MakePef(const sPefSpec& s, std::vector<uint16_t>& samples) {
  const int bits = 12;
  samples = SmoothMosaic(s.width, s.height, (1 << bits) - 1, 31);
  cTiffBuilder b(s.be, false);
  const auto codes = MakeCodes(s.be, false);
  // The maker note goes into the first block, at offset 8.
  std::vector<sIfdValue> mn;
  if (!s.cropOrigin.empty()) mn.push_back({0x38, 3, 2, Shorts(s.be, s.cropOrigin)});
  if (!s.cropSize.empty()) mn.push_back({0x39, 3, 2, Shorts(s.be, s.cropSize)});
  mn.push_back({0x201, 3, 4, Shorts(s.be, s.balance)});
  mn.push_back({0x220, 7, static_cast<uint32_t>(codes.tag.size()), codes.tag});
  const uint32_t head = s.ricoh ? 10 : 6;
  std::vector<uint8_t> note = {'A', 'O', 'C', 0, static_cast<uint8_t>(s.be ? 'M' : 'I'),
                               static_cast<uint8_t>(s.be ? 'M' : 'I')};
  note.resize(head, 0);
  const auto ifd = IfdBytes(s.be, 8 + head, mn);
  note.insert(note.end(), ifd.begin(), ifd.end());
  const int noteBlock = b.AddBlock(note);
  const int rps = s.rowsPerStrip > 0 ? s.rowsPerStrip : s.height;
  std::vector<int> strips;
  for (int first = 0; first < s.height; first += rps) {
    const int rows = std::min(rps, s.height - first);
    std::vector<uint16_t> part(samples.begin() + first * s.width, samples.begin() + (first + rows) * s.width);
    std::vector<uint8_t> bytes;
    if (s.compression == 1) {
      bytes = Shorts(s.be, part);
    } else if (s.compression == 32773) {
      bytes = PackSony12(part, s.be);
    } else {
      bytes = EncodePentax(part, s.width, rows, codes);
    }
    strips.push_back(b.AddBlock(bytes));
  }
  for (int i = 0; i < s.extraStrips; ++i) strips.push_back(b.AddBlock(std::vector<uint8_t>(16, 0xFF)));
  const int ifd0 = b.AddIfd();
  const int exif = b.AddIfd();
  b.AddAscii(ifd0, 271, s.ricoh ? "RICOH IMAGING COMPANY, LTD." : "PENTAX Corporation");
  b.AddAscii(ifd0, 272, s.ricoh ? "PENTAX K-3 II" : "PENTAX K-5");
  b.AddLong(ifd0, 256, static_cast<uint32_t>(s.width));
  b.AddLong(ifd0, 257, static_cast<uint32_t>(s.height));
  b.AddShort(ifd0, 258, bits);
  b.AddShort(ifd0, 259, static_cast<uint16_t>(s.compression));
  b.AddShort(ifd0, 277, 1);
  b.AddLong(ifd0, 278, static_cast<uint32_t>(rps));
  b.AddBlockOffsets(ifd0, 273, strips);
  b.AddBlockSizes(ifd0, 279, strips);
  b.AddIfdPointer(ifd0, 34665, exif);
  b.AddBytes(exif, 41730, 7, [&] {
    std::vector<uint8_t> v = Shorts(s.be, {2, 2});
    v.insert(v.end(), s.pattern.begin(), s.pattern.end());
    return v;
  }());
  b.AddRaw(exif, 37500, 7, note.size(), note);
  b.OverrideLastValueField(exif, b.BlockOffset(noteBlock));
  return b.Build();
}

// ---- Sony ----
struct sArwSpec {
  bool be = false;
  std::string model = "ILCE-6000";
  int width = 64, height = 48;
  int bits = 12;
  int coding = 0;  // 0 plain (compression 1), 1 packed 12, 2 ARW2, 3 ARW1
  int rowsPerStrip = 0;
  bool mrm = true;
  uint16_t levels[4] = {560, 256, 256, 410};
  int extraStrips = 0;
  bool exifLoop = false;     // the EXIF IFD points at itself
  bool privateLoop = false;  // the private IFD points at itself
  bool littleEndianPlain = false;
};

inline std::vector<uint8_t> MakeArw(const sArwSpec& s, std::vector<uint16_t>& samples) {
  cTiffBuilder b(s.be, false);
  const int rps = s.rowsPerStrip > 0 ? s.rowsPerStrip : s.height;
  std::vector<int> strips;
  samples.assign(static_cast<size_t>(s.width) * s.height, 0);
  const int maxV = s.coding == 3 ? 4095 : (1 << s.bits) - 1;
  const auto src = SmoothMosaic(s.width, s.height, s.coding == 2 ? 2047 : maxV, 41);
  for (int first = 0; first < s.height; first += rps) {
    const int rows = std::min(rps, s.height - first);
    std::vector<uint16_t> part(src.begin() + first * s.width, src.begin() + (first + rows) * s.width);
    std::vector<uint16_t> got = part;
    std::vector<uint8_t> bytes;
    switch (s.coding) {
      case 0:
        // Plain samples are big-endian unless the model's 14-bit group
        // makes them little-endian.
        bytes = Shorts(!s.littleEndianPlain, part);
        break;
      case 1: bytes = PackSony12(part, s.be); break;
      case 2: bytes = EncodeArw2(part, s.width, rows, got); break;
      default: bytes = EncodeArw1(part, s.width, rows); break;
    }
    std::copy(got.begin(), got.end(), samples.begin() + first * s.width);
    strips.push_back(b.AddBlock(bytes));
  }
  for (int i = 0; i < s.extraStrips; ++i) strips.push_back(b.AddBlock(std::vector<uint8_t>(8, 0xFF)));
  const uint16_t lv[4] = {s.levels[0], s.levels[1], s.levels[2], s.levels[3]};
  const int mrm = b.AddBlock(MrmBlock(s.be, true, lv));
  const int ifd0 = b.AddIfd();
  const int raw = b.AddIfd();
  const int exif = b.AddIfd();
  const int priv = b.AddIfd();
  b.AddAscii(ifd0, 271, "SONY");
  b.AddAscii(ifd0, 272, s.model);
  b.AddIfdPointer(ifd0, 330, raw);
  b.AddIfdPointer(ifd0, 34665, exif);
  if (s.mrm) b.AddBlockOffsets(ifd0, 29264, {mrm});
  else b.AddIfdPointer(ifd0, 29264, priv);
  b.AddShort(exif, 0x9000, 1);
  if (s.exifLoop) b.AddIfdPointer(exif, 34665, exif);
  b.AddShort(priv, 0x1000, 1);
  if (s.privateLoop) b.AddIfdPointer(priv, 29264, priv);
  b.AddLong(raw, 256, static_cast<uint32_t>(s.width));
  b.AddLong(raw, 257, static_cast<uint32_t>(s.height));
  b.AddShort(raw, 258, static_cast<uint16_t>(s.bits));
  b.AddShort(raw, 259, s.coding == 0 ? 1 : 32767);
  b.AddShort(raw, 277, 1);
  b.AddLong(raw, 278, static_cast<uint32_t>(rps));
  b.AddBlockOffsets(raw, 273, strips);
  b.AddBlockSizes(raw, 279, strips);
  b.AddShorts(raw, 33421, {2, 2});
  b.AddBytes(raw, 33422, 1, {0, 1, 1, 2});
  return b.Build();
}

// ---- Samsung ----
struct sSrwSpec {
  bool be = false;
  std::string model = "NX300";
  int width = 64, height = 48;
  int coding = 0;  // 0 plain, 1 packed, 2 row-offset, 3 Huffman, 4 blocks
  int rowsPerStrip = 0;
  int extraStrips = 0;
  // Row-offset coding that reads the same under either rule for the left
  // prediction: rows 0 and 1 alternate two values (each coded row is
  // constant) and every later block predicts from the rows above.
  bool flatTopRows = false;
};

inline cTiffBuilder BuildSrw(const sSrwSpec& s, std::vector<uint16_t>& samples, uint32_t sub0, uint32_t sub1,
                             int& thumbIfd, int& rawIfd) {
  cTiffBuilder b(s.be, false);
  const int rps = s.rowsPerStrip > 0 ? s.rowsPerStrip : s.height;
  auto src = SmoothMosaic(s.width, s.height, 4095, 51);
  if (s.flatTopRows)
    for (int r = 0; r < 2 && r < s.height; ++r)
      for (int c = 0; c < s.width; ++c) src[static_cast<size_t>(r) * s.width + c] = (c & 1) != 0 ? 700 : 300;
  samples = src;
  std::vector<int> strips;
  std::vector<uint32_t> table;
  for (int first = 0, k = 0; first < s.height; first += rps, ++k) {
    const int rows = std::min(rps, s.height - first);
    std::vector<uint16_t> part(src.begin() + first * s.width, src.begin() + (first + rows) * s.width);
    std::vector<uint8_t> bytes;
    switch (s.coding) {
      case 0: bytes = Shorts(false, part); break;
      case 1: bytes = PackSony12(part, false); break;
      case 2: {
        auto st = EncodeSamsungRowOffset(src, s.width, first, rows, 90 + k, s.flatTopRows);
        bytes = st.bytes;
        table.insert(table.end(), st.rowOffsets.begin(), st.rowOffsets.end());
        break;
      }
      case 3: bytes = EncodeSamsungHuffman(part, s.width, rows); break;
      default: {
        std::vector<uint16_t> got;
        bytes = GenerateSamsungBlocks(s.width, rows, 0, 300, 60 + k, got);
        std::copy(got.begin(), got.end(), samples.begin() + first * s.width);
        break;
      }
    }
    strips.push_back(b.AddBlock(bytes));
  }
  for (int i = 0; i < s.extraStrips; ++i) strips.push_back(b.AddBlock(std::vector<uint8_t>(32, 0)));
  int tableBlock = -1;
  if (s.coding == 2) {
    std::vector<uint8_t> t;
    for (uint32_t o : table)
      for (int i = 0; i < 4; ++i) t.push_back(static_cast<uint8_t>(o >> (8 * i)));
    tableBlock = b.AddBlock(t);
  }
  const int ifd0 = b.AddIfd();
  const int thumb = b.AddIfd();
  const int raw = b.AddIfd();
  b.AddAscii(ifd0, 271, "SAMSUNG");
  b.AddAscii(ifd0, 272, s.model);
  // Both SubIFDs in one entry: the first a small picture, the second raw.
  b.AddLongs(ifd0, 330, {sub0, sub1});
  b.AddShort(thumb, 256, 8);
  b.AddShort(thumb, 257, 8);
  b.AddShort(thumb, 258, 8);
  b.AddLong(raw, 256, static_cast<uint32_t>(s.width));
  b.AddLong(raw, 257, static_cast<uint32_t>(s.height));
  b.AddShort(raw, 258, 12);
  static const uint16_t kComp[] = {32769, 32769, 32770, 32772, 32773};
  b.AddShort(raw, 259, kComp[s.coding]);
  b.AddShort(raw, 277, 1);
  b.AddLong(raw, 278, static_cast<uint32_t>(rps));
  b.AddBlockOffsets(raw, 273, strips);
  b.AddBlockSizes(raw, 279, strips);
  b.AddShorts(raw, 33421, {2, 2});
  b.AddBytes(raw, 33422, 1, {0, 1, 1, 2});
  if (tableBlock >= 0) b.AddBlockOffsets(raw, 40976, {tableBlock});
  thumbIfd = thumb;
  rawIfd = raw;
  return b;
}

// Two passes: the first finds where the SubIFDs land (sizes do not depend
// on the offsets), the second writes them.
inline std::vector<uint8_t> MakeSrw(const sSrwSpec& s, std::vector<uint16_t>& samples) {
  int thumb = 0, raw = 0;
  cTiffBuilder first = BuildSrw(s, samples, 0, 0, thumb, raw);
  const uint32_t o0 = static_cast<uint32_t>(first.IfdOffset(thumb)), o1 = static_cast<uint32_t>(first.IfdOffset(raw));
  return BuildSrw(s, samples, o0, o1, thumb, raw).Build();
}

}  // namespace rawtest
