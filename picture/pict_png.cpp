// See pict_png.h.
#include "picture/pict_png.h"

#include <zlib.h>

#include <cstring>
#include <new>
#include <vector>

namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
constexpr uint32_t kIHDR = 0x49484452;
constexpr uint32_t kPLTE = 0x504C5445;
constexpr uint32_t kTRNS = 0x74524E53;
constexpr uint32_t kIDAT = 0x49444154;
constexpr uint32_t kIEND = 0x49454E44;
// The PNG limit on chunk lengths.
constexpr uint32_t kMaxChunkLength = 0x7FFFFFFF;
// Image data is read and inflated in pieces of this size, so a chunk's
// declared length never decides an allocation.
constexpr uint32_t kPieceSize = 64 * 1024;
// The most bytes of another chunk that any handler looks at: a palette of
// 2^16 entries (the largest that the entry-count rule lets through).
constexpr uint32_t kKeepLimit = 3 * 65536;
// Rows are inflated in batches of about this many bytes: zlib's fast loop
// stops some 258 bytes before the end of every output buffer.
constexpr int32_t kBatchBytes = 64 * 1024;

struct sPass {
  int32_t x0, y0, dx, dy;
};
constexpr sPass kAdam7[7] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                             {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};

inline uint32_t Be32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
         static_cast<uint32_t>(p[2]) << 8 | p[3];
}
inline uint32_t Be16(const uint8_t* p) { return static_cast<uint32_t>(p[0]) << 8 | p[1]; }

inline int32_t PassColumns(const sPass& p, int32_t width) {
  return p.x0 >= width ? 0 : (width - p.x0 + p.dx - 1) / p.dx;
}

// Reads a chunk's count bytes, adding them to the CRC; the first
// min(count, kKeepLimit) stay in keep for the chunk's handler.
bool ReadChunkBody(cFileIOTarget* stream, uint32_t count, uint32_t& crc, std::vector<uint8_t>& keep,
                   std::vector<uint8_t>& piece) {
  uint32_t kept = count < kKeepLimit ? count : kKeepLimit;
  keep.resize(kept);
  if (kept > 0) {
    if (!stream->ReadExact(keep.data(), kept)) return false;
    crc = static_cast<uint32_t>(crc32(crc, keep.data(), kept));
  }
  uint32_t left = count - kept;
  while (left > 0) {
    const uint32_t n = left < kPieceSize ? left : kPieceSize;
    if (!stream->ReadExact(piece.data(), n)) return false;
    crc = static_cast<uint32_t>(crc32(crc, piece.data(), n));
    left -= n;
  }
  return true;
}

}  // namespace

bool cPictPNG::OverrideRow32(uint32_t*, int32_t) { return false; }
bool cPictPNG::OverrideRow64(uint64_t*, int32_t) { return false; }

bool cPictPNG::ReadInfo(cFileIOTarget* stream, sPictInfo* info) {
  headerOnly_ = true;
  if (!ReadChunks(stream) || header_.width == 0 || header_.height == 0) return false;
  if (info != nullptr) {
    info->width = static_cast<int32_t>(header_.width);
    info->height = static_cast<int32_t>(header_.height);
    info->hasPreview = false;
  }
  return true;
}

bool cPictPNG::Load(cFileIOTarget* stream) {
  headerOnly_ = false;
  return ReadChunks(stream);
}

bool cPictPNG::Detect(cFileIOTarget* stream, sPictInfo* info) {
  try {
    cPictPNG probe;
    return probe.ReadInfo(stream, info);
  } catch (...) {
    return false;
  }
}

bool cPictPNG::ReadChunks(cFileIOTarget* stream) {
  bool ok;
  try {
    ok = ReadChunksInner(stream);
  } catch (...) {
    ok = false;
  }
  if (streaming_) {
    EndCanvasOutput();
    streaming_ = false;
  }
  return ok;
}

int32_t cPictPNG::RowBytes(int32_t columns) const {
  const int64_t bits = static_cast<int64_t>(header_.bitDepth) * columns * samples_;
  const int64_t bytes = (bits + 7) / 8 + 1;
  return bytes > 0x7FFFFFFF ? -1 : static_cast<int32_t>(bytes);
}

bool cPictPNG::ReadChunksInner(cFileIOTarget* stream) {
  if (stream == nullptr || !stream->IsOpen()) return false;
  // A header-only read (ReadInfo, GetImageInfo) leaves a decoded picture as
  // it is.
  if (!headerOnly_) {
    ReleasePixels();
    SetHighDepth(false);
  }
  header_ = sHeader{};
  acceptedDepth_ = 0;
  colourKey_ = false;
  streaming_ = false;
  key32_ = 0xFFFFFFFFu;
  key64_ = ~uint64_t{0};
  currentRow_ = 0;
  palette_.Reset();
  previousRow_.Reset();
  thisRow_.Reset();
  filled_ = 0;
  rowSize_ = 0;
  started_ = false;
  imageDone_ = false;
  // The zlib stream is made on its first use and reused by later decodes.
  if (zUsed_ && !zlib_.Reset()) return false;
  currentPass_ = -1;

  uint8_t signature[8];
  if (!stream->ReadExact(signature, 8) || std::memcmp(signature, kSignature, 8) != 0) return false;

  std::vector<uint8_t> keep;
  std::vector<uint8_t> piece(kPieceSize);
  bool seenHeader = false;
  bool seenBody = false;  // PLTE, tRNS or IDAT: the header can no longer change
  for (;;) {
    uint8_t head[8];
    if (!stream->ReadExact(head, 8)) return false;
    const uint32_t length = Be32(head);
    const uint32_t type = Be32(head + 4);
    if (length > kMaxChunkLength) return false;
    uint32_t crc = static_cast<uint32_t>(crc32(0, head + 4, 4));
    if (type == kIDAT) {
      // Inflated piece by piece as it is read; its CRC is checked after.
      if (!seenHeader || length == 0) return false;
      seenBody = true;
      uint32_t left = length;
      while (left > 0) {
        const uint32_t n = left < kPieceSize ? left : kPieceSize;
        if (!stream->ReadExact(piece.data(), n)) return false;
        crc = static_cast<uint32_t>(crc32(crc, piece.data(), n));
        if (!AddImageData(piece.data(), static_cast<int32_t>(n))) return false;
        left -= n;
      }
    } else {
      if (!ReadChunkBody(stream, length, crc, keep, piece)) return false;
      switch (type) {
        case kIHDR:
          // Only as the first chunk that matters, and once.
          if (seenHeader || seenBody || length < 13 || !CheckHeader(keep.data())) return false;
          seenHeader = true;
          break;
        case kPLTE:
          if (!seenHeader || !ReadPalette(keep.data(), length)) return false;
          seenBody = true;
          break;
        case kTRNS:
          if (!seenHeader || !ReadTransparency(keep.data(), length)) return false;
          seenBody = true;
          break;
        case kIEND:
          if (!seenHeader || length != 0) return false;
          break;
        default:
          break;  // ancillary and unknown chunks are passed over
      }
    }
    uint8_t stored[4];
    if (!stream->ReadExact(stored, 4) || Be32(stored) != crc) return false;
    if (type == kIEND) {
      // A picture without image data still gets its (blank) pixels.
      if (!headerOnly_ && !started_ && !StartPicture()) return false;
      return true;
    }
    if (headerOnly_ && header_.width != 0) return true;
  }
}

bool cPictPNG::CheckHeader(const uint8_t* d) {
  sHeader h;
  h.width = Be32(d);
  h.height = Be32(d + 4);
  h.bitDepth = d[8];
  h.colourType = d[9];
  h.compression = d[10];
  h.filter = d[11];
  h.interlace = d[12];
  const uint8_t depth = h.bitDepth;
  int32_t samples;
  switch (h.colourType) {
    case 0:
      if (depth != 1 && depth != 2 && depth != 4 && depth != 8 && depth != 16) return false;
      samples = 1;
      break;
    case 2:
      if (depth != 8 && depth != 16) return false;
      samples = 3;
      break;
    case 3:
      if (depth != 1 && depth != 2 && depth != 4 && depth != 8) return false;
      samples = 1;
      break;
    case 4:
      if (depth != 8 && depth != 16) return false;
      samples = 2;
      break;
    case 6:
      if (depth != 8 && depth != 16) return false;
      samples = 4;
      break;
    default:
      return false;
  }
  if (h.width == 0 || h.height == 0) return false;
  if (h.interlace != 0 && h.interlace != 1 && h.interlace != 255) return false;
  // Sizes the buffers could not hold are refused here, before anything is
  // sized from them (64-bit products: 32-bit ones wrap).
  if (h.width > 0x7FFFFFFFu || h.height > 0x7FFFFFFFu) return false;
  if (static_cast<uint64_t>(h.width) * h.height >= static_cast<uint64_t>(kMaxPixelCount)) return false;
  header_ = h;
  samples_ = samples;
  if (RowBytes(static_cast<int32_t>(h.width)) < 0) {
    header_ = sHeader{};
    return false;
  }
  acceptedDepth_ = depth;
  unit_ = depth < 8 ? 1 : depth / 8 * samples;
  return true;
}

bool cPictPNG::ReadPalette(const uint8_t* d, uint32_t length) {
  if (length == 0 || length % 3 != 0) return false;
  const uint32_t entries = length / 3;
  if (entries > (1u << header_.bitDepth)) return false;
  palette_.Reallocate(static_cast<int32_t>(entries));
  for (uint32_t i = 0; i < entries; ++i) {
    const uint8_t* e = d + 3 * i;
    palette_.data[i] = 0xFF000000u | static_cast<uint32_t>(e[0]) << 16 | static_cast<uint32_t>(e[1]) << 8 | e[2];
  }
  return true;
}

bool cPictPNG::ReadTransparency(const uint8_t* d, uint32_t length) {
  const uint32_t depth = header_.bitDepth;
  switch (header_.colourType) {
    case 0: {
      if (length != 2) return false;
      const uint64_t v = Be16(d);
      if (depth == 16) {
        key64_ = v | v << 16 | v << 32;
      } else {
        if (v >= (1u << depth)) return false;
        const uint32_t g = static_cast<uint32_t>(v) * 255 / ((1u << depth) - 1);
        key32_ = g | g << 8 | g << 16;
      }
      colourKey_ = true;
      return true;
    }
    case 2: {
      if (length != 6) return false;
      const uint64_t r = Be16(d), g = Be16(d + 2), b = Be16(d + 4);
      if (depth == 16) {
        key64_ = b | g << 16 | r << 32;
      } else {
        if (r > 255 || g > 255 || b > 255) return false;
        key32_ = static_cast<uint32_t>(r << 16 | g << 8 | b);
      }
      colourKey_ = true;
      return true;
    }
    case 3: {
      if (length > static_cast<uint32_t>(palette_.count)) return false;
      for (uint32_t i = 0; i < length; ++i)
        palette_.data[i] = (palette_.data[i] & 0x00FFFFFFu) | static_cast<uint32_t>(d[i]) << 24;
      return true;
    }
    default:
      return false;  // the types with an alpha channel take no tRNS
  }
}

bool cPictPNG::StartPass() {
  const int32_t width = static_cast<int32_t>(header_.width);
  const int32_t height = static_cast<int32_t>(header_.height);
  for (int32_t p = currentPass_ + 1; p < 7; ++p) {
    const sPass& pass = kAdam7[p];
    const int32_t columns = PassColumns(pass, width);
    if (columns == 0 || pass.y0 >= height) continue;
    const int32_t size = RowBytes(columns);
    if (size < 0) return false;
    if (!SizeRows(size)) return false;
    filled_ = 0;
    currentPass_ = p;
    currentRow_ = pass.y0;
    return true;
  }
  currentPass_ = 7;
  imageDone_ = true;
  return true;
}

int32_t cPictPNG::RowsLeft() const {
  const int32_t height = static_cast<int32_t>(header_.height);
  if (currentRow_ >= height) return 0;
  if (header_.interlace != 1) return height - currentRow_;
  const int32_t dy = kAdam7[currentPass_].dy;
  return (height - currentRow_ + dy - 1) / dy;
}

bool cPictPNG::AddImageData(const uint8_t* data, int32_t count) {
  if (count <= 0) return false;
  const bool interlaced = header_.interlace == 1;
  const int32_t height = static_cast<int32_t>(header_.height);
  if (!interlaced && thisRow_.data == nullptr && !imageDone_) {
    const int32_t size = RowBytes(static_cast<int32_t>(header_.width));
    if (size < 0 || !SizeRows(size)) return false;
    filled_ = 0;
  }
  const uint8_t* p = data;
  int32_t left = count;
  while (left > 0) {
    if (imageDone_) return true;  // data beyond the last row is ignored
    if (interlaced && (currentPass_ < 0 || currentRow_ >= height)) {
      if (!StartPass()) return false;
      if (imageDone_) return true;
    }
    // Several rows are inflated at once, but never past the rows of the
    // image (or of the pass, whose rows have a size of their own).
    const int64_t rowsRoom = static_cast<int64_t>(RowsLeft()) * rowSize_;
    const int32_t room = static_cast<int32_t>(rowsRoom < thisRow_.count ? rowsRoom : thisRow_.count);
    int32_t produced = room - filled_;
    int32_t used = left;
    zUsed_ = true;
    if (!zlib_.InflateStep(produced, p, used, thisRow_.data + filled_)) return false;
    p += used;
    left -= used;
    filled_ += produced;
    if (produced == 0) return true;  // more data is awaited
    if (!FinishRows()) return false;
  }
  return true;
}

bool cPictPNG::SizeRows(int32_t size) {
  // The batch holds whole rows: as many as fit in kBatchBytes, at least one.
  const int32_t rows = size < kBatchBytes ? kBatchBytes / size : 1;
  const int64_t batch = static_cast<int64_t>(rows) * size;
  if (batch > 0x7FFFFFFF) return false;
  if (rowSize_ != size || thisRow_.data == nullptr) {
    previousRow_.Reallocate(size);
    thisRow_.Reallocate(static_cast<int32_t>(batch));
    rowSize_ = size;
  }
  std::memset(previousRow_.data, 0, static_cast<size_t>(size));
  return true;
}

bool cPictPNG::FinishRows() {
  const bool interlaced = header_.interlace == 1;
  const int32_t height = static_cast<int32_t>(header_.height);
  const int32_t whole = filled_ / rowSize_;
  if (whole == 0) return true;
  for (int32_t r = 0; r < whole; ++r) {
    uint8_t* row = thisRow_.data + static_cast<int64_t>(r) * rowSize_;
    const uint8_t* above = r == 0 ? previousRow_.data : row - rowSize_;
    if (!UnfilterRow(row, above)) return false;
    const sPass& pass = interlaced ? kAdam7[currentPass_] : kAdam7[6];
    if (!StoreRow(row + 1, interlaced ? pass.x0 : 0, interlaced ? pass.dx : 1)) return false;
    if (interlaced) {
      currentRow_ += pass.dy;
    } else if (++currentRow_ >= height) {
      imageDone_ = true;
    }
  }
  // The last whole row is the next one's row above; a partial row moves to
  // the front of the batch.
  const int64_t used = static_cast<int64_t>(whole) * rowSize_;
  std::memcpy(previousRow_.data, thisRow_.data + used - rowSize_, static_cast<size_t>(rowSize_));
  filled_ -= static_cast<int32_t>(used);
  if (filled_ > 0) std::memmove(thisRow_.data, thisRow_.data + used, static_cast<size_t>(filled_));
  return true;
}

bool cPictPNG::UnfilterRow(uint8_t* rowData, const uint8_t* above) {
  if (header_.filter != 0) return false;
  uint8_t* b = rowData + 1;
  const uint8_t* up = above + 1;
  const int32_t n = rowSize_ - 1;
  const int32_t u = unit_ < n ? unit_ : n;
  switch (rowData[0]) {
    case 1:
      for (int32_t i = u; i < n; ++i) b[i] = static_cast<uint8_t>(b[i] + b[i - u]);
      break;
    case 2:
      for (int32_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(b[i] + up[i]);
      break;
    case 3:
      for (int32_t i = 0; i < u; ++i) b[i] = static_cast<uint8_t>(b[i] + (up[i] >> 1));
      for (int32_t i = u; i < n; ++i) b[i] = static_cast<uint8_t>(b[i] + ((b[i - u] + up[i]) >> 1));
      break;
    case 4:
      // With nothing to the left the predictor is the byte above.
      for (int32_t i = 0; i < u; ++i) b[i] = static_cast<uint8_t>(b[i] + up[i]);
      // Ties go to a, then b: taking b or c only on a strictly smaller
      // distance keeps that order without branches.
      for (int32_t i = u; i < n; ++i) {
        const int32_t a = b[i - u], c = up[i - u], bb = up[i];
        const int32_t pa0 = bb - c, pb0 = a - c, pc0 = pa0 + pb0;
        int32_t best = pa0 < 0 ? -pa0 : pa0;
        const int32_t pb = pb0 < 0 ? -pb0 : pb0;
        const int32_t pc = pc0 < 0 ? -pc0 : pc0;
        int32_t pred = a;
        if (pb < best) {
          best = pb;
          pred = bb;
        }
        if (pc < best) pred = c;
        b[i] = static_cast<uint8_t>(b[i] + pred);
      }
      break;
    default:
      break;  // 0, and every type above 4, leaves the row as it is
  }
  return true;
}

bool cPictPNG::StartPicture() {
  const int32_t width = static_cast<int32_t>(header_.width);
  const int32_t height = static_cast<int32_t>(header_.height);
  const bool deep = header_.bitDepth == 16;
  SetHighDepth(deep);
  SetSize(width, height);
  started_ = true;
  if (BeginCanvasOutput()) {
    streaming_ = true;
    return true;
  }
  if (deep) {
    if (!AllocatePixels64(width, height)) return false;
    std::memset(Pixels64().data, 0, static_cast<size_t>(Pixels64().count) * sizeof(uint64_t));
  } else {
    if (!AllocatePixels32(width, height)) return false;
    std::memset(Pixels32().data, 0, static_cast<size_t>(Pixels32().count) * sizeof(uint32_t));
  }
  return true;
}

bool cPictPNG::StoreRow(const uint8_t* s, int32_t x0, int32_t dx) {
  if (!started_ && !StartPicture()) return false;
  const int32_t width = static_cast<int32_t>(header_.width);
  const int32_t height = static_cast<int32_t>(header_.height);
  const int32_t y = currentRow_;
  if (y < 0 || y >= height) return true;
  const int32_t row = height - 1 - y;
  const int32_t count = x0 >= width ? 0 : (width - x0 + dx - 1) / dx;
  const uint32_t type = header_.colourType;
  const uint32_t depth = header_.bitDepth;

  if (depth == 16) {
    uint64_t* line = streaming_ ? nullptr : Pixels64().data + static_cast<int64_t>(row) * width;
    if (OverrideRow64(line, width)) return true;
    const uint64_t opaque = uint64_t{0xFFFF} << 48;
    for (int32_t k = 0; k < count; ++k) {
      uint64_t px;
      switch (type) {
        case 0: {
          const uint64_t v = Be16(s + 2 * k);
          px = v | v << 16 | v << 32;
          if (!(colourKey_ && px == key64_)) px |= opaque;
          break;
        }
        case 2: {
          const uint8_t* e = s + 6 * k;
          px = static_cast<uint64_t>(Be16(e + 4)) | static_cast<uint64_t>(Be16(e + 2)) << 16 |
               static_cast<uint64_t>(Be16(e)) << 32;
          if (!(colourKey_ && px == key64_)) px |= opaque;
          break;
        }
        case 4: {
          const uint8_t* e = s + 4 * k;
          const uint64_t v = Be16(e);
          px = v | v << 16 | v << 32 | static_cast<uint64_t>(Be16(e + 2)) << 48;
          break;
        }
        default: {
          const uint8_t* e = s + 8 * k;
          px = static_cast<uint64_t>(Be16(e + 4)) | static_cast<uint64_t>(Be16(e + 2)) << 16 |
               static_cast<uint64_t>(Be16(e)) << 32 | static_cast<uint64_t>(Be16(e + 6)) << 48;
          break;
        }
      }
      const int32_t x = x0 + k * dx;
      if (line != nullptr) {
        line[x] = px;
      } else {
        PutCanvasPixel64(x, row, px);
      }
    }
    return true;
  }

  uint32_t* line = streaming_ ? nullptr : Pixels32().data + static_cast<int64_t>(row) * width;
  if (OverrideRow32(line, width)) return true;
  // Pixels are written to line + x, x = x0 + k * dx, or handed to the canvas.
  auto put = [&](int32_t k, uint32_t px) {
    const int32_t x = x0 + k * dx;
    if (line != nullptr) {
      line[x] = px;
    } else {
      PutCanvasPixel(x, row, px);
    }
  };
  switch (type) {
    case 0:
    case 3: {
      const uint32_t mask = (1u << depth) - 1;
      const uint32_t perByte = 8 / depth;
      const uint32_t scale = 255 / mask;  // exact for depths 1, 2, 4 and 8
      for (int32_t k = 0; k < count; ++k) {
        uint32_t v;
        if (depth == 8) {
          v = s[k];
        } else {
          const uint32_t shift = 8 - depth * (static_cast<uint32_t>(k) % perByte + 1);
          v = (s[static_cast<uint32_t>(k) / perByte] >> shift) & mask;
        }
        if (type == 3) {
          if (v >= static_cast<uint32_t>(palette_.count)) return false;
          put(k, palette_.data[v]);
        } else {
          const uint32_t g = v * scale;
          uint32_t px = g | g << 8 | g << 16;
          if (!(colourKey_ && px == key32_)) px |= 0xFF000000u;
          put(k, px);
        }
      }
      return true;
    }
    case 2:
      if (line != nullptr && dx == 1 && !colourKey_) {
        uint32_t* out = line + x0;
        for (int32_t k = 0; k < count; ++k, s += 3)
          out[k] = 0xFF000000u | static_cast<uint32_t>(s[0]) << 16 | static_cast<uint32_t>(s[1]) << 8 | s[2];
        return true;
      }
      for (int32_t k = 0; k < count; ++k) {
        const uint8_t* e = s + 3 * k;
        uint32_t px = static_cast<uint32_t>(e[0]) << 16 | static_cast<uint32_t>(e[1]) << 8 | e[2];
        if (!(colourKey_ && px == key32_)) px |= 0xFF000000u;
        put(k, px);
      }
      return true;
    case 4:
      for (int32_t k = 0; k < count; ++k) {
        const uint32_t g = s[2 * k];
        put(k, g | g << 8 | g << 16 | static_cast<uint32_t>(s[2 * k + 1]) << 24);
      }
      return true;
    default:
      for (int32_t k = 0; k < count; ++k) {
        const uint8_t* e = s + 4 * k;
        put(k, static_cast<uint32_t>(e[3]) << 24 | static_cast<uint32_t>(e[0]) << 16 |
                   static_cast<uint32_t>(e[1]) << 8 | e[2]);
      }
      return true;
  }
}
