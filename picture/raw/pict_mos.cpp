// See pict_mos.h.
#include "picture/raw/pict_mos.h"

#include <algorithm>
#include <cstring>

#include "base/memio.h"
#include "picture/raw/raw_develop.h"
#include "picture/raw/raw_guard.h"
#include "picture/raw/raw_preview.h"

namespace {

constexpr uint32_t kPktsSignature = 0x504B5453;  // "PKTS" read big-endian

// A decimal (or 0x hexadecimal) integer after leading blanks, from at most
// n bytes; 0 when there are no digits.
int32_t ParseInt(const uint8_t* p, int32_t n) {
  int32_t i = 0;
  while (i < n && (p[i] == ' ' || p[i] == '\t')) ++i;
  bool negative = false;
  if (i < n && (p[i] == '-' || p[i] == '+')) negative = p[i++] == '-';
  int64_t v = 0;
  if (i + 1 < n && p[i] == '0' && (p[i + 1] == 'x' || p[i + 1] == 'X')) {
    for (i += 2; i < n; ++i) {
      const uint8_t c = p[i];
      int d;
      if (c >= '0' && c <= '9') d = c - '0';
      else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
      else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
      else break;
      v = (v * 16 + d) & 0xFFFFFFFF;
    }
  } else {
    for (; i < n && p[i] >= '0' && p[i] <= '9'; ++i) v = (v * 10 + (p[i] - '0')) & 0xFFFFFFFF;
  }
  const int32_t r = static_cast<int32_t>(static_cast<uint32_t>(v));
  return negative ? -r : r;
}

bool NameIs(const uint8_t* name, const char* text) {
  const size_t n = std::strlen(text);
  if (n > 40) return false;
  if (std::memcmp(name, text, n) != 0) return false;
  return n == 40 || name[n] == 0;
}

}  // namespace

void cPictMOS::ResetPage() {
  decodePreview_ = false;
  hasPreview_ = false;
  isMos_ = false;
  pattern_.Clear();
  backType_ = rowsData_ = rotation_ = 0;
  preview_.ReleasePixels();
  visitedLists_.clear();
  cPictTIFF::ResetPage();
}

bool cPictMOS::OnTag(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size) {
  if (tag == 34310) return ParseRecords(data, size, 0);
  return cPictTIFF::OnTag(tag, type, data, size);
}

bool cPictMOS::ParseRecords(const uint8_t* data, int32_t length, int32_t depth) {
  if (length <= 0) return true;
  if (data == nullptr) return false;
  // Nested lists lie inside their parents, so a list met again or a chain
  // deeper than the limit can only come from a crafted file.
  if (depth > kMaxRecordDepth) return false;
  if (std::find(visitedLists_.begin(), visitedLists_.end(), data) != visitedLists_.end() && depth > 0) return false;
  visitedLists_.push_back(data);
  const bool be = IsBigEndian();
  auto u32 = [be](const uint8_t* p) -> uint32_t {
    return be ? static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
                    static_cast<uint32_t>(p[2]) << 8 | p[3]
              : static_cast<uint32_t>(p[3]) << 24 | static_cast<uint32_t>(p[2]) << 16 |
                    static_cast<uint32_t>(p[1]) << 8 | p[0];
  };
  int64_t pos = 0;
  while (length - pos >= 52) {
    const uint8_t* rec = data + pos;
    if (u32(rec) != kPktsSignature) return false;
    const uint32_t n = u32(rec + 48);
    if (n > static_cast<uint64_t>(length - pos - 52)) return false;
    const uint8_t* name = rec + 8;
    const uint8_t* body = rec + 52;
    const int32_t size = static_cast<int32_t>(n);
    if (NameIs(name, "CaptProf_raw_data_rotation")) {
      const int32_t r = ParseInt(body, size);
      rotation_ = r % 90 == 0 ? r : 0;
    } else if (NameIs(name, "Rows_data")) {
      if (size < 4) return false;
      rowsData_ = static_cast<int32_t>(u32(body));
    } else if (NameIs(name, "JPEG_preview_data")) {
      if (decodePreview_) {
        cBufWrapperIO io(body, n);
        preview_.SetDecodeThumbnails(false);
        hasPreview_ = preview_.Load(&io);
      } else {
        hasPreview_ = true;
      }
    } else if (NameIs(name, "camera_profile")) {
      if (!ParseRecords(body, size, depth + 1)) return false;
    } else if (NameIs(name, "CamProf_capture_profile")) {
      isMos_ = true;
      if (!ParseRecords(body, size, depth + 1)) return false;
    } else if (NameIs(name, "CamProf_back_type")) {
      backType_ = ParseInt(body, size);
    } else if (NameIs(name, "CaptProf_mosaic_pattern")) {
      if (size != 8) return false;
      const int32_t e = body[2] == '1' ? 1 : body[4] == '1' ? 3 : body[6] == '1' ? 2 : 0;
      const int32_t q = (e + rotation_ / 90) & 3;
      static const uint8_t kCells[4][4] = {{0, 1, 1, 2}, {1, 0, 2, 1}, {2, 1, 1, 0}, {1, 2, 0, 1}};
      pattern_.Assign(2, 2, kCells[q], 4);
    }
    pos += 52 + static_cast<int64_t>(n);
  }
  return true;
}

bool cPictMOS::FindTiffStart(cFileIOTarget* stream, uint64_t& start) {
  uint8_t h[34];
  if (stream == nullptr || !stream->ReadExact(h, 34)) return false;
  const uint32_t sig = static_cast<uint32_t>(h[0]) | static_cast<uint32_t>(h[1]) << 8 |
                       static_cast<uint32_t>(h[2]) << 16 | static_cast<uint32_t>(h[3]) << 24;
  auto upper = [](uint8_t c) { return c >= 'a' && c <= 'z' ? static_cast<uint8_t>(c - 'a' + 'A') : c; };
  const bool named = h[30] == '0' && h[31] == '.' && upper(h[32]) == 'M' && upper(h[33]) == 'O';
  const uint32_t method = static_cast<uint32_t>(h[8]) | static_cast<uint32_t>(h[9]) << 8;
  start = sig == 0x04034B50 && named && method == 0 ? kZipDataOffset : 0;
  return true;
}

bool cPictMOS::ReadInfo(cFileIOTarget* stream, sPictInfo* info) {
  return RawGuarded([&] {
    ResetPage();
    uint64_t start = 0;
    if (!FindTiffStart(stream, start)) return false;
    const uint64_t size = stream->GetSize();
    if (start >= size) return false;
    cFileIOSubRange window(stream, start, size - start);
    if (!cPictTIFF::ReadInfo(&window, info) || !isMos_) return false;
    if (info != nullptr) {
      cPictPropInt* w = FindIntProp(18);
      cPictPropInt* h = FindIntProp(19);
      // The Load develops whole four-sample pixels: that is the size.
      info->width = w != nullptr ? w->value & ~3 : 0;
      info->height = h != nullptr ? h->value : 0;
      info->hasPreview = hasPreview_;
    }
    return true;
  });
}

bool cPictMOS::Detect(cFileIOTarget* stream, sPictInfo* info) {
  cPictMOS probe;
  return stream != nullptr && stream->Seek(0) && probe.ReadInfo(stream, info);
}

bool cPictMOS::GetImageInfo(cFileIOTarget* stream, int32_t index, int32_t& width, int32_t& height) {
  sPictInfo info;
  if (index != 0 || !ReadInfo(stream, &info)) return false;
  width = info.width;
  height = info.height;
  return true;
}

bool cPictMOS::Load(cFileIOTarget* stream) {
  return RawGuarded([&] { return LoadInner(stream); });
}

bool cPictMOS::LoadInner(cFileIOTarget* stream) {
  ResetPage();
  uint64_t start = 0;
  if (!FindTiffStart(stream, start)) return false;
  const uint64_t size = stream->GetSize();
  if (start >= size) return false;
  cFileIOSubRange window(stream, start, size - start);
  if (!OpenFile(&window, false)) return false;
  if (samplesPerPixel_ != 1 || pattern_.count != 4) return false;
  sRawSensorLayout L;
  _typebuf<uint32_t> counts;
  if (!PageSensorLayout(L, counts, false)) return false;
  L.eightBitShifted = false;
  L.fieldOrder = rowsData_ & 1;
  L.idsByOffset = true;
  _typebuf<uint16_t> raster;
  int32_t rw = 0;
  if (!reader_.Read(&window, L, raster, rw)) return false;
  sRawDevelopParams p;
  p.red = 1.1;
  p.green = 1.0;
  p.blue = 1.33;
  p.saturation = 1.5;
  return DevelopRaw(raster.data, raster.count, rw, L.height, CreateBayerFilter(pattern_), p, stream, *this);
}

bool cPictMOS::LoadImageFitted(cFileIOTarget* stream, cPictBase* destination, int32_t maxWidth, int32_t maxHeight,
                               int32_t, bool, uint32_t) {
  int32_t w = maxWidth, h = maxHeight;
  return LoadPreview(stream, destination, w, h);
}

bool cPictMOS::LoadPreview(cFileIOTarget* stream, cPictBase* destination, int32_t& width, int32_t& height) {
  const int32_t maxW = width, maxH = height;
  return RawGuarded([&] {
    if (destination == nullptr) return false;
    ResetPage();
    decodePreview_ = true;
    uint64_t start = 0;
    if (!FindTiffStart(stream, start)) return false;
    const uint64_t size = stream->GetSize();
    if (start >= size) return false;
    cFileIOSubRange window(stream, start, size - start);
    SetDecodeThumbnail(false);
    ResetExif(this, kIfd0);
    if (!cTiffGeneric::ReadHeader(&window, kWholeStream) || !IsPageSupported()) return false;
    if (preview_.GetWidth() == 0 || preview_.GetHeight() == 0) return false;
    return FitRawPreview(preview_, destination, maxW, maxH);
  });
}
