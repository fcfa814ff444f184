// See pict_tiff.h. The strip and tile loops, decompression, PackBits and the
// horizontal predictor.
#include <algorithm>
#include <cstring>
#include <new>

#include "base/decompress.h"
#include "base/memio.h"
#include "picture/pict_area.h"
#include "picture/pict_jpeg.h"
#include "picture/pict_tiff.h"

namespace {

constexpr int64_t kMaxBlock = 0x7FFFFFFF;

// FillOrder 2 stores each byte's bits least significant first. The CCITT
// decoders read such bytes themselves; every other compression sees the
// bytes turned back to the usual order (libtiff does the same), where they
// would otherwise decode to other values without any error.
void ReverseBits(uint8_t* data, int64_t count) {
  static const auto kTable = [] {
    struct sTable {
      uint8_t v[256];
    } t{};
    for (int i = 0; i < 256; ++i) {
      uint8_t r = 0;
      for (int b = 0; b < 8; ++b) r = static_cast<uint8_t>(r | (((i >> b) & 1) << (7 - b)));
      t.v[i] = r;
    }
    return t;
  }();
  for (int64_t i = 0; i < count; ++i) data[i] = kTable.v[data[i]];
}

bool ReadBlock(cFileIOTarget* stream, uint64_t offset, int64_t count, _typebuf<uint8_t>& buffer) {
  if (count < 0 || count > kMaxBlock) return false;
  if (buffer.count < count) {
    buffer.Reset();
    buffer.Reallocate(static_cast<int32_t>(count));
    if (buffer.count < count) return false;
  }
  if (count == 0) return true;
  return stream->Seek(offset) && stream->ReadExact(buffer.data, static_cast<uint32_t>(count));
}

// Runs a whole-buffer decompressor from input into sd.data, at most cap
// bytes; what it says is not asked: a short output fails the size check of
// the loop.
void RunDecompressor(cDecompress& d, const uint8_t* input, int32_t count, int64_t cap, sTiffStripData& sd) {
  _typebuf<char> in(count), out;
  if (count > 0) std::memcpy(in.data, input, static_cast<size_t>(count));
  d.Decompress(in, out, static_cast<int32_t>(std::min<int64_t>(cap, kMaxBlock)));
  sd.data.Reset();
  if (out.count > 0) {
    sd.data.Reallocate(out.count);
    std::memcpy(sd.data.data, out.data, static_cast<size_t>(out.count));
  }
}

}  // namespace

bool cPictTIFF::UnpackPackBits(_typebuf<uint8_t>& output, const uint8_t* input, int32_t count) {
  output.Reset();
  int64_t total = 0;
  for (int32_t i = 0; i < count;) {
    const uint8_t n = input[i++];
    if (n < 128) {
      total += n + 1;
      i += n + 1;
    } else if (n > 128) {
      total += 257 - n;
      ++i;
    }
  }
  if (total == 0 || total > kMaxBlock) return false;
  output.Reallocate(static_cast<int32_t>(total));
  std::memset(output.data, 0, static_cast<size_t>(total));
  int64_t o = 0;
  for (int32_t i = 0; i < count;) {
    const uint8_t n = input[i++];
    if (n < 128) {
      const int32_t len = n + 1;
      if (count - i < len || total - o < len) return false;
      std::memcpy(output.data + o, input + i, static_cast<size_t>(len));
      i += len;
      o += len;
    } else if (n > 128) {
      const int32_t len = 257 - n;
      if (i >= count || total - o < len) return false;
      std::memset(output.data + o, input[i++], static_cast<size_t>(len));
      o += len;
    }
  }
  return true;
}

bool cPictTIFF::UndoHorizontalPredictor(uint8_t* data, int32_t width, int32_t spp, int32_t bits, int64_t size,
                                        bool bigEndian) {
  if (bits < 1 || bits > 32 || width <= 0 || spp <= 0 || data == nullptr) return false;
  int64_t rowBytes = 0;
  if (!pict_area::CheckedRowBytes(width, spp, bits, rowBytes)) return false;
  const int64_t rows = size / rowBytes;
  const int64_t samples = static_cast<int64_t>(width) * spp;
  for (int64_t r = 0; r < rows; ++r) {
    uint8_t* row = data + r * rowBytes;
    if (bits == 8) {
      for (int64_t i = spp; i < rowBytes; ++i) row[i] = static_cast<uint8_t>(row[i] + row[i - spp]);
    } else if (bits == 16) {
      const int32_t hi = bigEndian ? 0 : 1, lo = 1 - hi;
      for (int64_t i = spp; i < samples; ++i) {
        uint8_t* p = row + 2 * i;
        const uint8_t* q = row + 2 * (i - spp);
        const uint32_t v = ((p[hi] << 8 | p[lo]) + (q[hi] << 8 | q[lo])) & 0xFFFF;
        p[hi] = static_cast<uint8_t>(v >> 8);
        p[lo] = static_cast<uint8_t>(v);
      }
    } else if (bits == 32) {
      for (int64_t i = spp; i < samples; ++i) {
        uint8_t* p = row + 4 * i;
        const uint8_t* q = row + 4 * (i - spp);
        uint32_t a = 0, b = 0;
        for (int k = 0; k < 4; ++k) {
          const int idx = bigEndian ? k : 3 - k;
          a = a << 8 | p[idx];
          b = b << 8 | q[idx];
        }
        a += b;
        for (int k = 0; k < 4; ++k) p[bigEndian ? 3 - k : k] = static_cast<uint8_t>(a >> (8 * k));
      }
    } else {
      // Any other width: samples packed most significant bit first (wider
      // than 8 bits they read the same in either byte order, which TIFF only
      // defines for 16 and 32 bits).
      const uint64_t mask = (uint64_t{1} << bits) - 1;
      for (int64_t i = spp; i < samples; ++i) {
        const int64_t bit = i * bits;
        const uint64_t prev = GetSampleBits(bits, row, bit - static_cast<int64_t>(spp) * bits);
        const uint64_t cur = GetSampleBits(bits, row, bit);
        const uint64_t v = (cur + prev) & mask;
        for (int32_t k = 0; k < bits; ++k) {
          const int64_t b = bit + k;
          const uint8_t m = static_cast<uint8_t>(0x80u >> (b & 7));
          if ((v >> (bits - 1 - k)) & 1) row[b >> 3] |= m;
          else row[b >> 3] &= static_cast<uint8_t>(~m);
        }
      }
    }
  }
  return true;
}

namespace {

// Whether the JPEG stream defines a quantisation table before its first
// scan. Strips written against shared JPEGTables carry none; the JPEG
// decoder would fill in default Huffman tables and decode them to noise.
bool HasOwnQuantTables(const uint8_t* p, int32_t n) {
  if (n < 4 || p[0] != 0xFF || p[1] != 0xD8) return false;
  int64_t i = 2;
  while (i + 4 <= n) {
    if (p[i] != 0xFF) return false;
    const uint8_t m = p[i + 1];
    if (m == 0xFF) {
      ++i;
      continue;
    }
    if (m == 0xDB) return true;
    if (m == 0xDA || m == 0xD9) return false;
    i += 2 + (static_cast<int64_t>(p[i + 2]) << 8 | p[i + 3]);
  }
  return false;
}

}  // namespace

bool cPictTIFF::DecodeJpegStrip(const uint8_t* input, int32_t count, sTiffStripData& sd) {
  if (!HasOwnQuantTables(input, count)) return false;
  cPictJPEG jpeg;
  jpeg.SetDecodeThumbnails(false);
  cBufWrapperIO io(input, static_cast<uint32_t>(count));
  if (!cPictJPEG::PlausibleEmbeddedSize(&io, static_cast<uint64_t>(count))) return false;
  if (!jpeg.Load(&io) || !jpeg.HasPixels()) return false;
  const int32_t jw = jpeg.GetWidth(), jh = jpeg.GetHeight();
  // A JPEG narrower than the page or tile would leave the writers reading
  // past its rows.
  if (jw < GetWidth()) return false;
  const int32_t rows = std::min(jh, sd.rows);
  const bool deep = jpeg.IsHighDepth();
  int64_t n = 0;
  if (!pict_area::CheckedArea(jw, rows, deep ? 6 : 3, n)) return false;
  sd.data.Reset();
  sd.data.Reallocate(static_cast<int32_t>(n));
  const int32_t bpr = jw * (deep ? 6 : 3);
  for (int32_t r = 0; r < rows; ++r) {
    uint8_t* out = sd.data.data + static_cast<int64_t>(r) * bpr;
    const int64_t src = static_cast<int64_t>(jh - 1 - r) * jw;
    if (deep) {
      const uint64_t* p = jpeg.Pixels64().data + src;
      for (int32_t x = 0; x < jw; ++x) {
        const uint16_t c[3] = {static_cast<uint16_t>(p[x] >> 32), static_cast<uint16_t>(p[x] >> 16),
                               static_cast<uint16_t>(p[x])};
        std::memcpy(out + 6 * x, c, 6);
      }
    } else {
      const uint32_t* p = jpeg.Pixels32().data + src;
      for (int32_t x = 0; x < jw; ++x) {
        out[3 * x] = static_cast<uint8_t>(p[x] >> 16);
        out[3 * x + 1] = static_cast<uint8_t>(p[x] >> 8);
        out[3 * x + 2] = static_cast<uint8_t>(p[x]);
      }
    }
  }
  sd.bytesPerRow = bpr;
  sd.bitsPerSample = deep ? 16 : 8;
  sd.samplesPerPixel = 3;
  sd.rows = rows;
  sd.planar = 1;
  sd.photometric = 2;
  sd.sampleFormat = 1;
  // 16-bit samples were stored in host order, which is little-endian.
  sd.bigEndian = false;
  return true;
}

bool cPictTIFF::Decompress(const uint8_t* input, int32_t count, int32_t compression, sTiffStripData& sd) {
  const int64_t expected = static_cast<int64_t>(sd.rows) * sd.bytesPerRow;
  switch (compression) {
    case 1:
      // Strips are mostly of one size: the record's buffer is kept then.
      if (sd.data.count != count) sd.data.Reallocate(count);
      if (count > 0) std::memcpy(sd.data.data, input, static_cast<size_t>(count));
      return true;
    case 3: return DecodeFaxT4(input, count, sd);
    case 4: return DecodeFaxT6(input, count, sd);
    case 5: {
      cLZWDecompress lzw(9, true, true);
      RunDecompressor(lzw, input, count, expected, sd);
      return true;
    }
    case 6:
    case 7:
    case 34892: return DecodeJpegStrip(input, count, sd);
    case 8:
    case 32946: {
      cZDecompress z;
      RunDecompressor(z, input, count, expected, sd);
      return true;
    }
    case 32773:
      if (count == 0) {
        sd.data.Reset();
        return true;
      }
      UnpackPackBits(sd.data, input, count);
      return true;
    default: return false;
  }
}

bool cPictTIFF::PrepareBuffers(bool deep, bool /*clear*/) {
  SetHighDepth(deep);
  if (streaming_ || ownStripBuffers_) return true;
  const int32_t w = GetWidth(), h = GetHeight();
  const int64_t n = static_cast<int64_t>(w) * h;
  // The first strip of a decode takes (and clears) the buffer of its
  // depth; the other depth's buffer goes.
  const bool first = keepBuffers_;
  keepBuffers_ = false;
  if (deep) {
    if (Pixels64().count == n && !first) return true;
    if (first) Pixels32().Reset();
    if (Pixels64().count != n && !AllocatePixels64(w, h)) return false;
    std::memset(Pixels64().data, 0, static_cast<size_t>(n) * 8);
  } else {
    if (Pixels32().count == n && !first) return true;
    if (first) Pixels64().Reset();
    if (Pixels32().count != n && !AllocatePixels32(w, h)) return false;
    std::memset(Pixels32().data, 0, static_cast<size_t>(n) * 4);
  }
  return true;
}

bool cPictTIFF::WriteStrip(int32_t y, int32_t plane, sTiffStripData& sd) {
  if (photometric_ == 3) {
    if (!PrepareBuffers(false, false)) return false;
    return PutPaletteRows(y, sd);
  }
  const bool deep = sd.bitsPerSample > 8;
  if (!PrepareBuffers(deep, planar_ == 2)) return false;
  switch (planar_) {
    case 0:
    case 1: return deep ? PutRows16(y, sd) : PutRows8(y, sd);
    case 2:
      if (plane >= samplesPerPixel_) return true;  // later planes are read and dropped
      return deep ? PutPlanarRows16(y, plane, sd) : PutPlanarRows8(y, plane, sd);
    default: return false;
  }
}

// The buffers of an earlier decode are kept when the new page needs the same
// number of pixels (PrepareBuffers clears them): freeing and allocating them
// again costs a fault on every page of memory.
bool cPictTIFF::DecodeStrips(cFileIOTarget* stream) {
  if (stripOffsets_.count == 0 || stream == nullptr) return false;
  keepBuffers_ = true;
  cPictPropInt* cp = FindIntProp(20);
  const int32_t compression = cp != nullptr ? cp->value : 0;
  cPictPropInt* wp = FindIntProp(18);
  cPictPropInt* hp = FindIntProp(19);
  if (wp == nullptr || hp == nullptr) return false;
  const int32_t width = wp->value, height = hp->value;
  // Predictors other than horizontal differencing (3, floating point) are
  // not undone: decoding such data would show noise as a success.
  if (predictor_ > 2) return false;
  int64_t area = 0, bpr = 0;
  if (!pict_area::CheckedArea(width, height, 1, area)) return false;
  const int32_t spp = samplesPerPixel_;
  if (!pict_area::CheckedRowBytes(width, planar_ == 2 ? 1 : spp, bitsPerSample_, bpr)) return false;
  SetSize(width, height);
  const int32_t strips = stripOffsets_.count;
  // RowsPerStrip is unsigned: the default 2^32 - 1, and anything above the
  // height, means one strip holds the whole picture.
  int64_t rps = rowsPerStrip_;
  if (rps == 0) rps = (static_cast<int64_t>(height) + strips - 1) / strips;
  if (rps > height) rps = height;
  if (!BeginStrips(strips > 1)) return false;
  sPictCanvas* canvas = GetAttachedCanvas();
  streaming_ = false;
  if (canvas != nullptr && planar_ != 2) streaming_ = BeginCanvasOutput();
  if (streaming_ || Pixels32().count != area) Pixels32().Reset();
  if (streaming_ || Pixels64().count != area) Pixels64().Reset();
  const uint64_t streamSize = stream->GetSize();
  int64_t remaining = height, y = 0;
  int32_t plane = 0;
  sTiffStripData sd;
  for (int32_t i = 0; i < strips; ++i) {
    if (remaining == 0) return false;
    const int32_t rows = static_cast<int32_t>(std::min(rps, remaining));
    const int32_t r0 = BufferRow(static_cast<int32_t>(y)), r1 = BufferRow(static_cast<int32_t>(y) + rows - 1);
    if (streaming_ && !IsInsideClip(0, std::min(r0, r1), std::max(r0, r1))) {
      // Outside the visible rows: neither read nor decoded.
      remaining -= rows;
      y += rows;
      continue;
    }
    int64_t count;
    if (stripByteCounts_.count > 0) count = stripByteCounts_.data[i];
    else if (i == 0 && compression == 1) count = bpr * rps;
    else return false;
    const uint64_t offset = stripOffsets_.data[i];
    if (offset + static_cast<uint64_t>(count) > streamSize) {
      if (offset >= streamSize || compression == 1) return false;
      count = static_cast<int64_t>(streamSize - offset);
    }
    if (!ReadBlock(stream, offset, count, input_)) return false;
    if (fillOrder_ == 2 && compression != 3 && compression != 4) ReverseBits(input_.data, count);
    sd.bytesPerRow = static_cast<int32_t>(std::min<int64_t>(bpr, kMaxBlock));
    sd.bitsPerSample = bitsPerSample_;
    sd.samplesPerPixel = spp;
    sd.rows = rows;
    sd.planar = planar_ == 0 ? 1 : planar_;
    sd.photometric = photometric_;
    sd.sampleFormat = sampleFormat_;
    sd.bigEndian = IsBigEndian();
    if (!Decompress(input_.data, static_cast<int32_t>(count), compression, sd)) return false;
    if (static_cast<int64_t>(sd.data.count) < static_cast<int64_t>(sd.rows) * sd.bytesPerRow || sd.bitsPerSample == 0)
      return false;
    if (predictor_ == 2 && compression != 6 && compression != 7 && compression != 34892)
      UndoHorizontalPredictor(sd.data.data, width, planar_ == 2 ? 1 : spp, sd.bitsPerSample, sd.data.count,
                              sd.bigEndian);
    if (!WriteStrip(static_cast<int32_t>(y), plane, sd)) return false;
    y += rows;
    remaining -= rows;
    if (planar_ == 2 && remaining == 0) {
      ++plane;
      remaining = height;
      y = 0;
    }
  }
  if (planar_ == 2 && photometric_ != 2 && photometric_ != 34892 && !FinishPlanes()) return false;
  if (canvas != nullptr && !streaming_) {
    // Planar pages are merged in the pixel buffers and drawn afterwards.
    if (!RenderPictureToCanvas(canvas, this)) return false;
    DetachCanvas();
  }
  return EndStrips();
}

bool cPictTIFF::DecodeTiles(cFileIOTarget* stream) {
  if (stream == nullptr) return false;
  Pixels32().Reset();
  Pixels64().Reset();
  cPictPropInt* cp = FindIntProp(20);
  const int32_t compression = cp != nullptr ? cp->value : 0;
  cPictPropInt* wp = FindIntProp(18);
  cPictPropInt* hp = FindIntProp(19);
  if (wp == nullptr || hp == nullptr) return false;
  const int32_t width = wp->value, height = hp->value;
  if (predictor_ > 2) return false;
  int64_t area = 0, tileArea = 0, bpr = 0;
  if (!pict_area::CheckedArea(width, height, 1, area)) return false;
  if (!BeginTiles() || tileWidth_ <= 0 || tileLength_ <= 0) return false;
  if (!pict_area::CheckedArea(tileWidth_, tileLength_, 1, tileArea)) return false;
  const int32_t spp = samplesPerPixel_;
  if (!pict_area::CheckedRowBytes(tileWidth_, planar_ == 2 ? 1 : spp, bitsPerSample_, bpr)) return false;
  if (tileOffsets_.count == 0) return false;
  if (tileByteCounts_.count != tileOffsets_.count && !(tileByteCounts_.count == 0 && tileOffsets_.count == 1))
    return false;
  sPictCanvas* canvas = GetAttachedCanvas();
  streaming_ = false;
  const uint64_t streamSize = stream->GetSize();
  _typebuf<uint32_t> full32;
  _typebuf<uint64_t> full64;
  bool deep = false, haveFull = false;
  SetSize(tileWidth_, tileLength_);
  keepBuffers_ = false;
  bool ok = true;
  int32_t tx = 0, ty = 0, plane = 0;
  sTiffStripData sd;
  for (int32_t j = 0; j < tileOffsets_.count && ok; ++j) {
    if (ty >= height) {
      ok = false;
      break;
    }
    const int32_t rows = std::min(tileLength_, height - ty);
    int64_t count;
    if (tileByteCounts_.count > 0) count = tileByteCounts_.data[j];
    else if (j == 0 && compression == 1) count = bpr * tileLength_;
    else {
      ok = false;
      break;
    }
    const uint64_t offset = tileOffsets_.data[j];
    // Counts past the end are refused before anything is allocated for them.
    if (offset > streamSize || static_cast<uint64_t>(count) > streamSize - offset ||
        !ReadBlock(stream, offset, count, input_)) {
      ok = false;
      break;
    }
    if (fillOrder_ == 2 && compression != 3 && compression != 4) ReverseBits(input_.data, count);
    sd.bytesPerRow = static_cast<int32_t>(std::min<int64_t>(bpr, kMaxBlock));
    sd.bitsPerSample = bitsPerSample_;
    sd.samplesPerPixel = spp;
    sd.rows = rows;
    sd.planar = planar_ == 0 ? 1 : planar_;
    sd.photometric = photometric_;
    sd.sampleFormat = sampleFormat_;
    sd.bigEndian = IsBigEndian();
    if (!Decompress(input_.data, static_cast<int32_t>(count), compression, sd) ||
        static_cast<int64_t>(sd.data.count) < static_cast<int64_t>(sd.rows) * sd.bytesPerRow || sd.bitsPerSample == 0) {
      ok = false;
      break;
    }
    if (predictor_ == 2 && compression != 6 && compression != 7 && compression != 34892)
      UndoHorizontalPredictor(sd.data.data, tileWidth_, planar_ == 2 ? 1 : spp, sd.bitsPerSample, sd.data.count,
                              sd.bigEndian);
    const bool tileDeep = photometric_ != 3 && sd.bitsPerSample > 8;
    if (!haveFull) {
      deep = tileDeep;
      haveFull = true;
      if (deep) {
        full64.Reallocate(static_cast<int32_t>(area));
        std::memset(full64.data, 0, static_cast<size_t>(area) * 8);
      } else {
        full32.Reallocate(static_cast<int32_t>(area));
        std::memset(full32.data, 0, static_cast<size_t>(area) * 4);
      }
    }
    if (tileDeep != deep) {
      ok = false;
      break;
    }
    if (!PrepareBuffers(deep, false)) {
      ok = false;
      break;
    }
    if (planar_ == 2) {
      // Each plane is written into a clean tile and merged below.
      if (deep) std::memset(Pixels64().data, 0, static_cast<size_t>(tileArea) * 8);
      else std::memset(Pixels32().data, 0, static_cast<size_t>(tileArea) * 4);
    }
    if (!WriteStrip(0, plane, sd)) {
      ok = false;
      break;
    }
    const int32_t columns = std::min(tileWidth_, width - tx);
    // The plane's channel, plus the alpha its writer made opaque (planes 0
    // to 2) or the alpha it carries (plane 3 and later, which replace it).
    uint64_t mask = ~uint64_t{0};
    bool replaceAlpha = false;
    if (planar_ == 2) {
      const int shift = plane == 0 ? 2 : plane == 1 ? 1 : plane == 2 ? 0 : 3;
      const int bitsPer = deep ? 16 : 8;
      const uint64_t channel = ((uint64_t{1} << bitsPer) - 1) << (bitsPer * shift);
      const uint64_t alpha = ((uint64_t{1} << bitsPer) - 1) << (bitsPer * 3);
      mask = channel | alpha;
      replaceAlpha = shift == 3;
    }
    for (int32_t k = 0; k < rows; ++k) {
      const int64_t src = static_cast<int64_t>(bottomUp_ ? tileLength_ - 1 - k : k) * tileWidth_;
      const int32_t pr = ty + k;
      const int64_t dst = static_cast<int64_t>(bottomUp_ ? height - 1 - pr : pr) * width + tx;
      for (int32_t x = 0; x < columns; ++x) {
        if (deep) {
          const uint64_t v = Pixels64().data[src + x];
          uint64_t& d = full64.data[dst + x];
          if (planar_ != 2) d = v;
          else if (replaceAlpha) d = (d & ~mask) | (v & mask);
          else d |= v & mask;
        } else {
          const uint32_t v = Pixels32().data[src + x];
          uint32_t& d = full32.data[dst + x];
          const uint32_t m = static_cast<uint32_t>(mask);
          if (planar_ != 2) d = v;
          else if (replaceAlpha) d = (d & ~m) | (v & m);
          else d |= v & m;
        }
      }
    }
    tx += tileWidth_;
    if (tx >= width) {
      tx = 0;
      ty += rows;
      if (ty >= height && planar_ == 2) {
        ty = 0;
        ++plane;
      }
    }
  }
  SetSize(width, height);
  if (haveFull) {
    Pixels32() = std::move(full32);
    Pixels64() = std::move(full64);
    SetHighDepth(deep);
  } else {
    Pixels32().Reset();
    Pixels64().Reset();
  }
  if (!ok) return false;
  if (planar_ == 2 && photometric_ != 2 && photometric_ != 34892 && !FinishPlanes()) return false;
  if (canvas != nullptr) {
    // Tiles are assembled in the pixel buffers and drawn afterwards.
    if (!RenderPictureToCanvas(canvas, this)) return false;
    DetachCanvas();
  }
  return EndTiles();
}
