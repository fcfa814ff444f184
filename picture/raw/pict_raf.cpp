// See pict_raf.h.
#include "picture/raw/pict_raf.h"

#include <algorithm>
#include <cstring>

#include "base/memio.h"
#include "picture/pict_area.h"
#include "picture/raw/raw_fuji.h"
#include "picture/raw/raw_fuji_compressed.h"
#include "picture/raw/raw_guard.h"
#include "picture/raw/raw_preview.h"

namespace {

uint32_t Be32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | p[2] << 8 | p[3];
}
uint32_t Be16(const uint8_t* p) { return static_cast<uint32_t>(p[0]) << 8 | p[1]; }

struct sRafModel {
  const char* keys[7];
  int32_t left, right, top, bottom;
  int32_t black;  // -1: unchanged
  bool xtrans;
  bool doubleWidth, packedRows, patternBrgb, fixedSize;
};

// Keys are compared as eight bytes, zero-padded.
const sRafModel kModels[] = {
    {{"S100FS ", "E900   ", "S6500fd", "S9500  ", "S5600  "}, 46, 0, 0, 0, -1, false, false, false, false, false},
    {{"X100"}, 68, 69, 0, 0, -1, false, false, false, false, false},
    {{"S200EXR"}, 34, 32, 0, 0, 300, false, false, false, false, false},
    {{"F600EXR", "F800EXR", "HS20EXR", "HS30EXR", "F550EXR", "F770EXR"}, 34, 32, 0, 0, -1, false, false, false, false,
     false},
    {{"S5000 "}, 36, 0, 4, 0, -1, false, false, false, false, false},
    {{"F700  "}, 22, 0, 0, 0, -1, false, true, false, false, false},
    {{"F900EXR"}, 0, 63, 0, 0, -1, false, false, false, false, false},
    {{"HS10 HS1"}, 0, 0, 0, 0, 90, false, false, true, true, false},
    {{"HS50EXR"}, 0, 63, 0, 0, -1, false, false, false, true, false},
    {{"2Pro"}, 0, 0, 0, 0, -1, false, false, false, false, true},
    {{"S3Pro  "}, 23, 0, 0, 0, -1, false, false, false, false, false},
    {{"S5Pro  "}, 24, 0, 4, 0, -1, false, false, false, false, false},
    {{"S1", "SL1000"}, 0, 0, 0, 0, -1, false, false, true, false, false},
    {{"X10", "XF1", "X-S1"}, 48, 47, 0, 0, -1, false, false, false, true, false},
    {{"X20", "X30", "XQ1", "XQ2"}, 0, 63, 0, 0, -1, true, false, false, false, false},
    {{"X70"}, 7, 51, 2, 0, 900, true, false, false, false, false},
    {{"X100F"}, 7, 127, 2, 0, 1000, true, false, false, false, false},
    {{"X100S", "X100T", "X-T1", "X-T10", "X-E2", "X-E2S"}, 7, 51, 2, 0, 800, true, false, false, false, false},
    {{"X100V", "X-E4", "X-T4"}, 1, 131, 7, 0, 1000, true, false, false, false, false},
    {{"X-A1", "X-A2"}, 0, 167, 0, 0, -1, false, false, false, false, false},
    {{"X-A10", "X-A20"}, 0, 0, 0, 0, -1, false, false, true, false, false},
    {{"X-E1", "X-M1", "X-Pro1"}, 1, 167, 1, 0, -1, true, false, false, false, false},
    {{"X-H1", "X-E3"}, 3, 16, 9, 0, 1000, true, false, false, false, false},
    {{"X-S10", "X-Pro3"}, 1, 131, 7, 0, 800, true, false, false, false, false},
    {{"X-T100", "X-T200", "X-A3", "X-A5", "X-A7"}, 0, 0, 0, 0, 1000, false, false, false, false, false},
    {{"X-H2", "X-H2S", "X-T5"}, 1, 131, 7, 8, 1000, true, false, false, false, false},
    {{"X-T2"}, 0, 16, 6, 0, 1000, true, false, false, false, false},
    {{"X-T20"}, 7, 126, 2, 0, 800, true, false, false, false, false},
    {{"X-T3"}, 0, 131, 6, 0, 1000, true, false, false, false, false},
    {{"X-T30", "X-T30 II"}, 1, 132, 1, 0, 1000, true, false, false, false, false},
    {{"X-Pro2"}, 1, 127, 2, 0, 900, true, false, false, false, false},
    {{"GFX 100"}, 0, 143, 0, 0, -1, false, false, false, false, false},
    {{"GFX 50S"}, 0, 935, 0, 0, -1, false, false, false, false, false},
    {{"GFX50S I"}, 0, 191, 0, 0, 1000, false, false, false, false, false},
};

constexpr double kSqrt2 = 1.4142135623730951;

struct sCap {
  double ratio;
};
void CapWhite(const cRawDevelopContext& context, uint32_t&, uint32_t& white, void* user) {
  const double ratio = static_cast<sCap*>(user)->ratio;
  const uint32_t p = static_cast<uint32_t>(static_cast<int64_t>(context.maxSample * ratio + 0.5));
  if (p < white) white = p;
}

}  // namespace

bool cPictRAF::Detect(cFileIOTarget* stream, sPictInfo* info) {
  return RawGuarded([&] {
    cPictRAF probe;
    return stream != nullptr && stream->Seek(0) && probe.ReadInfo(stream, info);
  });
}

void cPictRAF::Reset() {
  header_ = sRafHeader{};
  borders_ = sRawBorders{};
  for (double& m : mult_) m = 1.0;
  superCcd_ = doubleWidth_ = layout_ = packedRows_ = xtrans_ = swapBytes_ = false;
  black_ = 240;
  imageWidth_ = imageHeight_ = 0;
  bits_ = 16;
  rawDataOffset_ = rawDataLength_ = 0;
  const uint8_t rggb[4] = {0, 1, 1, 2};
  memcpy(pattern_, rggb, 4);
  rawWidth_ = rawHeight_ = 0;
  depth_ = 0;
}

bool cPictRAF::ReadRafHeader(cFileIOTarget* stream) {
  sRafHeader& h = header_;
  if (!stream->Seek(0) || !stream->ReadExact(h.bytes, 124)) return false;
  if (memcmp(h.bytes, "FUJIFILMCCD-RAW ", 16) != 0) return false;
  h.jpegOffset = Be32(h.bytes + 84);
  h.jpegLength = Be32(h.bytes + 88);
  h.cfaHeaderOffset = Be32(h.bytes + 92);
  h.cfaHeaderLength = Be32(h.bytes + 96);
  h.cfaOffset = Be32(h.bytes + 100);
  h.cfaLength = Be32(h.bytes + 104);
  h.word120 = Be32(h.bytes + 120);
  if (!h.cfaHeaderOffset || !h.cfaHeaderLength || !h.cfaOffset || !h.cfaLength) return false;
  if (h.jpegOffset < 124 || h.cfaHeaderOffset < 124 || h.cfaOffset < 124) h.word120 = 0;
  return true;
}

bool cPictRAF::ReadCfaHeader(cFileIOTarget* stream) {
  cFileIOSubRange range(stream, header_.cfaHeaderOffset, header_.cfaHeaderLength);
  uint8_t b[8];
  if (!range.Seek(0) || !range.ReadExact(b, 4)) return false;
  const uint32_t count = Be32(b);
  if (count == 0) return false;
  uint64_t pos = 4;
  for (uint32_t i = 0; i < count; ++i) {
    if (!range.Seek(pos) || !range.ReadExact(b, 4)) return false;
    const uint32_t tag = Be16(b), length = Be16(b + 2);
    const uint64_t data = pos + 4;
    uint8_t d[8];
    switch (tag) {
      case 0x100:
      case 0x121:
        if (!range.Seek(data) || !range.ReadExact(d, 4)) return false;
        if (tag == 0x100) rawHeight_ = static_cast<int32_t>(Be16(d)), rawWidth_ = static_cast<int32_t>(Be16(d + 2));
        else imageHeight_ = static_cast<int32_t>(Be16(d)), imageWidth_ = static_cast<int32_t>(Be16(d + 2));
        break;
      case 0x130:
        if (!range.Seek(data) || !range.ReadExact(d, 2)) return false;
        layout_ = (d[0] & 0x80) != 0;
        superCcd_ = (d[1] & 0x08) == 0;
        break;
      case 0x2FF0: {
        if (!range.Seek(data) || !range.ReadExact(d, 8)) return false;
        const double c0 = Be16(d), c1 = Be16(d + 2), c2 = Be16(d + 4), c3 = Be16(d + 6);
        if (c1 != 0) {
          mult_[0] = 1.0, mult_[1] = c0 / c1, mult_[2] = c3 / c1, mult_[3] = c2 / c1;
        } else {
          for (double& m : mult_) m = 1.0;
        }
        break;
      }
      default: break;
    }
    pos = data + length;
  }
  return true;
}

bool cPictRAF::OnTag(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size) {
  const sTiffEntry e{tag, type, data, size};
  int32_t v = 0;
  switch (tag) {
    case 0xF000: {
      // A further directory in the same section. The value is read as the
      // entry's type says, in either byte order; chains are bounded by
      // depth and by the directories being walked.
      if (!GetEntryInt(e, v)) return false;
      const uint64_t at = static_cast<uint32_t>(v);
      if (depth_ >= 8 || at == CurrentIfdOffset()) return false;
      for (int32_t i = 0; i < depth_; ++i)
        if (walking_[i] == at) return false;
      walking_[depth_++] = CurrentIfdOffset();
      const bool ok = WalkIFD(GetStream(), IsBigEndian(), false, at, GetLength());
      --depth_;
      return ok;
    }
    case 0xF001:
    case 0xF002:
      if (!GetEntryInt(e, v) || v <= 0) return false;
      if (tag == 0xF001) {
        rawWidth_ = v;
        if (imageWidth_ == 0) imageWidth_ = v;
      } else {
        rawHeight_ = v;
        if (imageHeight_ == 0) imageHeight_ = v;
      }
      return true;
    case 0xF003:
      if (!GetEntryInt(e, v) || v == 0) return false;
      bits_ = v;
      return true;
    case 0xF007:
    case 0xF008:
      if (!GetEntryInt(e, v) || v == 0) return false;
      (tag == 0xF007 ? rawDataOffset_ : rawDataLength_) = static_cast<uint32_t>(v);
      return true;
    case 0xF00E: {
      _typebuf<uint32_t> s;
      if (!GetEntryInts(e, s)) return false;
      if (s.count >= 3) {
        if (s.data[2] != 0) {
          mult_[0] = 1.0;
          mult_[1] = mult_[3] = static_cast<double>(s.data[0]) / s.data[2];
          mult_[2] = static_cast<double>(s.data[1]) / s.data[2];
        } else {
          for (double& m : mult_) m = 1.0;
        }
      }
      return true;
    }
    default: return true;
  }
}

bool cPictRAF::ReadRawDirectory(cFileIOTarget* stream) {
  const uint64_t plain = static_cast<uint64_t>(rawWidth_ > 0 ? rawWidth_ : 0) * (rawHeight_ > 0 ? rawHeight_ : 0) * 2;
  if (header_.cfaLength == plain) return true;
  cFileIOSubRange section(stream, header_.cfaOffset, header_.cfaLength);
  depth_ = 0;
  if (!ReadHeader(&section, header_.cfaLength)) return false;
  return rawDataOffset_ != 0;
}

void cPictRAF::ApplyModelTable() {
  if (superCcd_) {
    const uint8_t gbrg[4] = {1, 2, 0, 1};
    memcpy(pattern_, gbrg, 4);
  }
  const uint8_t* h = header_.bytes;
  const uint8_t* key = nullptr;
  if (h[28] == 'F' && h[29] == 'i') key = h + 36;
  else if (h[28] == 'X' || h[28] == 'G' || h[29] == 'F') key = h + 28;
  if (key == nullptr) return;
  for (const sRafModel& m : kModels) {
    for (const char* k : m.keys) {
      if (k == nullptr) break;
      char padded[8] = {};
      memcpy(padded, k, std::min<size_t>(8, strlen(k)));
      if (memcmp(padded, key, 8) != 0) continue;
      borders_ = sRawBorders{m.left, m.right, m.top, m.bottom};
      if (m.black >= 0) black_ = m.black;
      if (m.xtrans) xtrans_ = true;
      if (m.doubleWidth) doubleWidth_ = true;
      if (m.packedRows) packedRows_ = true;
      if (m.patternBrgb) {
        const uint8_t p[4] = {2, 1, 1, 0};
        memcpy(pattern_, p, 4);
      }
      if (m.fixedSize) imageWidth_ = 2880, imageHeight_ = 2144, swapBytes_ = true;
      return;
    }
  }
}

bool cPictRAF::Parse(cFileIOTarget* stream, bool forLoad) {
  Reset();
  if (stream == nullptr || !ReadRafHeader(stream) || !ReadCfaHeader(stream)) return false;
  if (forLoad) ApplyModelTable();
  if (!ReadRawDirectory(stream)) return false;
  if (!forLoad) {
    if (rawWidth_ <= 0 && rawHeight_ <= 0) return false;
    ApplyModelTable();
  }
  return true;
}

bool cPictRAF::ReadInfo(cFileIOTarget* stream, sPictInfo* info) {
  return RawGuarded([&] {
    if (!Parse(stream, false)) return false;
    int64_t w = imageWidth_, h = imageHeight_;
    if (superCcd_) {
      w = static_cast<int64_t>((imageWidth_ / 2) * kSqrt2);
      h = static_cast<int64_t>(imageHeight_ * kSqrt2);
    }
    w -= static_cast<int64_t>(borders_.right) + borders_.left;
    h -= static_cast<int64_t>(borders_.bottom) + borders_.top;
    // A turned size past a signed 32-bit count cannot be a picture's.
    if (w > INT32_MAX || h > INT32_MAX || w < INT32_MIN || h < INT32_MIN) return false;
    if (info != nullptr) {
      info->width = static_cast<int32_t>(w);
      info->height = static_cast<int32_t>(h);
      info->hasPreview = header_.jpegOffset != 0 && header_.jpegLength != 0;
    }
    return true;
  });
}

bool cPictRAF::Unpack(cFileIOTarget* stream, _typebuf<uint16_t>& raw, int32_t& width) {
  const uint64_t size = stream->GetSize();
  uint64_t cfaOffset = header_.cfaOffset, cfaLength = header_.cfaLength;
  if (rawDataOffset_ != 0) {
    if (rawDataOffset_ > cfaLength) return false;
    cfaOffset += rawDataOffset_;
    cfaLength -= rawDataOffset_;
  }
  width = rawWidth_;
  const int32_t height = rawHeight_;
  if (width <= 0 || height <= 0) return false;
  const uint64_t wh = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
  const bool wideSuperCcd = (bits_ == 14 || bits_ == 16) && header_.word120 != 0 && superCcd_;
  if (wideSuperCcd && doubleWidth_) {
    if (width > 0x3FFFFFFF) return false;
    width *= 2;
  }
  int64_t count = 0;
  if (!pict_area::CheckedArea(width, height, 1, count)) return false;
  raw.Reallocate(static_cast<int32_t>(count));
  memset(raw.data, 0, static_cast<size_t>(count) * sizeof(uint16_t));
  if (cfaOffset > size) return false;
  auto readRows = [&](uint64_t rowBytes, auto unpack) {
    if (rowBytes > 0x7FFFFFFF) return false;
    _typebuf<uint8_t> row(static_cast<int32_t>(rowBytes));
    if (!stream->Seek(cfaOffset)) return false;
    for (int32_t y = 0; y < height; ++y) {
      if (!stream->ReadExact(row.data, static_cast<uint32_t>(rowBytes))) return false;
      unpack(row.data, rowBytes, raw.data + static_cast<int64_t>(y) * width);
    }
    return true;
  };
  auto read16 = [&]() {
    const uint64_t n = static_cast<uint64_t>(count);
    if (!stream->Seek(cfaOffset) || !stream->ReadExact(raw.data, static_cast<uint32_t>(2 * n))) return false;
    const uint8_t* b = reinterpret_cast<const uint8_t*>(raw.data);
    for (uint64_t i = 0; i < n; ++i) raw.data[i] = static_cast<uint16_t>(b[2 * i] | b[2 * i + 1] << 8);
    return true;
  };
  if (bits_ == 12 && cfaLength >= wh * 3 / 2) {
    return readRows(Raf12RowBytes(width, packedRows_), [&](const uint8_t* d, uint64_t n, uint16_t* out) {
      UnpackRaf12Row(d, n, width, packedRows_, out);
    });
  }
  if (bits_ == 14 && cfaLength == wh * 14 / 8) {
    return readRows(Raf14RowBytes(width),
                    [&](const uint8_t* d, uint64_t n, uint16_t* out) { UnpackRaf14Row(d, n, width, out); });
  }
  if (wideSuperCcd) return read16();
  if ((bits_ == 14 || bits_ == 16) && cfaLength == wh * 2) return read16();
  if (bits_ != 12 && bits_ != 14 && bits_ != 16) return false;
  if (cfaLength < 9 || cfaLength > size - cfaOffset || cfaLength > 0x7FFFFFFF) return false;
  _typebuf<uint8_t> section(static_cast<int32_t>(cfaLength));
  if (!stream->Seek(cfaOffset) || !stream->ReadExact(section.data, static_cast<uint32_t>(cfaLength))) return false;
  const uint8_t* s = section.data;
  if (s[0] != 0x49 || s[1] != 0x53 || s[2] != 0x01 || s[3] != 0x10 || s[4] != bits_) return false;
  return DecodeFujiCompressed(s, static_cast<size_t>(cfaLength), raw.data, width, height);
}

bool cPictRAF::DevelopSuperCcd(cFileIOTarget* stream, const uint16_t* raw, int32_t rawWidth,
                               std::unique_ptr<cBayerFilter> filter) {
  sSuperCcdFrame f;
  if (!SuperCcdFrame(imageWidth_, imageHeight_, f)) return false;
  int64_t frameCount = 0;
  if (!SuperCcdFrameFits(f, frameCount)) return false;
  int32_t u = 0, v = 0;
  if (!SuperCcdOutputSize(f, borders_.left, borders_.right, borders_.top, borders_.bottom, u, v)) return false;
  int64_t outCount = 0;
  if (!pict_area::CheckedArea(u, v, 1, outCount)) return false;
  _typebuf<uint16_t> rotated(static_cast<int32_t>(frameCount));
  memset(rotated.data, 0, static_cast<size_t>(frameCount) * sizeof(uint16_t));
  PlaceSuperCcd(raw, rawWidth, rawHeight_, f, layout_, swapBytes_, rotated.data);
  ReportRawFrame(raw, rawWidth, rawHeight_);
  _typebuf<uint64_t> developed(static_cast<int32_t>(frameCount));
  cStreamGuardProgressTarget progress(stream);
  cRawDevelopContext context(developed.data, frameCount, f.width, rotated.data, frameCount, f.height,
                             std::move(filter), black_, mult_[0], mult_[1], mult_[2]);
  context.progress = &progress;
  const bool ok = xtrans_ ? DemosaicNeighbourMean(nullptr, context) : DemosaicBayer(context, nullptr, nullptr);
  if (!ok) return false;
  if (!AllocatePixels64(u, v)) return false;
  TurnBackSuperCcd(developed.data, f, borders_.left, borders_.bottom, u, v, Pixels64().data);
  SetHighDepth(true);
  const double maxM = std::max({1.0, mult_[1], mult_[2]}), minM = std::min({1.0, mult_[1], mult_[2]});
  const uint32_t p = static_cast<uint32_t>(static_cast<int64_t>(context.maxSample * minM / maxM + 0.5));
  cRawHistogram histogram;
  if (!BuildRawHistogram(Pixels64().data, outCount, histogram, &progress)) return false;
  uint32_t black = 0, middle = 0, white = 0xFFFF;
  FindLevels(histogram.all, black, middle, white, 0.99);
  _typebuf<uint32_t> table;
  BuildToneCurve(black, std::min(white, p), 8.0, table);
  if (!ApplyToneCurve(Pixels64().data, Pixels64().data, outCount, table, &progress)) return false;
  return AdjustSaturation(Pixels64().data, Pixels64().data, outCount, nullptr, 1.2);
}

bool cPictRAF::Load(cFileIOTarget* stream) {
  return RawGuarded([&] {
    if (!Parse(stream, true)) return false;
    if (rawWidth_ <= 0) return false;
    _typebuf<uint16_t> raw;
    int32_t width = 0;
    if (!Unpack(stream, raw, width)) return false;
    std::unique_ptr<cBayerFilter> filter;
    if (xtrans_) {
      filter = std::make_unique<cFujiXTransFilter>();
    } else {
      sCFAPattern pattern;
      pattern.Assign(2, 2, pattern_, 4);
      filter = CreateBayerFilter(pattern);
    }
    if (!filter) return false;
    if (superCcd_) return DevelopSuperCcd(stream, raw.data, width, std::move(filter));
    const double maxM = std::max({1.0, mult_[1], mult_[2]}), minM = std::min({1.0, mult_[1], mult_[2]});
    sCap cap{minM / maxM};
    sRawDevelopParams params;
    params.demosaic = xtrans_ ? kRawDemosaicNeighbourMean : kRawDemosaicBayer;
    params.hasBorders = true;
    params.borders = borders_;
    // ReadInfo announces the image size less the borders, while the samples
    // fill the raw frame. The picture is the announced one: the raw frame's
    // top-left image-size area, developed alone; an image size the frame
    // cannot hold, or one the borders leave nothing of, fails.
    if (imageWidth_ - borders_.left - borders_.right <= 0 || imageHeight_ - borders_.top - borders_.bottom <= 0 ||
        imageWidth_ > width || imageHeight_ > rawHeight_)
      return false;
    params.borders.right += width - imageWidth_;
    params.borders.bottom += rawHeight_ - imageHeight_;
    params.black = black_;
    params.red = mult_[0], params.green = mult_[1], params.blue = mult_[2];
    params.levelsFraction = 0.99;
    params.gamma = 8.0;
    params.saturation = 1.2;
    params.adjustLevels = &CapWhite;
    params.adjustUser = &cap;
    return DevelopRaw(raw.data, raw.count, width, rawHeight_, std::move(filter), params, stream, *this);
  });
}

bool cPictRAF::LoadPreview(cFileIOTarget* stream, cPictBase* destination, int32_t& width, int32_t& height) {
  return RawGuarded([&] {
    Reset();
    if (stream == nullptr || !ReadRafHeader(stream)) return false;
    if (header_.jpegOffset == 0 || header_.jpegLength == 0) return false;
    return LoadFittedJpegPreview(stream, header_.jpegOffset, header_.jpegLength, destination, width, height);
  });
}
