// See exif.h.
#include "picture/exif.h"

#include <cstring>
#include <memory>
#include <new>

#include "base/memio.h"
#include "base/utf8.h"
#include "picture/pict_jpeg.h"

namespace {

enum : int32_t {
  kPropCapture = 1,
  kPropDate = 2,
  kPropMake = 3,
  kPropModel = 4,
  kPropExposure = 5,
  kPropFNumber = 6,
  kPropIso = 7,
  kPropXRes = 8,
  kPropYRes = 9,
  kPropUnit = 10,
  kPropMirror = 11,
  kPropRotation = 12,
  kPropLatitude = 15,
  kPropLongitude = 16,
  kPropAltitude = 17,
  kPropWidth = 18,
  kPropHeight = 19,
  kPropCompression = 20,
  kPropMakerNote = 21,
};

// SHORT of exactly 2 bytes or LONG of exactly 4: the one value.
bool ExactShortOrLong(const cTiffGeneric& w, uint32_t type, const uint8_t* data, int32_t size, uint32_t& v) {
  if (type == kTiffShort && size == 2) v = w.GetShort(data);
  else if (type == kTiffLong && size == 4) v = w.GetLong(data);
  else return false;
  return true;
}

bool IsRational(uint32_t type, int32_t size) {
  return (type == kTiffRational || type == kTiffSRational) && size >= 8;
}

}  // namespace

template <class T>
T* cExifDecoder::SetProp(int32_t id, int32_t kind) {
  if (target_ == nullptr) return nullptr;
  cPictProp* p = target_->GetOrAddProp(id, true);
  return p != nullptr && p->GetType() == kind ? static_cast<T*>(p) : nullptr;
}

bool cExifDecoder::ReadHeader(cFileIOTarget*, uint64_t) { return false; }

void cExifDecoder::ClearGpsAndIfd1() {
  latitudeSouth_ = longitudeWest_ = altitudeBelow_ = false;
  ifd1Jpeg_ = false;
  thumbOffset_ = thumbLength_ = -1;
}

void cExifDecoder::ResetExif(cPictBase* target, int32_t kind) {
  ClearGpsAndIfd1();
  target_ = target;
  ifdKind_ = kind;
}

bool cExifDecoder::ReadIFD(cPictBase* target, cFileIOTarget* stream, int32_t kind, uint64_t offset, bool bigEndian,
                           bool bigTiff, uint64_t length) {
  ResetExif(target, kind);
  return WalkIFD(stream, bigEndian, bigTiff, offset, length);
}

bool cExifDecoder::Start(cPictBase* target, cFileIOTarget* stream, int32_t kind) {
  ResetExif(target, kind);
  return cTiffGeneric::ReadHeader(stream, kWholeStream);
}

void cExifDecoder::OrientationToMirrorRotation(uint32_t o, int32_t& mirror, int32_t& rotation) {
  static constexpr int32_t kMirror[9] = {0, 0, 1, 0, 2, 1, 0, 1, 0};
  static constexpr int32_t kRotation[9] = {0, 0, 0, 180, 0, 90, 270, 270, 90};
  if (o > 8) o = 0;
  mirror = kMirror[o];
  rotation = kRotation[o];
}

bool cExifDecoder::OnEntry(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size, uint64_t valueOffset) {
  if (tag == 37500 && size > 0 && (ifdKind_ == kIfd0 || ifdKind_ == kIfdExif || ifdKind_ == kIfdInterop)) {
    std::unique_ptr<uint8_t[]> copy;
    const uint8_t* bytes = data;
    if (bytes == nullptr) {
      // Read apart from the scratch buffer: the base fetch below reads the
      // same value again for the handler.
      copy.reset(new (std::nothrow) uint8_t[static_cast<size_t>(size)]);
      cFileIOTarget* s = GetStream();
      if (copy == nullptr || !s->Seek(valueOffset) || !s->ReadExact(copy.get(), static_cast<uint32_t>(size)))
        return Fail(kTiffBadValue);
      bytes = copy.get();
    }
    if (auto* raw = SetProp<cPictPropRaw>(kPropMakerNote, kPropRaw)) {
      raw->bytes.Reallocate(size);
      std::memcpy(raw->bytes.data, bytes, static_cast<size_t>(size));
      raw->offset = data != nullptr ? 0 : valueOffset;
    }
  }
  return cTiffGeneric::OnEntry(tag, type, data, size, valueOffset);
}

bool cExifDecoder::OnTag(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size) {
  switch (ifdKind_) {
    case kIfd0:
    case kIfdExif:
    case kIfdInterop: return OnTagMain(tag, type, data, size);
    case kIfdGps: return OnTagGps(tag, type, data, size);
    case kIfd1: return OnTagIfd1(tag, type, data, size);
    default: return true;
  }
}

bool cExifDecoder::OnTagMain(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size) {
  switch (tag) {
    case 256:
    case 257: {
      uint32_t v;
      if (type == kTiffShort && size >= 2) v = GetShort(data);
      else if (type == kTiffLong && size >= 4) v = GetLong(data);
      else return false;
      if (auto* p = SetProp<cPictPropInt>(tag == 256 ? kPropWidth : kPropHeight, kPropInt))
        p->value = static_cast<int32_t>(v);
      return true;
    }
    case 259: {
      uint32_t v;
      if (!ExactShortOrLong(*this, type, data, size, v)) return false;
      if (auto* p = SetProp<cPictPropInt>(kPropCompression, kPropInt)) p->value = static_cast<int32_t>(v);
      return true;
    }
    case 271:
    case 272: {
      if (type != kTiffAscii || size < 1) return false;
      if (size == 1 || data == nullptr) return true;
      const char* text = reinterpret_cast<const char*>(data);
      const int32_t n = size - 1;
      const int32_t units = Utf8UnitCount(text, n);
      _typebuf<char16_t> wide(units + 1);
      const int32_t got = Utf8Decode(text, n, wide.data, units);
      wide.data[got < 0 ? 0 : got] = 0;
      if (auto* p = SetProp<cPictPropString>(tag == 271 ? kPropMake : kPropModel, kPropString))
        p->value.Assign(wide.data);
      return true;
    }
    case 274: {
      uint32_t v;
      if (!ExactShortOrLong(*this, type, data, size, v)) return false;
      int32_t mirror, rotation;
      OrientationToMirrorRotation(v, mirror, rotation);
      if (auto* p = SetProp<cPictPropInt>(kPropMirror, kPropInt)) p->value = mirror;
      if (auto* p = SetProp<cPictPropInt>(kPropRotation, kPropInt)) p->value = rotation;
      return true;
    }
    case 282:
    case 283: {
      if (!IsRational(type, size)) return false;
      const double v = GetRational(data);
      if (v > 0.0)
        if (auto* p = SetProp<cPictPropDouble>(tag == 282 ? kPropXRes : kPropYRes, kPropDouble)) p->value = v;
      return true;
    }
    case 296: {
      uint32_t v;
      if (!ExactShortOrLong(*this, type, data, size, v)) return false;
      if (auto* p = SetProp<cPictPropInt>(kPropUnit, kPropInt)) p->value = v == 3 ? 0 : 1;
      return true;
    }
    case 306:
    case 36867: {
      if (type != kTiffAscii || size < 10) return false;
      sPictTimestamp t;
      if (data != nullptr && ParseExifDate(size - 1, reinterpret_cast<const char*>(data), t))
        if (auto* p = SetProp<cPictPropTimestamp>(tag == 306 ? kPropDate : kPropCapture, kPropTimestamp))
          p->value = t;
      return true;
    }
    case 33434:
    case 33437: {
      if (!IsRational(type, size)) return false;
      if (auto* p = SetProp<cPictPropDouble>(tag == 33434 ? kPropExposure : kPropFNumber, kPropDouble))
        p->value = GetRational(data);
      return true;
    }
    case 34855: {
      if (type != kTiffShort || size < 2) return false;
      if (auto* p = SetProp<cPictPropInt>(kPropIso, kPropInt)) p->value = static_cast<int32_t>(GetShort(data));
      return true;
    }
    case kIfdExif:
    case kIfdGps:
    case kIfdInterop:
      if (type != kTiffLong && size != 4) return false;
      if (size < 4) return false;
      return WalkSubIfd(tag, data);
    case kNextIfdTag:
      if (type != kTiffLong || size != 4) return false;
      if (ifdKind_ != kIfd0) return true;
      return WalkSubIfd(kIfd1, data);
    default: return true;
  }
}

bool cExifDecoder::WalkSubIfd(uint32_t kind, const uint8_t* data) {
  const uint64_t offset = GetLong(data);
  const uint64_t length = GetLength();
  if ((length >> 32) != 0 || offset + 2 <= length) {
    if (IsBeingWalked(offset)) return Fail(kTiffCycle);
    cExifDecoder nested;
    nested.SetDecodeThumbnail(decodeThumbnail_);
    nested.SetParentWalk(this);
    const bool ok =
        nested.ReadIFD(target_, GetStream(), static_cast<int32_t>(kind), offset, IsBigEndian(), IsBigTiff(), length);
    if (!ok) SetError(nested.GetError() != 0 ? nested.GetError() : kTiffHandlerRefused);
    else if (nested.GetError() == kTiffThumbnailFailed) SetError(kTiffThumbnailFailed);
    return ok;
  }
  return offset == length;
}

bool cExifDecoder::OnTagGps(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size) {
  switch (tag) {
    case 1:
    case 3: {
      if (type != kTiffAscii || size != 2) return false;
      const char c = static_cast<char>(data[0]);
      if (c == 0 || c == (tag == 1 ? 'N' : 'E')) (tag == 1 ? latitudeSouth_ : longitudeWest_) = false;
      else if (c == (tag == 1 ? 'S' : 'W')) (tag == 1 ? latitudeSouth_ : longitudeWest_) = true;
      else return false;
      return true;
    }
    case 2:
    case 4: {
      if (type != kTiffRational || size < 16) return false;
      double v = GetRational(data) + GetRational(data + 8) / 60.0;
      if (size >= 24) v += GetRational(data + 16) / 3600.0;
      if (tag == 2 ? latitudeSouth_ : longitudeWest_) v = -v;
      if (auto* p = SetProp<cPictPropDouble>(tag == 2 ? kPropLatitude : kPropLongitude, kPropDouble)) p->value = v;
      return true;
    }
    case 5: {
      uint32_t v;
      if (type == kTiffByte && size >= 1) v = data[0];
      else if (type == kTiffShort && size >= 2) v = GetShort(data);
      else if (type == kTiffRational && size >= 8) return true;
      else return false;
      if (v > 1) return false;
      altitudeBelow_ = v == 1;
      return true;
    }
    case 6: {
      if (type != kTiffRational || size < 8) return false;
      double v = GetRational(data);
      if (altitudeBelow_) v = -v;
      if (auto* p = SetProp<cPictPropDouble>(kPropAltitude, kPropDouble)) p->value = v;
      return true;
    }
    default: return true;
  }
}

bool cExifDecoder::OnTagIfd1(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size) {
  switch (tag) {
    case 259: {
      if (type != kTiffShort || size < 2) return false;
      const uint32_t c = GetShort(data);
      ifd1Jpeg_ = c == 6 || c == 7 || c == 99;
      return true;
    }
    case 513:
      if (type != kTiffLong || size < 4) return false;
      thumbOffset_ = GetLong(data);
      return true;
    case 514:
      if (type != kTiffLong || size < 4) return false;
      thumbLength_ = GetLong(data);
      return ThumbnailStep();
    default: return true;
  }
}

bool cExifDecoder::ThumbnailStep() {
  if (!ifd1Jpeg_ || thumbLength_ <= 0 || thumbOffset_ <= 0) return true;
  cFileIOSubRange window(GetStream(), static_cast<uint64_t>(thumbOffset_), static_cast<uint64_t>(thumbLength_));
  if (!window.IsOpen()) return false;
  auto jpeg = std::make_unique<cPictJPEG>();
  // The thumbnail's own EXIF thumbnail is never wanted; not decoding it also
  // bounds the nesting of thumbnails inside thumbnails.
  jpeg->SetDecodeThumbnails(false);
  if (decodeThumbnail_) {
    window.Seek(0);
    if (!cPictJPEG::PlausibleEmbeddedSize(&window, window.GetSize()) || !jpeg->Load(&window)) {
      SetError(kTiffThumbnailFailed);
      return true;
    }
  }
  if (auto* p = SetProp<cPictPropImage>(kPropIdThumbnail, kPropImage)) p->SetPicture(jpeg.release());
  return true;
}
