// Synthetic NEF files on cTiffBuilder: IFD0 with make, model and the SubIFD
// list, the EXIF IFD with a Nikon maker note (its own TIFF header, or a bare
// IFD), and the raw SubIFD in one of the Nikon layouts or codings. The
// builder returns the raw frame the decoder must unpack.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/picture/raw/camera_files.h"
#include "tests/picture/raw/nikon_encoder.h"

namespace rawtest {

struct sNefSpec {
  bool be = true;
  std::string make = "NIKON CORPORATION";
  std::string model = "NIKON D850";
  int width = 64, height = 48, bits = 14;
  // 0: TIFF compression 1 (bit-packed rows); otherwise 34713 with this NEF
  // compression + 100 (so 100 is NEF compression 0).
  int coding = 103;
  int subIfds = 1;       // length of the SubIFD list (raw chosen by the rule)
  bool bareNote = false; // maker note as a bare IFD instead of "Nikon\0" v2
  std::vector<uint8_t> balance;  // maker-note tag 151
  std::vector<uint8_t> pattern = {0, 1, 1, 2};
  int linearisationCut = 0;  // bytes cut from the table's end (a crafted file)
  int stripCut = 0;          // bytes cut from the strip
  // IFD0's own picture: 8-bit RGB, one uncompressed strip (NefThumbRgb);
  // 0 x 0 for none.
  int thumbWidth = 0, thumbHeight = 0;
  // The JPEG of the preview SubIFD (tags 513/514; the list must name a
  // preview directory); previewCut bytes are left out of its length (a
  // negative cut names a length past the end of the file).
  std::vector<uint8_t> previewJpeg;
  int previewCut = 0;
  std::vector<uint8_t> noteThumbnail;       // maker-note tag 256
  std::vector<uint8_t> photoshopThumbnail;  // IFD0 tag 34377, resource 1036
  // "Nikon\0" maker note of version 1 (an IFD at its offset + 8, file
  // offsets); IFD0 is then the raw image and there is no SubIFD list.
  bool v1Note = false;
};

// IFD0's picture, R, G, B bytes, top row first.
inline std::vector<uint8_t> NefThumbRgb(int w, int h) {
  std::vector<uint8_t> v;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      v.push_back(static_cast<uint8_t>(x * 255 / (w > 1 ? w - 1 : 1)));
      v.push_back(static_cast<uint8_t>(y * 255 / (h > 1 ? h - 1 : 1)));
      v.push_back(static_cast<uint8_t>((x * 7 + y * 13) & 255));
    }
  return v;
}

// Photoshop image resources holding one thumbnail resource (1036): a 28-byte
// header whose word at 20 is the JPEG's size, then the JPEG.
inline std::vector<uint8_t> PhotoshopThumbnailBlock(const std::vector<uint8_t>& jpeg) {
  auto be32 = [](std::vector<uint8_t>& v, uint32_t x) {
    for (int i = 3; i >= 0; --i) v.push_back(static_cast<uint8_t>(x >> (8 * i)));
  };
  std::vector<uint8_t> data(28, 0);
  const uint32_t n = static_cast<uint32_t>(jpeg.size());
  for (int i = 0; i < 4; ++i) data[20 + static_cast<size_t>(i)] = static_cast<uint8_t>(n >> (8 * (3 - i)));
  data.insert(data.end(), jpeg.begin(), jpeg.end());
  std::vector<uint8_t> block = {'8', 'B', 'I', 'M', 0x04, 0x0C, 0, 0};
  be32(block, static_cast<uint32_t>(data.size()));
  block.insert(block.end(), data.begin(), data.end());
  if (block.size() & 1) block.push_back(0);
  return block;
}

inline std::vector<uint8_t> NefLinearisationFor(const sNefSpec& s, const uint16_t vp[4]) {
  const int nef = s.coding - 100;
  if (nef == 4) {
    std::vector<uint16_t> pts(static_cast<size_t>((1 << s.bits) / 6 + 1));
    for (size_t i = 0; i < pts.size(); ++i) pts[i] = static_cast<uint16_t>(i);
    return NikonLinearisation(0x44, 0x20, vp, pts, s.be, 275, s.be);
  }
  return NikonLinearisation(nef == 3 ? 0x46 : 0x44, 0x30, vp, {}, s.be);
}

inline cTiffBuilder BuildNef(const sNefSpec& s, std::vector<uint16_t>& frame, const std::vector<uint32_t>& subOffsets,
                             std::vector<int>& subs) {
  const int w = s.width, h = s.height, bits = s.bits;
  const int nef = s.coding - 100;
  const uint16_t vp[4] = {1000, 1100, 1200, 1300};
  std::vector<uint8_t> lin;
  std::vector<uint8_t> strip;
  const auto target = SmoothMosaic(w, h, (1 << bits) - 1 - (nef == 4 ? 300 : 0), 71);
  frame = target;
  if (s.coding == 0) {
    const int bpr = (w * bits + 7) / 8;
    for (int r = 0; r < h; ++r) {
      cBitWriter bw;
      for (int c = 0; c < w; ++c) bw.Put(target[static_cast<size_t>(r) * w + c], bits);
      auto row = AsWords(bw.Finish(), s.be);
      row.resize(static_cast<size_t>(bpr), 0);
      strip.insert(strip.end(), row.begin(), row.end());
    }
  } else if (nef == 1 || nef == 3 || nef == 4) {
    lin = NefLinearisationFor(s, vp);
    const int tree = (nef == 3 ? 2 : 0) + (bits == 14 ? 3 : 0);
    const auto enc = EncodeNikonHuffman(target, w, h, tree, nef == 4 ? 275 : 0, vp);
    strip = enc.bytes;
    for (size_t i = 0; i < frame.size(); ++i) {
      int v = static_cast<int16_t>(enc.values[i]);
      if (v < 0) v = 0;
      if (v > (1 << bits) - 1) v = (1 << bits) - 1;
      frame[i] = static_cast<uint16_t>(nef == 4 ? (v < (1 << bits) - 6 ? v / 6 : 0) : v);
    }
  } else if (nef == 10 || nef == 0) {
    // Little-endian 12- or 14-bit groups.
    for (int r = 0; r < h; ++r) {
      uint64_t acc = 0;
      int n = 0;
      for (int c = 0; c < w; ++c) {
        acc |= uint64_t{target[static_cast<size_t>(r) * w + c]} << n;
        n += bits;
        while (n >= 8) {
          strip.push_back(static_cast<uint8_t>(acc));
          acc >>= 8;
          n -= 8;
        }
      }
      if (n > 0) strip.push_back(static_cast<uint8_t>(acc));
    }
  } else if (nef == 9) {
    for (size_t i = 0; i + 1 < target.size(); i += 2) {
      strip.push_back(static_cast<uint8_t>(target[i] >> 4));
      strip.push_back(static_cast<uint8_t>((target[i] & 15) << 4 | target[i + 1] >> 8));
      strip.push_back(static_cast<uint8_t>(target[i + 1]));
    }
  }
  if (s.linearisationCut > 0 && !lin.empty()) lin.resize(lin.size() - static_cast<size_t>(s.linearisationCut));
  if (s.stripCut > 0) strip.resize(strip.size() - static_cast<size_t>(s.stripCut));

  // Maker-note IFD entries.
  std::vector<sIfdValue> mn;
  mn.push_back({147, 3, 1, Shorts(s.be, {static_cast<uint16_t>(nef < 0 ? 0 : nef)})});
  if (!lin.empty()) mn.push_back({150, 7, static_cast<uint32_t>(lin.size()), lin});
  if (!s.balance.empty()) mn.push_back({151, 7, static_cast<uint32_t>(s.balance.size()), s.balance});
  if (!s.noteThumbnail.empty()) mn.push_back({256, 7, static_cast<uint32_t>(s.noteThumbnail.size()), s.noteThumbnail});

  cTiffBuilder b(s.be, false);
  const int stripBlock = b.AddBlock(strip);
  // A bare (or version-1) maker note lies at a known file offset: the
  // second block.
  int noteBlock = -1;
  std::vector<uint8_t> note;
  const uint32_t noteAt = static_cast<uint32_t>(b.BlockOffset(stripBlock) + strip.size() + (strip.size() & 1));
  if (s.bareNote) {
    note = IfdBytes(s.be, noteAt, mn);
    noteBlock = b.AddBlock(note);
  } else if (s.v1Note) {
    note = {'N', 'i', 'k', 'o', 'n', 0, 1, 0};
    const auto ifd = IfdBytes(s.be, noteAt + 8, mn);
    note.insert(note.end(), ifd.begin(), ifd.end());
    noteBlock = b.AddBlock(note);
  } else {
    note = {'N', 'i', 'k', 'o', 'n', 0, 2, 0x10, 0, 0};
    const auto head = std::vector<uint8_t>{static_cast<uint8_t>(s.be ? 'M' : 'I'), static_cast<uint8_t>(s.be ? 'M' : 'I')};
    note.insert(note.end(), head.begin(), head.end());
    const std::vector<uint8_t> magic = s.be ? std::vector<uint8_t>{0, 42, 0, 0, 0, 8} : std::vector<uint8_t>{42, 0, 8, 0, 0, 0};
    note.insert(note.end(), magic.begin(), magic.end());
    const auto ifd = IfdBytes(s.be, 8, mn);
    note.insert(note.end(), ifd.begin(), ifd.end());
  }
  const int thumbBlock =
      s.thumbWidth > 0 && !s.v1Note ? b.AddBlock(NefThumbRgb(s.thumbWidth, s.thumbHeight)) : -1;
  const int previewBlock = !s.previewJpeg.empty() ? b.AddBlock(s.previewJpeg) : -1;
  const auto psd = !s.photoshopThumbnail.empty() ? PhotoshopThumbnailBlock(s.photoshopThumbnail) : std::vector<uint8_t>{};
  const int ifd0 = b.AddIfd();
  const int exif = b.AddIfd();
  subs.clear();
  if (!s.v1Note)
    for (int i = 0; i < s.subIfds; ++i) subs.push_back(b.AddIfd());
  static const int kRawIndex[] = {0, 0, 1, 1, 3, 1};
  static const int kPreviewIndex[] = {-1, -1, 0, 2, 2, 0};
  const int rawIfd = s.v1Note ? ifd0 : subs[static_cast<size_t>(kRawIndex[std::min(s.subIfds, 5)])];
  const int previewAt = s.v1Note ? -1 : kPreviewIndex[std::min(s.subIfds, 5)];
  b.AddAscii(ifd0, 271, s.make);
  b.AddAscii(ifd0, 272, s.model);
  b.AddIfdPointer(ifd0, 34665, exif);
  if (!psd.empty()) b.AddBytes(ifd0, 34377, 7, psd);
  if (thumbBlock >= 0) {
    b.AddLong(ifd0, 256, static_cast<uint32_t>(s.thumbWidth));
    b.AddLong(ifd0, 257, static_cast<uint32_t>(s.thumbHeight));
    b.AddShorts(ifd0, 258, {8, 8, 8});
    b.AddShort(ifd0, 259, 1);
    b.AddShort(ifd0, 262, 2);
    b.AddShort(ifd0, 277, 3);
    b.AddLong(ifd0, 278, static_cast<uint32_t>(s.thumbHeight));
    b.AddBlockOffsets(ifd0, 273, {thumbBlock});
    b.AddBlockSizes(ifd0, 279, {thumbBlock});
  }
  b.AddRaw(exif, 37500, 7, note.size(), note);
  if (noteBlock >= 0) b.OverrideLastValueField(exif, b.BlockOffset(noteBlock));
  for (int sub : subs) {
    if (sub == rawIfd) continue;
    b.AddShort(sub, 254, 1);
  }
  if (previewAt >= 0 && previewBlock >= 0) {
    const int sub = subs[static_cast<size_t>(previewAt)];
    b.AddBlockOffsets(sub, 513, {previewBlock});
    b.AddLong(sub, 514, static_cast<uint32_t>(s.previewJpeg.size() - static_cast<size_t>(s.previewCut)));
  }
  b.AddLong(rawIfd, 254, 0);
  b.AddLong(rawIfd, 256, static_cast<uint32_t>(w));
  b.AddLong(rawIfd, 257, static_cast<uint32_t>(h));
  b.AddShort(rawIfd, 258, static_cast<uint16_t>(bits));
  b.AddShort(rawIfd, 259, s.coding == 0 ? 1 : 34713);
  b.AddShort(rawIfd, 262, 32803);
  b.AddShort(rawIfd, 277, 1);
  b.AddLong(rawIfd, 278, static_cast<uint32_t>(h));
  b.AddBlockOffsets(rawIfd, 273, {stripBlock});
  b.AddBlockSizes(rawIfd, 279, {stripBlock});
  b.AddShorts(rawIfd, 33421, {2, 2});
  b.AddBytes(rawIfd, 33422, 1, s.pattern);
  // The SubIFD list, in the order of the IFDs added.
  if (!s.v1Note) b.AddLongs(ifd0, 330, subOffsets);
  return b;
}

// Two passes: the offsets do not change the sizes, so the first pass finds
// where the SubIFDs land and the second writes them.
inline std::vector<uint8_t> MakeNef(const sNefSpec& s, std::vector<uint16_t>& frame) {
  std::vector<int> subs;
  cTiffBuilder first = BuildNef(s, frame, std::vector<uint32_t>(static_cast<size_t>(s.subIfds), 0), subs);
  std::vector<uint32_t> offs;
  for (int sub : subs) offs.push_back(static_cast<uint32_t>(first.IfdOffset(sub)));
  return BuildNef(s, frame, offs, subs).Build();
}

}  // namespace rawtest
