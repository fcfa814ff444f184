// See pict_gif.h.
#include "picture/pict_gif.h"

#include <cstring>
#include <vector>

#include "base/decompress.h"
#include "picture/pict_read.h"

namespace {

using pict_read::Le16;

constexpr uint32_t kHeaderSize = 13;
constexpr uint32_t kDescriptorSize = 9;
constexpr uint32_t kTransparentWhite = 0x00FFFFFFu;

// The outcome of skipping a run of data sub-blocks.
enum class eSkip { kDone, kEndOfData };

// Skips sub-blocks (size byte, that many bytes) up to and including the size
// 0; a first size may already have been read.
eSkip SkipSubBlocks(cFileIOTarget* stream, uint64_t& position, uint64_t fileSize, int32_t firstSize) {
  int32_t size = firstSize;
  for (;;) {
    if (size < 0) {
      uint8_t b;
      if (!stream->Seek(position) || !stream->ReadExact(&b, 1)) return eSkip::kEndOfData;
      ++position;
      size = b;
    }
    if (size == 0) return eSkip::kDone;
    if (position + static_cast<uint32_t>(size) > fileSize) return eSkip::kEndOfData;
    position += static_cast<uint32_t>(size);
    size = -1;
  }
}

}  // namespace

bool cPictGIF::ReadTable(cFileIOTarget* stream, uint32_t exponent) {
  const int32_t entries = 2 << (exponent & 7);
  uint8_t raw[3 * 256];
  if (!stream->ReadExact(raw, static_cast<uint32_t>(3 * entries))) return false;
  palette_.Reallocate(entries);
  for (int32_t i = 0; i < entries; ++i)
    palette_.data[i] = 0xFF000000u | static_cast<uint32_t>(raw[3 * i]) << 16 |
                       static_cast<uint32_t>(raw[3 * i + 1]) << 8 | raw[3 * i + 2];
  return true;
}

bool cPictGIF::ReadHeader(cFileIOTarget* stream, bool readTables) {
  if (stream == nullptr || !stream->ReadExact(header_, kHeaderSize)) return false;
  if (std::memcmp(header_, "GIF8", 4) != 0) return false;
  if (!((header_[4] == '7' || header_[4] == '9') && header_[5] == 'a')) return false;
  if (Le16(header_ + 6) == 0 || Le16(header_ + 8) == 0) return false;
  if (readTables) {
    if (header_[10] & 0x80) return ReadTable(stream, header_[10] & 7);
    palette_.Reset();
  }
  return true;
}

bool cPictGIF::ReadInfo(cFileIOTarget* stream, sPictInfo* info) {
  try {
    if (!ReadHeader(stream, false)) return false;
    uint64_t at = kHeaderSize;
    if (header_[10] & 0x80) at += 3u * (2u << (header_[10] & 7));
    uint8_t b;
    if (!stream->Seek(at) || !stream->ReadExact(&b, 1) || (b != '!' && b != ',')) return false;
    if (info != nullptr) {
      info->width = static_cast<int32_t>(Le16(header_ + 6));
      info->height = static_cast<int32_t>(Le16(header_ + 8));
      info->hasPreview = false;
    }
    return true;
  } catch (...) {
    return false;
  }
}

bool cPictGIF::Detect(cFileIOTarget* stream, sPictInfo* info) {
  cPictGIF probe;
  return probe.ReadInfo(stream, info);
}

bool cPictGIF::SeekImage(cFileIOTarget* stream, int32_t& index, bool readTables) {
  const int32_t wanted = index;
  index = -1;
  if (!stream->Seek(0) || !ReadHeader(stream, readTables)) return false;
  std::memset(control_, 0, sizeof control_);
  const uint64_t fileSize = stream->GetSize();
  uint64_t position = kHeaderSize;
  if (header_[10] & 0x80) position += 3u * (2u << (header_[10] & 7));
  int32_t images = 0;
  for (;;) {
    uint8_t introducer;
    // A file cut off before its trailer (common in animations) holds the
    // images walked so far.
    if (!stream->Seek(position) || !stream->ReadExact(&introducer, 1)) {
      index = images;
      return false;
    }
    ++position;
    if (introducer == '!') {
      uint8_t labelSize[2];
      if (!stream->ReadExact(labelSize, 2)) {
        index = images;
        return false;
      }
      position += 2;
      if (readTables && labelSize[0] == 0xF9 && labelSize[1] == 4) {
        if (!stream->ReadExact(control_, 5)) {
          index = images;
          return false;
        }
        position += 5;
        if (control_[4] != 0 && SkipSubBlocks(stream, position, fileSize, control_[4]) == eSkip::kEndOfData) {
          index = images;
          return false;
        }
      } else if (SkipSubBlocks(stream, position, fileSize, labelSize[1]) == eSkip::kEndOfData) {
        index = images;
        return false;
      }
    } else if (introducer == ',') {
      if (images == wanted) return true;
      uint8_t d[kDescriptorSize];
      if (!stream->ReadExact(d, kDescriptorSize)) {
        index = images;
        return false;
      }
      position += kDescriptorSize;
      if (Le16(d + 4) == 0 || Le16(d + 6) == 0) return false;
      if (d[8] & 0x80) position += 3u * (2u << (d[8] & 7));
      ++position;  // minimum code size
      uint8_t first;
      if (!stream->Seek(position) || !stream->ReadExact(&first, 1)) {
        index = images;
        return false;
      }
      ++position;
      if (first == 0) return false;
      if (SkipSubBlocks(stream, position, fileSize, first) == eSkip::kEndOfData) {
        index = images;
        return false;
      }
      ++images;
    } else if (introducer == ';') {
      index = images;
      return false;
    } else {
      return false;
    }
  }
}

bool cPictGIF::PutIndexRow(const uint8_t* indexes, int32_t count, int32_t y) {
  const bool keyed = (control_[0] & 1) != 0;
  const uint32_t key = control_[3];
  uint32_t* row = streaming_ ? nullptr : Pixels32().data + static_cast<size_t>(y) * GetWidth();
  for (int32_t x = 0; x < count; ++x) {
    const uint32_t i = indexes[x];
    const uint32_t px = (i >= static_cast<uint32_t>(palette_.count) || (keyed && i == key)) ? kTransparentWhite
                                                                                             : palette_.data[i];
    if (row != nullptr)
      row[x] = px;
    else
      PutCanvasPixel(x, y, px);
  }
  return count == GetWidth();
}

bool cPictGIF::DecodeImage(cFileIOTarget* stream, const uint8_t* descriptor) {
  if (descriptor[8] & 0x80) {
    if (!ReadTable(stream, descriptor[8] & 7)) return false;
  }
  uint8_t codeSize;
  if (!stream->ReadExact(&codeSize, 1) || palette_.count == 0) return false;
  // The data sub-blocks, gathered into one buffer.
  std::vector<char> data;
  for (;;) {
    uint8_t size;
    if (!stream->ReadExact(&size, 1)) return false;
    if (size == 0) break;
    const size_t at = data.size();
    data.resize(at + size);
    if (!stream->ReadExact(data.data() + at, size)) return false;
    if (data.size() > 0x7FFFFFFFu - 255) return false;
  }
  if (data.empty()) return false;
  const int32_t width = static_cast<int32_t>(Le16(descriptor + 4));
  const int32_t height = static_cast<int32_t>(Le16(descriptor + 6));
  SetSize(width, height);
  streaming_ = BeginCanvasOutput();
  // Pixels the data never reaches stay 0, so that results do not depend on
  // what the allocator left.
  if (!streaming_ && !CreateBlank(width, height)) return false;

  _typebuf<char> input(static_cast<int32_t>(data.size()));
  std::memcpy(input.data, data.data(), data.size());
  data = std::vector<char>();
  _typebuf<char> pixels;
  cLZWDecompress lzw(codeSize + 1, false, false);
  const int64_t wanted = int64_t{width} * height;
  // The decoder's verdict does not matter: what it expanded is used.
  lzw.Decompress(input, pixels, static_cast<int32_t>(wanted < kMaxPixelCount ? wanted : kMaxPixelCount));
  const int64_t have = pixels.data == nullptr ? 0 : pixels.count;
  const auto* bytes = reinterpret_cast<const uint8_t*>(pixels.data);

  const bool interlaced = (descriptor[8] & 0x40) != 0;
  static constexpr int32_t kStart[4] = {0, 4, 2, 1};
  static constexpr int32_t kStep[4] = {8, 8, 4, 2};
  int64_t used = 0;
  for (int32_t pass = 0; pass < (interlaced ? 4 : 1); ++pass) {
    const int32_t start = interlaced ? kStart[pass] : 0, step = interlaced ? kStep[pass] : 1;
    for (int32_t r = start; r < height; r += step) {
      const int64_t left = have - used;
      const int32_t count = left < width ? static_cast<int32_t>(left) : width;
      if (count <= 0 || !PutIndexRow(bytes + used, count, height - 1 - r)) return true;
      used += width;
    }
  }
  return true;
}

bool cPictGIF::LoadInner(cFileIOTarget* stream, int32_t index) {
  if (index < 0) return false;
  int32_t at = index;
  if (!SeekImage(stream, at, true)) return false;
  uint8_t d[kDescriptorSize];
  if (!stream->ReadExact(d, kDescriptorSize)) return false;
  if (Le16(d + 4) == 0 || Le16(d + 6) == 0) return false;
  return DecodeImage(stream, d);
}

bool cPictGIF::LoadImage(cFileIOTarget* stream, int32_t index) {
  bool ok = false;
  streaming_ = false;
  try {
    ok = stream != nullptr && LoadInner(stream, index);
  } catch (...) {
    ok = false;
  }
  if (GetAttachedCanvas() != nullptr) {
    if (streaming_)
      EndCanvasOutput();
    else
      DetachCanvas();
  }
  streaming_ = false;
  return ok;
}

bool cPictGIF::Load(cFileIOTarget* stream) { return LoadImage(stream, 0); }

int32_t cPictGIF::GetImageCount(cFileIOTarget* stream) {
  try {
    if (stream == nullptr) return -1;
    int32_t index = 0x7FFFFFFF;
    SeekImage(stream, index, false);
    return index;
  } catch (...) {
    return -1;
  }
}

bool cPictGIF::GetImageInfo(cFileIOTarget* stream, int32_t index, int32_t& width, int32_t& height) {
  try {
    if (stream == nullptr || index < 0) return false;
    int32_t at = index;
    uint8_t d[kDescriptorSize];
    if (!SeekImage(stream, at, false) || !stream->ReadExact(d, kDescriptorSize)) return false;
    width = static_cast<int32_t>(Le16(d + 4));
    height = static_cast<int32_t>(Le16(d + 6));
    return width != 0 && height != 0;
  } catch (...) {
    return false;
  }
}

bool cPictGIF::LoadImageFitted(cFileIOTarget* stream, cPictBase* destination, int32_t maxWidth, int32_t maxHeight,
                               int32_t index, bool, uint32_t) {
  if (stream == nullptr || destination == nullptr || index < 0) return false;
  bool ok = false;
  sPictCanvas canvas;
  streaming_ = false;
  try {
    int32_t at = index;
    uint8_t d[kDescriptorSize];
    if (SeekImage(stream, at, true) && stream->ReadExact(d, kDescriptorSize)) {
      const int32_t w = static_cast<int32_t>(Le16(d + 4)), h = static_cast<int32_t>(Le16(d + 6));
      if (w != 0 && h != 0) {
        double s = static_cast<double>(maxHeight) / h;
        const double sx = static_cast<double>(maxWidth) / w;
        if (sx < s) s = sx;
        if (s > 1.0) s = 1.0;
        const int32_t fw = static_cast<int32_t>(w * s + 0.5), fh = static_cast<int32_t>(h * s + 0.5);
        if (fw >= 1 && fh >= 1 && destination->CreateBlank(fw, fh)) {
          sPictCanvas::FromPicture(canvas, destination);
          if (AttachCanvas(&canvas)) ok = DecodeImage(stream, d);
        }
      }
    }
  } catch (...) {
    ok = false;
  }
  if (GetAttachedCanvas() != nullptr) {
    if (streaming_)
      EndCanvasOutput();
    else
      DetachCanvas();
  }
  streaming_ = false;
  return ok;
}
