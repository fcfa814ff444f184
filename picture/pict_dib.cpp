// See pict_dib.h.
#include "picture/pict_dib.h"

#include <cstring>

#include "base/memio.h"
#include "picture/pict_factory.h"
#include "picture/pict_png.h"
#include "picture/pict_read.h"

namespace {

using pict_read::Le16;
using pict_read::Le32;
using pict_read::cByteReader;

constexpr uint32_t kRgb2 = 0x32424752u;  // "RGB2"
constexpr uint32_t kRle4 = 0x34454C52u;  // "RLE4"
constexpr uint32_t kRle8 = 0x38454C52u;  // "RLE8"

constexpr uint32_t kDefault16[16] = {0x000000, 0x0000AA, 0x00AA00, 0x00AAAA, 0xAA0000, 0xAA00AA,
                                     0xAA5500, 0xAAAAAA, 0x555555, 0x5555FF, 0x55FF55, 0x55FFFF,
                                     0xFF5555, 0xFF55FF, 0xFFFF55, 0xFFFFFF};

uint32_t LowestSetBit(uint32_t v) {
  if (v == 0) return 32;
  uint32_t n = 0;
  while ((v & 1) == 0) {
    v >>= 1;
    ++n;
  }
  return n;
}

int CountBits64(uint64_t v) {
  int n = 0;
  for (; v != 0; v &= v - 1) ++n;
  return n;
}

// One channel out of a bit field: scaled to 0..255, or taken as it is.
struct sField {
  uint32_t mask = 0;
  uint32_t shift = 32;
  float factor = 0.0f;
  void Set(uint32_t m) {
    mask = m;
    shift = LowestSetBit(m);
    factor = m == 0 ? 0.0f : static_cast<float>(255.0 / static_cast<double>(m >> shift));
  }
  uint32_t Scaled(uint32_t v) const {
    if (mask == 0) return 0;
    // The factor is a float; the product is taken in double, so that a
    // 5-bit 31 gives 254.
    const double c = static_cast<double>((v & mask) >> shift) * static_cast<double>(factor);
    return c >= 255.0 ? 255u : static_cast<uint32_t>(c);
  }
  uint32_t Plain(uint32_t v) const { return mask == 0 ? 0 : ((v & mask) >> shift) & 0xFF; }
};

bool Skip(cFileIOTarget* stream, uint64_t count) {
  uint8_t buf[4096];
  while (count > 0) {
    const uint32_t n = count > sizeof buf ? static_cast<uint32_t>(sizeof buf) : static_cast<uint32_t>(count);
    if (!stream->ReadExact(buf, n)) return false;
    count -= n;
  }
  return true;
}

bool ReadBmpFileHeader(cFileIOTarget* stream, uint32_t& fileSize, uint32_t& dataOffset) {
  uint8_t h[14];
  if (stream == nullptr || !stream->ReadExact(h, 14)) return false;
  fileSize = Le32(h + 2);
  dataOffset = Le32(h + 10);
  return h[0] == 'B' && h[1] == 'M' && Le32(h + 6) == 0 && dataOffset >= 54 && fileSize >= dataOffset;
}

}  // namespace

uint32_t cPictDIB::Field(uint32_t at) const { return Le32(header_ + at); }

uint32_t cPictDIB::Compression() const {
  const uint32_t c = Field(16);
  if (c == kRgb2) return 0;
  if (c == kRle8) return 1;
  if (c == kRle4) return 2;
  return c;
}

bool cPictDIB::ReadDIBHeader(cFileIOTarget* stream, sPictInfo* info, bool halve) {
  std::memset(header_, 0, sizeof header_);
  if (stream == nullptr || !stream->ReadExact(header_, 4)) return false;
  headerSize_ = Field(0);
  int64_t width, height;
  if (headerSize_ == 12) {
    uint8_t core[8];
    if (!stream->ReadExact(core, 8)) return false;
    width = Le16(core);
    height = Le16(core + 2);
    const uint32_t w = Le16(core), h = Le16(core + 2);
    for (int i = 0; i < 4; ++i) {
      header_[4 + i] = static_cast<uint8_t>(w >> (8 * i));
      header_[8 + i] = static_cast<uint8_t>(h >> (8 * i));
    }
    header_[12] = core[4];
    header_[13] = core[5];
    header_[14] = core[6];
    header_[15] = core[7];
  } else if (headerSize_ >= 40 && headerSize_ <= 124) {
    if (!stream->ReadExact(header_ + 4, headerSize_ - 4)) return false;
    width = static_cast<int32_t>(Field(4));
    height = static_cast<int32_t>(Field(8));
  } else {
    return false;
  }
  if (width < 1 || width > 65536 || height == 0 || height > 65536 || height < -65536) return false;
  if (Le16(header_ + 12) != 1) return false;
  const uint32_t bits = Le16(header_ + 14);
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
  const uint32_t c = Compression();
  if (c > 6) return false;
  int64_t shown = height < 0 ? -height : height;
  if (halve && c != 4 && c != 5) shown /= 2;
  if (info != nullptr) {
    info->width = static_cast<int32_t>(width);
    info->height = static_cast<int32_t>(shown);
    info->hasPreview = false;
  }
  SetSize(static_cast<int32_t>(width), static_cast<int32_t>(shown));
  return true;
}

bool cPictDIB::ReadInfo(cFileIOTarget* stream, sPictInfo* info) {
  try {
    return ReadDIBHeader(stream, info, false);
  } catch (...) {
    return false;
  }
}

bool cPictDIB::Detect(cFileIOTarget* stream, sPictInfo* info) {
  cPictDIB probe;
  return probe.ReadInfo(stream, info);
}

bool cPictDIB::Load(cFileIOTarget* stream) {
  haveFileHeader_ = false;
  readPosition_ = 0;
  endLimit_ = 0;
  bitsOffset_ = 0;
  return LoadDib(stream);
}

bool cPictDIB::LoadDib(cFileIOTarget* stream) {
  bool ok = false;
  streaming_ = false;
  try {
    ok = LoadInner(stream);
  } catch (...) {
    ok = false;
  }
  if (GetAttachedCanvas() != nullptr) {
    if (streaming_)
      EndCanvasOutput();
    else
      DetachCanvas();
  }
  return ok;
}

bool cPictDIB::ReadPalette(cFileIOTarget* stream, uint64_t& position) {
  const uint32_t bits = Le16(header_ + 14);
  if (bits > 8) return true;
  const uint64_t entry = headerSize_ == 12 ? 3 : 4;
  const uint64_t most = uint64_t{1} << bits;
  uint64_t n = Field(32);
  if (n == 0 || n > most) n = most;  // as Windows does: never more than the bits can index
  if (bitsOffset_ < position) return false;
  const bool room = bitsOffset_ > position;
  auto read = [&](uint64_t count, uint64_t keep) {
    _typebuf<uint8_t> raw(static_cast<int32_t>(count * entry));
    if (!stream->ReadExact(raw.data, static_cast<uint32_t>(count * entry))) return false;
    position += count * entry;
    palette_.Reallocate(static_cast<int32_t>(keep));
    for (uint64_t i = 0; i < keep; ++i) {
      if (i >= count) {
        palette_.data[i] = 0xFF000000u;
        continue;
      }
      const uint8_t* p = raw.data + i * entry;
      uint32_t c = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16;
      c |= entry == 3 ? 0xFF000000u : static_cast<uint32_t>(p[3]) << 24;
      palette_.data[i] = c;
    }
    return true;
  };
  auto moveLimits = [&](uint64_t bytes) {
    if (uint64_t{bitsOffset_} + bytes > 0xFFFFFFFFu || uint64_t{endLimit_} + bytes > 0xFFFFFFFFu) return false;
    bitsOffset_ += static_cast<uint32_t>(bytes);
    endLimit_ += static_cast<uint32_t>(bytes);
    return true;
  };
  const uint64_t want = bits == 1 ? 2 : n;
  if (!room) {
    if (paletteAfterHeader_) {
      if (!read(n, bits == 1 ? 2 : n)) return false;
      return moveLimits(n * entry);
    }
    if (bits == 1) {
      palette_.Reallocate(2);
      palette_.data[0] = 0xFF000000u;
      palette_.data[1] = 0xFFFFFFFFu;
      return true;
    }
    if (bits == 4) {
      palette_.Reallocate(static_cast<int32_t>(n));
      for (uint64_t i = 0; i < n; ++i) palette_.data[i] = 0xFF000000u | kDefault16[i];
      return true;
    }
    return false;
  }
  if (bitsOffset_ - position < want * entry) return false;
  return read(want, want);
}

bool cPictDIB::LoadInner(cFileIOTarget* stream) {
  SetHighDepth(false);
  if (!ReadDIBHeader(stream, nullptr, false)) return false;
  if (!haveFileHeader_) {
    const uint64_t limit = Field(20) == 0 ? 0x7FFFFFFFu : uint64_t{Field(20)} + headerSize_;
    endLimit_ = limit > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(limit);
    bitsOffset_ = headerSize_;
  }
  // Pixel data that would start inside the header is refused.
  if (bitsOffset_ < headerSize_) return false;
  uint64_t position = headerSize_;
  if (!ReadPalette(stream, position)) return false;
  // The gap: its start lands in the header copy (masks after a short
  // header), the rest is skipped.
  if (position < 124 && position < bitsOffset_) {
    const uint64_t end = bitsOffset_ < 124 ? bitsOffset_ : 124;
    if (!stream->ReadExact(header_ + position, static_cast<uint32_t>(end - position))) return false;
    position = end;
  }
  if (position < bitsOffset_) {
    if (!Skip(stream, bitsOffset_ - position)) return false;
    position = bitsOffset_;
  }
  readPosition_ += static_cast<uint32_t>(position);
  const int32_t width = static_cast<int32_t>(Field(4));
  int32_t height = static_cast<int32_t>(Field(8));
  if (height < 0) height = -height;
  if (iconImage_) height /= 2;
  const uint32_t c = Compression();
  if (c == 4) return false;  // embedded JPEG: no JPEG decoder here
  if (c == 5) {
    const uint64_t start = readPosition_;
    cFileIOSubRange window(stream, start, Field(20));
    cPictPNG png;
    png.SetHeaderOnly(false);
    if (!png.ReadChunks(&window)) return false;
    SetSize(png.GetWidth(), png.GetHeight());
    if (BeginCanvasOutput()) {
      streaming_ = true;
      return RenderPictureToCanvas(GetAttachedCanvas(), &png);
    }
    _typebuf<uint32_t> pixels;
    if (!png.GetPixels32(pixels)) return false;
    if (!AllocatePixels32(png.GetWidth(), png.GetHeight())) return false;
    std::memcpy(Pixels32().data, pixels.data, static_cast<size_t>(pixels.count) * 4);
    return true;
  }
  if (height == 0) return false;
  SetSize(width, height);
  streaming_ = BeginCanvasOutput();
  if (c == 1 || c == 2) {
    if (iconImage_) return false;
    return DecodeRLE(stream, c == 2);
  }
  if (!DecodePixels(stream, c == 3 || c == 6)) return false;
  if (iconImage_ && Le16(header_ + 14) < 32) ApplyIconMask(stream);
  return true;
}

void cPictDIB::PutPixel(int32_t x, int32_t y, uint32_t pixel) {
  if (streaming_)
    PutCanvasPixel(x, y, pixel);
  else
    Pixels32().data[static_cast<size_t>(y) * GetWidth() + x] = pixel;
}

bool cPictDIB::DecodePixels(cFileIOTarget* stream, bool bitFields) {
  const int32_t width = GetWidth(), height = GetHeight();
  const bool topDown = static_cast<int32_t>(Field(8)) < 0;
  const uint32_t bits = Le16(header_ + 14);
  const uint64_t rowSize = (static_cast<uint64_t>(width) * bits + 31) / 32 * 4;
  const uint64_t total = rowSize * static_cast<uint64_t>(height);
  if (rowSize > endLimit_ || total > 0xFFFFFFFFu || total > endLimit_) return false;
  if (uint64_t{bitsOffset_} + total > endLimit_) return false;
  // The data cannot be longer than the stream: refuse before allocating.
  if (total > stream->GetSize()) return false;
  if (bits == 1 && palette_.count != 2) return false;
  if (!streaming_ && !AllocatePixels32(width, height)) return false;

  sField r, g, b, a;
  if (bits == 16 && !bitFields) {
    r.Set(0x7C00);
    g.Set(0x03E0);
    b.Set(0x001F);
    a.Set(0);
  } else {
    r.Set(Field(40));
    g.Set(Field(44));
    b.Set(Field(48));
    a.Set(Field(52));
  }
  const bool wideFields = bits >= 24 && bitFields;
  if (wideFields && r.mask == 0 && g.mask == 0 && b.mask == 0 && a.mask == 0 && !streaming_) return false;
  const bool plain8 = CountBits64(r.mask) == 8 && CountBits64(g.mask) == 8 && CountBits64(b.mask) == 8;
  const bool opaqueRule = bits == 32 && !bitFields && !iconImage_;
  bool anyAlpha = false;

  _typebuf<uint8_t> row(static_cast<int32_t>(rowSize));
  const uint64_t used = (static_cast<uint64_t>(width) * bits + 7) / 8;
  for (int32_t i = 0; i < height; ++i) {
    if (!stream->ReadExact(row.data, static_cast<uint32_t>(rowSize))) return false;
    if (bits == 16 || bits == 24)
      for (uint64_t k = used; k < rowSize; ++k)
        if (row.data[k] != 0) return false;
    const int32_t y = topDown ? height - 1 - i : i;
    const uint8_t* p = row.data;
    for (int32_t x = 0; x < width; ++x) {
      uint32_t px;
      if (bits <= 8) {
        uint32_t index;
        if (bits == 1)
          index = p[x >> 3] >> (7 - (x & 7)) & 1;
        else if (bits == 4)
          index = (x & 1) ? p[x >> 1] & 15 : p[x >> 1] >> 4;
        else
          index = p[x];
        if (index >= static_cast<uint32_t>(palette_.count)) return false;
        px = palette_.data[index] | 0xFF000000u;
      } else if (bits == 16) {
        const uint32_t v = Le16(p + 2 * x);
        px = b.Scaled(v) | g.Scaled(v) << 8 | r.Scaled(v) << 16 | (a.mask == 0 ? 255u : a.Scaled(v)) << 24;
      } else {
        const uint8_t* s = p + static_cast<size_t>(x) * (bits / 8);
        const uint32_t v = bits == 24 ? (s[0] | s[1] << 8 | s[2] << 16) : Le32(s);
        if (!bitFields) {
          px = bits == 24 ? 0xFF000000u | v : v;
        } else if (plain8) {
          px = b.Plain(v) | g.Plain(v) << 8 | r.Plain(v) << 16 | (a.mask == 0 ? 255u : a.Plain(v)) << 24;
        } else {
          px = b.Scaled(v) | g.Scaled(v) << 8 | r.Scaled(v) << 16 | (a.mask == 0 ? 255u : a.Scaled(v)) << 24;
        }
        if (bits == 24 && streaming_) px |= 0xFF000000u;
      }
      if (px >> 24 != 0) anyAlpha = true;
      PutPixel(x, y, px);
    }
  }
  // Most tools write 0 in the fourth byte: such pictures are opaque.
  if (opaqueRule && !anyAlpha) {
    for (int32_t y = 0; y < height; ++y)
      for (int32_t x = 0; x < width; ++x) {
        if (streaming_)
          PutCanvasChannel(x, y, 3, 0xFF);
        else
          Pixels32().data[static_cast<size_t>(y) * width + x] |= 0xFF000000u;
      }
  }
  return true;
}

bool cPictDIB::ApplyIconMask(cFileIOTarget* stream) {
  const int32_t width = GetWidth(), height = GetHeight();
  const uint64_t rowSize = (static_cast<uint64_t>(width) + 31) / 32 * 4;
  const uint64_t total = rowSize * static_cast<uint64_t>(height);
  if (total > stream->GetSize()) return false;
  _typebuf<uint8_t> mask(static_cast<int32_t>(total));
  if (stream->Read(mask.data, static_cast<uint32_t>(total)) != total) return false;
  if (streaming_) return true;
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) {
      const bool clear = mask.data[y * rowSize + (x >> 3)] >> (7 - (x & 7)) & 1;
      uint32_t& px = Pixels32().data[static_cast<size_t>(y) * width + x];
      px = clear ? px & 0x00FFFFFFu : px | 0xFF000000u;
    }
  return true;
}

void cPictDIB::PutIndexRow(const uint8_t* indexes, int32_t y) {
  const int32_t width = GetWidth();
  if (streaming_ && !IsInsideClip(0, y, y)) return;
  for (int32_t x = 0; x < width; ++x) {
    if (indexes[x] >= palette_.count) return;
    PutPixel(x, y, palette_.data[indexes[x]] | 0xFF000000u);
  }
}

bool cPictDIB::DecodeRLE(cFileIOTarget* stream, bool four) {
  const uint32_t bits = Le16(header_ + 14);
  if (bits != (four ? 4u : 8u)) return false;
  const int32_t width = GetWidth(), rows = GetHeight();
  const bool topDown = static_cast<int32_t>(Field(8)) < 0;
  // Pixels the codes never reach stay 0.
  if (!streaming_ && !CreateBlank(width, rows)) return false;
  _typebuf<uint8_t> line(width);
  std::memset(line.data, 0, static_cast<size_t>(width));
  cByteReader in(stream);
  int32_t done = 0, x = 0;
  auto rowY = [&]() { return topDown ? rows - 1 - done : done; };
  auto finishRow = [&]() {
    PutIndexRow(line.data, rowY());
    ++done;
    x = 0;
    std::memset(line.data, 0, static_cast<size_t>(width));
  };
  for (;;) {
    uint8_t n, v;
    if (!in.Next(n) || !in.Next(v)) return false;
    if (n > 0) {
      if (done >= rows) return false;
      if (!four) {
        if (n > width - x) return false;
        std::memset(line.data + x, v, n);
        x += n;
      } else {
        if (n > width - x + 1) return false;
        for (int32_t i = 0; i < n && x < width; ++i) line.data[x++] = (i & 1) ? v & 15 : v >> 4;
      }
      continue;
    }
    if (v == 0) {
      if (x != width || done >= rows) return false;
      finishRow();
    } else if (v == 1) {
      if (done != rows - 1 || x != width) return false;
      finishRow();
      return true;
    } else if (v == 2) {
      uint8_t dx, dy;
      if (!in.Next(dx) || !in.Next(dy)) return false;
      if (done + dy >= rows || dx > width - x) return false;
      x += dx;
      const int32_t keep = x;
      for (int32_t k = 0; k < dy; ++k) finishRow();
      x = keep;
    } else {
      if (v > width - x) return false;
      if (!four) {
        for (int32_t i = 0; i < v; ++i)
          if (!in.Next(line.data[x++])) return false;
        uint8_t filler;
        if ((v & 1) && !in.Next(filler)) return false;
      } else {
        const int32_t bytes = (v + 1) / 2;
        for (int32_t i = 0; i < bytes; ++i) {
          uint8_t pair;
          if (!in.Next(pair)) return false;
          line.data[x++] = pair >> 4;
          if (2 * i + 1 < v) line.data[x++] = pair & 15;
        }
        uint8_t filler;
        if ((bytes & 1) && !in.Next(filler)) return false;
      }
    }
  }
}

bool cPictBMP::ReadInfo(cFileIOTarget* stream, sPictInfo* info) {
  try {
    uint32_t fileSize, dataOffset;
    return ReadBmpFileHeader(stream, fileSize, dataOffset) && ReadDIBHeader(stream, info, false);
  } catch (...) {
    return false;
  }
}

bool cPictBMP::Detect(cFileIOTarget* stream, sPictInfo* info) {
  cPictBMP probe;
  return probe.ReadInfo(stream, info);
}

bool cPictBMP::Load(cFileIOTarget* stream) {
  uint32_t fileSize, dataOffset;
  try {
    if (!ReadBmpFileHeader(stream, fileSize, dataOffset)) {
      if (GetAttachedCanvas() != nullptr) DetachCanvas();
      return false;
    }
  } catch (...) {
    return false;
  }
  haveFileHeader_ = true;
  endLimit_ = fileSize - 14;
  bitsOffset_ = dataOffset - 14;
  readPosition_ = 14;
  return LoadDib(stream);
}
