// See pict_dng.h.
#include "picture/raw/pict_dng.h"

#include <algorithm>
#include <cstring>

#include "base/memio.h"
#include "picture/jpeg_entropy.h"
#include "picture/jpeg_raw_lossless.h"
#include "picture/raw/raw_guard.h"
#include "picture/raw/raw_preview.h"

namespace {

bool StartsWith(const std::string& s, const char* prefix, bool ignoreCase) {
  const size_t n = std::strlen(prefix);
  if (s.size() < n) return false;
  for (size_t i = 0; i < n; ++i) {
    char a = s[i], b = prefix[i];
    if (ignoreCase) {
      if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
      if (b >= 'A' && b <= 'Z') b = static_cast<char>(b - 'A' + 'a');
    }
    if (a != b) return false;
  }
  return true;
}

std::string AsciiValue(const uint8_t* data, int32_t size) {
  if (data == nullptr || size <= 0) return std::string();
  const char* p = reinterpret_cast<const char*>(data);
  size_t n = 0;
  while (n < static_cast<size_t>(size) && p[n] != 0) ++n;
  return std::string(p, n);
}

}  // namespace

// ---- Tags ----

bool cPictDNG::OnTag(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size) {
  if ((tag == 271 || tag == 272) && type == kTiffAscii) (tag == 271 ? make_ : model_) = AsciiValue(data, size);
  if (!OnDngTag(tag, type, data, size)) return false;
  return cPictTIFF::OnTag(tag, type, data, size);
}

bool cPictDNG::OnDngTag(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size) {
  const sTiffEntry e{tag, type, data, size};
  if (!rawIFD_ || walkingMain_) {
    switch (tag) {
      case 50706:
        if (type != kTiffByte || size != 4 || data == nullptr) return false;
        dngVersion_ = static_cast<uint32_t>(data[0]) << 24 | static_cast<uint32_t>(data[1]) << 16 |
                      static_cast<uint32_t>(data[2]) << 8 | data[3];
        break;
      case 50728:
        if (type == kTiffRational) {
          _typebuf<sTiffRational> v;
          if (!GetEntryRationals(e, v)) return false;
          neutral_.clear();
          for (int32_t i = 0; i < v.count; ++i) {
            if (v.data[i].numerator == 0) return false;
            neutral_.push_back(static_cast<double>(v.data[i].denominator) / v.data[i].numerator);
          }
        } else if (type == kTiffSRational) {
          _typebuf<sTiffSRational> v;
          if (!GetEntrySRationals(e, v)) return false;
          neutral_.clear();
          for (int32_t i = 0; i < v.count; ++i) {
            if (v.data[i].numerator == 0) return false;
            neutral_.push_back(static_cast<double>(v.data[i].denominator) / v.data[i].numerator);
          }
        } else {
          _typebuf<uint32_t> ignored;
          if (!GetEntryInts(e, ignored)) return false;
        }
        break;
      default: break;
    }
  }
  if (!rawIFD_) return true;
  switch (tag) {
    case 33421: {
      _typebuf<uint32_t> v;
      if (!GetEntryInts(e, v) || v.count != 2 || v.data[0] > 0xFFFF || v.data[1] > 0xFFFF) return false;
      patternRows_ = static_cast<uint16_t>(v.data[0]);
      patternColumns_ = static_cast<uint16_t>(v.data[1]);
      break;
    }
    case 33422: {
      _typebuf<uint8_t> bytes;
      if (!CopyEntryBytes(e, bytes)) return false;
      if (bytes.count != static_cast<int32_t>(patternRows_) * patternColumns_) return false;
      if (!cfaPattern_.Assign(patternRows_, patternColumns_, bytes.data, bytes.count)) return false;
      break;
    }
    case 50714:
      if (type == kTiffRational) {
        _typebuf<sTiffRational> v;
        if (!GetEntryRationals(e, v) || v.count < 1) return false;
        // A zero denominator counts as black 0 instead of dividing by it.
        blackLevel_ = v.data[0].denominator == 0 ? 0 : v.data[0].numerator / v.data[0].denominator;
      } else {
        _typebuf<uint32_t> v;
        if (!GetEntryInts(e, v) || v.count < 1) return false;
        blackLevel_ = v.data[0];
      }
      break;
    case 50717: {
      _typebuf<uint32_t> v;
      if (!GetEntryInts(e, v) || v.count < 1) return false;
      whiteLevel_ = v.data[0];
      break;
    }
    case 50719:
    case 50720: {
      std::vector<uint32_t> values;
      if (type == kTiffRational) {
        _typebuf<sTiffRational> v;
        if (!GetEntryRationals(e, v) || v.count != 2) return false;
        for (int32_t i = 0; i < 2; ++i) {
          const sTiffRational& r = v.data[i];
          if (r.denominator == 0) {
            if (tag == 50720) return false;
            values.push_back(0);
          } else {
            values.push_back(r.numerator / r.denominator);
          }
        }
      } else {
        _typebuf<uint32_t> v;
        if (!GetEntryInts(e, v) || v.count != 2) return false;
        values.assign(v.data, v.data + 2);
      }
      if (tag == 50720) {
        if (values[0] == 0 || values[1] == 0) return false;
        cropSize_ = values;
      } else {
        cropOrigin_ = values;
      }
      break;
    }
    case 50829: {
      _typebuf<uint32_t> v;
      if (!GetEntryInts(e, v) || v.count != 4) break;
      const uint32_t top = v.data[0], left = v.data[1], bottom = v.data[2], right = v.data[3];
      cropOrigin_ = {left, top};
      if (cropSize_.size() != 2) cropSize_.assign(2, 0);
      if (right != 0) cropSize_[0] = right - left;
      if (bottom != 0) cropSize_[1] = bottom - top;
      break;
    }
    default: break;
  }
  return true;
}

bool cPict3FR::OnTag(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size) {
  // A real DNGVersion makes the file a DNG, never a 3FR.
  if (tag == 50706) return false;
  if (tag == 271 && !StartsWith(AsciiValue(data, size), "Hasselblad", true)) return false;
  if (tag == 50708) {
    // A real DNG version was read: this is a DNG, never a 3FR.
    if (DngVersion() == 0) SetDngVersion(k3FRVersion);
    return DngVersion() == k3FRVersion;
  }
  return cPictDNG::OnTag(tag, type, data, size);
}

// ---- Walks ----

void cPictDNG::ResetPage() {
  cPictTIFF::ResetPage();
  dngVersion_ = 0;
  rawIFD_ = false;
  ResetSensorTags();
  neutral_.clear();
}

void cPictDNG::ResetSensorTags() {
  cfaPattern_.Clear();
  patternRows_ = patternColumns_ = 0;
  whiteLevel_ = 0;
  blackLevel_ = 0;
  cropSize_.clear();
  cropOrigin_.clear();
}

bool cPictDNG::WalkMain(cFileIOTarget* stream) {
  ResetPage();
  make_.clear();
  model_.clear();
  mainSubIfds_.Reset();
  mainSamplesPerPixel_ = 0;
  if (stream == nullptr || !stream->Seek(0)) return false;
  source_ = stream;
  SetDecodeThumbnail(false);
  ResetExif(this, kIfd0);
  walkingMain_ = true;
  const bool ok = cTiffGeneric::ReadHeader(stream, kWholeStream);
  walkingMain_ = false;
  if (!ok) return false;
  mainSubIfds_.Reallocate(subIfds_.count);
  if (subIfds_.count > 0) std::memcpy(mainSubIfds_.data, subIfds_.data, static_cast<size_t>(subIfds_.count) * 4);
  mainSamplesPerPixel_ = samplesPerPixel_;
  return dngVersion_ >= 0x01000000u;
}

bool cPictDNG::WalkMainAsSensor(cFileIOTarget* stream) {
  // The version and white balance are read again on the way (rule b).
  ResetPage();
  rawIFD_ = true;
  if (!stream->Seek(0)) return false;
  ResetExif(this, kIfd0);
  walkingMain_ = true;
  const bool ok = cTiffGeneric::ReadHeader(stream, kWholeStream);
  walkingMain_ = false;
  return ok;
}

bool cPictDNG::WalkSub(cFileIOTarget* stream, uint32_t offset, bool asSensor) {
  // The TIFF page state and the sensor tags start afresh; what the main IFD
  // said (version, white balance, make and model) stays.
  cPictTIFF::ResetPage();
  ResetSensorTags();
  rawIFD_ = asSensor;
  return ReadIFD(this, stream, kIfd0, offset, IsBigEndian(), IsBigTiff(), kWholeStream);
}

bool cPictDNG::SingleImageLayout() const {
  return mainSubIfds_.count == 0 || (mainSubIfds_.count == 1 && mainSamplesPerPixel_ == 1);
}

bool cPictDNG::IsLeicaM10() const {
  return StartsWith(make_, "Leica Camera AG", false) && StartsWith(model_, "LEICA M10", false);
}

bool cPictDNG::CropBorders(int32_t W, int32_t H, sRawBorders& b) const {
  b = sRawBorders();
  if (cropSize_.size() != 2) return false;
  int64_t ox = cropOrigin_.size() == 2 && cropOrigin_[0] < static_cast<uint32_t>(W) ? cropOrigin_[0] : 0;
  if (ox & 1) ++ox;
  int64_t oy = cropOrigin_.size() == 2 && cropOrigin_[1] < static_cast<uint32_t>(H) ? cropOrigin_[1] : 0;
  const int64_t right = static_cast<int64_t>(cropSize_[0]) + ox > W ? 0 : W - cropSize_[0] - ox;
  const int64_t bottom = static_cast<int64_t>(cropSize_[1]) + oy > H ? 0 : H - cropSize_[1] - oy;
  if ((oy & 1) && dngVersion_ < 0x01040000u) ++oy;
  b.left = static_cast<int32_t>(ox);
  b.right = static_cast<int32_t>(right);
  b.top = static_cast<int32_t>(oy);
  b.bottom = static_cast<int32_t>(bottom);
  return true;
}

// ---- Entry points ----

bool cPictDNG::ReadInfo(cFileIOTarget* stream, sPictInfo* info) {
  return RawGuarded([&] {
    if (!WalkMain(stream)) return false;
    bool preview;
    if (SingleImageLayout()) {
      preview = mainSubIfds_.count == 1;
      if (!WalkMainAsSensor(stream)) return false;
    } else {
      preview = IsPageSupported();
      if (!WalkSub(stream, mainSubIfds_.data[0], true)) return false;
    }
    if (!IsPageSupported()) return false;
    if (info != nullptr) {
      if (cropSize_.size() == 2) {
        info->width = static_cast<int32_t>(cropSize_[0] & ~3u);
        info->height = static_cast<int32_t>(cropSize_[1]);
      } else {
        info->width = FindIntProp(18)->value & ~3;
        info->height = FindIntProp(19)->value;
      }
      info->hasPreview = preview;
    }
    return true;
  });
}

bool cPictDNG::Detect(cFileIOTarget* stream, sPictInfo* info) {
  cPictDNG probe;
  return stream != nullptr && stream->Seek(0) && probe.ReadInfo(stream, info);
}

bool cPict3FR::Detect(cFileIOTarget* stream, sPictInfo* info) {
  cPict3FR probe;
  return stream != nullptr && stream->Seek(0) && probe.ReadInfo(stream, info);
}

int32_t cPictDNG::GetImageCount(cFileIOTarget* stream) {
  int32_t n = 0;
  RawGuarded([&] {
    if (!WalkMain(stream)) return false;
    n = mainSubIfds_.count > 0 ? mainSubIfds_.count : 1;
    return true;
  });
  return n;
}

bool cPictDNG::GetImageInfo(cFileIOTarget* stream, int32_t index, int32_t& width, int32_t& height) {
  if (index < 0) return false;
  return RawGuarded([&] {
    if (!WalkMain(stream)) return false;
    if (IsLeicaM10()) --index;
    if (SingleImageLayout()) {
      if (!WalkMainAsSensor(stream)) return false;
      if (cropSize_.size() == 2) {
        width = static_cast<int32_t>(cropSize_[0]);
        height = static_cast<int32_t>(cropSize_[1]);
        return true;
      }
    } else if (index >= 0) {
      if (index >= mainSubIfds_.count) return false;
      if (!WalkSub(stream, mainSubIfds_.data[index], true) || !IsPageSupported()) return false;
    }
    return PageSensorSize(width, height);
  });
}

bool cPictDNG::Load(cFileIOTarget* stream) { return LoadImage(stream, 0); }

bool cPictDNG::LoadImage(cFileIOTarget* stream, int32_t index) {
  if (index < 0) return false;
  return RawGuarded([&] { return LoadImageInner(stream, index); });
}

bool cPictDNG::LoadImageInner(cFileIOTarget* stream, int32_t index) {
  if (!WalkMain(stream)) return false;
  if (IsLeicaM10()) --index;
  if (SingleImageLayout() || index < 0) {
    if (index > 0 || !WalkMainAsSensor(stream)) return false;
  } else {
    if (index >= mainSubIfds_.count || !WalkSub(stream, mainSubIfds_.data[index], true)) return false;
  }
  if (!IsPageSupported()) return false;
  return DecodeSensorPage(stream);
}

bool cPictDNG::DecodeSensorPage(cFileIOTarget* stream) {
  BeforeSensor();
  if (samplesPerPixel_ == 1 && cfaPattern_.Present() && sampleFormat_ <= 1) return DecodeCfa(stream);
  return DecodeWidenedPage(stream);
}

bool cPictDNG::DecodeCfa(cFileIOTarget* stream) {
  sRawSensorLayout L;
  _typebuf<uint32_t> counts;
  if (!PageSensorLayout(L, counts, true)) return false;
  L.eightBitShifted = true;
  _typebuf<uint16_t> raster;
  int32_t rw = 0;
  if (!SensorReader().Read(stream, L, raster, rw)) return false;
  sRawDevelopParams p;
  p.hasBorders = CropBorders(rw, L.height, p.borders);
  p.black = static_cast<int32_t>(blackLevel_ > 0x7FFFFFFF ? 0x7FFFFFFF : blackLevel_);
  if (StartsWith(make_, "YI TECHNOLOGY", false) && StartsWith(model_, "M1", false)) p.black = 3700;
  p.saturation = 1.5;
  if (neutral_.size() == 3) p.neutral = neutral_.data();
  return DevelopRaw(raster.data, raster.count, rw, L.height, CreateBayerFilter(cfaPattern_), p, stream, *this);
}

bool cPictDNG::EndStrips() {
  // Only pages that are not CFA data come here (LinearRaw, previews).
  if (neutral_.size() != 3 || photometric_ != 34892 || samplesPerPixel_ != 3) return true;
  const double n0 = neutral_[0], n1 = neutral_[1], n2 = neutral_[2];
  if (IsHighDepth()) {
    _typebuf<uint64_t>& px = Pixels64();
    const int64_t count = px.count;
    for (int64_t i = 0; i < count; ++i) {
      const uint64_t p = px.data[i];
      auto mul = [](uint64_t v, double m) -> uint64_t {
        const double r = static_cast<double>(v & 0xFFFF) * m;
        return r >= 65535.0 ? 0xFFFF : (r > 0 ? static_cast<uint64_t>(r) : 0);
      };
      px.data[i] = mul(p, n2) | mul(p >> 16, n1) << 16 | mul(p >> 32, n0) << 32 | (p & (uint64_t{0xFFFF} << 48));
    }
    cStreamGuardProgressTarget guard(source_);
    cRawHistogram h;
    _typebuf<uint32_t> table;
    uint32_t black = 0, middle = 0, white = 0xFFFF;
    if (!BuildRawHistogram(px.data, count, h, &guard)) return false;
    FindLevels(h.all, black, middle, white, 0.999);
    BuildToneCurve(black, white, 2.2, table);
    return ApplyToneCurve(px.data, px.data, count, table, &guard) &&
           AdjustSaturation(px.data, px.data, count, &guard, 1.5);
  }
  // 8-bit LinearRaw: white balance on the bytes, and the picture is kept.
  _typebuf<uint32_t>& px = Pixels32();
  for (int32_t i = 0; i < px.count; ++i) {
    const uint32_t p = px.data[i];
    auto mul = [](uint32_t v, double m) -> uint32_t {
      const double r = static_cast<double>(v & 0xFF) * m;
      return r >= 255.0 ? 255u : (r > 0 ? static_cast<uint32_t>(r) : 0u);
    };
    px.data[i] = mul(p, n2) | mul(p >> 8, n1) << 8 | mul(p >> 16, n0) << 16 | (p & 0xFF000000u);
  }
  return true;
}

bool cPictDNG::LoadImageFitted(cFileIOTarget* stream, cPictBase* destination, int32_t maxWidth, int32_t maxHeight,
                               int32_t, bool, uint32_t) {
  int32_t w = maxWidth, h = maxHeight;
  return LoadPreview(stream, destination, w, h);
}

bool cPictDNG::LoadPreview(cFileIOTarget* stream, cPictBase* destination, int32_t& width, int32_t& height) {
  const int32_t maxW = width, maxH = height;
  return RawGuarded([&] {
    if (destination == nullptr) return false;
    WalkMain(stream);
    if (mainSubIfds_.count == 0) return false;
    int32_t sub = -1;
    if (IsLeicaM10()) {
      if (mainSubIfds_.count < 3) return false;
      sub = 2;
    } else if (mainSubIfds_.count == 1 && mainSamplesPerPixel_ == 1) {
      sub = 0;
    }
    if (sub < 0) {
      cPictTIFF page;
      if (!stream->Seek(0) || !page.Load(stream)) return false;
      return FitRawPreview(page, destination, maxW, maxH);
    }
    if (!WalkSub(stream, mainSubIfds_.data[sub], false) || !IsPageSupported()) return false;
    return DecodePage(stream) && FitRawPreview(*this, destination, maxW, maxH);
  });
}

// ---- 3FR ----

void cPict3FR::BeforeSensor() {
  if (samplesPerPixel_ == 1 && !PatternRef().Present() && DngVersion() == k3FRVersion) {
    const uint8_t rggb[4] = {0, 1, 1, 2};
    PatternRef().Assign(2, 2, rggb, 4);
  }
}

namespace {

// The Hasselblad scan: the parser has read the tables and the frame; the
// entropy-coded data follows without byte stuffing in little-endian 32-bit
// words.
class cHasselbladScan : public cRAWLosslessJpeg {
public:
  bool DecodeLosslessScan() override {
    done = false;
    if (ComponentCount() != 1 || FrameWidth() <= 0 || FrameHeight() <= 0) return false;
    sJpegScanState state;
    struct sGuard {
      sJpegScanState& s;
      ~sGuard() { FreeScanDecoderState(s); }
    } guard{state};
    if (!StartScan(state, this)) return false;
    const sJpegDerivedTable* table = state.componentDc.data[0];
    if (table == nullptr) return false;
    const int32_t X = FrameWidth(), Y = FrameHeight();
    _typebuf<uint16_t> row(X);
    std::memset(row.data, 0, static_cast<size_t>(X) * 2);
    auto bits = [&](int32_t n, uint32_t& v) {
      v = 0;
      if (n == 0) return true;
      if (state.bitsLeft < n && !FillBitBuffer64(state)) return false;
      if (state.bitsLeft < n) return false;
      state.bitsLeft -= n;
      v = static_cast<uint32_t>(state.bitBuffer64 >> state.bitsLeft) & ((1u << n) - 1);
      return true;
    };
    auto extend = [](int32_t n, uint32_t v) -> int32_t {
      if (n == 0) return 0;
      if (n == 16 && v == 0xFFFF) return -32768;
      if ((v >> (n - 1)) == 0) return static_cast<int32_t>(v) - (1 << n) + 1;
      return static_cast<int32_t>(v);
    };
    for (int32_t y = 0; y < Y; ++y) {
      int32_t pred[2] = {0x8000, 0x8000};
      bool cut = false;
      for (int32_t x = 0; x < X && !cut; x += 2) {
        const int32_t n1 = DecodeHuffmanLossless(state, *table);
        const int32_t n2 = n1 < 0 ? -1 : DecodeHuffmanLossless(state, *table);
        uint32_t v1 = 0, v2 = 0;
        if (n1 < 0 || n2 < 0 || n1 > 16 || n2 > 16 || !bits(n1, v1) || !bits(n2, v2)) {
          if (y != Y - 1) return false;
          cut = true;
          break;
        }
        pred[0] = (pred[0] + extend(n1, v1)) & 0xFFFF;
        row.data[x] = static_cast<uint16_t>(pred[0]);
        pred[1] = (pred[1] + extend(n2, v2)) & 0xFFFF;
        if (x + 1 < X) row.data[x + 1] = static_cast<uint16_t>(pred[1]);
      }
      PutRow(row.data, y, X);
    }
    done = true;
    return true;
  }

  // Row y of the scan laid into the raster sample after sample.
  void PutRow(const uint16_t* samples, int32_t y, int32_t count) {
    int64_t s = static_cast<int64_t>(outWidth) * y;
    for (int32_t x = 0; x < count; ++x, ++s) {
      const int64_t r = s / outWidth, c = s % outWidth;
      if (r < outHeight) out[r * outWidth + c] = samples[x];
    }
  }

  uint16_t* out = nullptr;
  int32_t outWidth = 1;
  int32_t outHeight = 0;
  bool done = false;
};

}  // namespace

bool cRaw3FRSensorReader::DecodeJpegBlock(const uint8_t* data, uint32_t size, int32_t width, int32_t rows,
                                          const sRawSensorLayout&, uint16_t* out) {
  if (width <= 0 || rows <= 0) return false;
  cHasselbladScan dec;
  dec.out = out;
  dec.outWidth = width;
  dec.outHeight = rows;
  dec.SetDecodeThumbnails(false);
  cBufWrapperIO io(data, size);
  dec.Decode(&io);
  // The scan's own completion decides: the bytes after it are not markers.
  return dec.done;
}
