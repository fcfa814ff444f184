// See pict_tiff.h. Pages, the tag handler and the Photoshop thumbnail.
#include "picture/pict_tiff.h"

#include <algorithm>
#include <memory>

#include "base/memio.h"
#include "picture/pict_factory.h"
#include "picture/pict_jpeg.h"

namespace {

inline uint32_t Be32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 | p[3];
}

}  // namespace

void cPictTIFF::ResetPage() {
  photometric_ = 0;
  ownStripBuffers_ = false;
  rowsPerStrip_ = 0;
  stripOffsets_.Reset();
  stripByteCounts_.Reset();
  tileWidth_ = tileLength_ = 0;
  tileOffsets_.Reset();
  tileByteCounts_.Reset();
  subIfds_.Reset();
  bitsPerSampleValues_.Reset();
  bitsPerSample_ = 0;
  samplesPerPixel_ = 0;
  planar_ = 0;
  colorMap_.Reset();
  streaming_ = false;
  t4Options_ = 0;
  predictor_ = 0;
  fillOrder_ = 1;
  sampleFormat_ = 0;
  nextIfd_ = 0;
  visited_.clear();
}

bool cPictTIFF::IsPageSupported() {
  if (planar_ != 0 && planar_ != 1 && planar_ != 2 && planar_ != 0x8000) return false;
  if (bitsPerSample_ < 1 || bitsPerSample_ > 64) return false;
  if (samplesPerPixel_ < 1 || samplesPerPixel_ > 5) return false;
  if (stripOffsets_.count > 0) {
    if (stripByteCounts_.count == 0 ? stripOffsets_.count != 1 : stripByteCounts_.count != stripOffsets_.count)
      return false;
  } else {
    if (tileOffsets_.count == 0) return false;
    // One byte count per tile; only a single uncompressed tile may go
    // without (its size then follows from the geometry).
    if (tileByteCounts_.count == 0 ? tileOffsets_.count != 1 : tileByteCounts_.count != tileOffsets_.count)
      return false;
  }
  return FindIntProp(18) != nullptr && FindIntProp(19) != nullptr;
}

bool cPictTIFF::OnTag(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size) {
  if (GetIfdKind() != kIfd0) {
    if (tag == kNextIfdTag) {
      nextIfd_ = GetLong(data);
      return true;
    }
    return cExifDecoder::OnTag(tag, type, data, size);
  }
  const sTiffEntry e{tag, type, data, size};
  int32_t v = 0;
  uint16_t s = 0;
  switch (tag) {
    case 254:
    case 255:
      if (!GetEntryInt(e, v)) return false;
      break;
    case 258:
      if (size == 2) {
        if (!GetEntryShort(e, s)) return false;
        bitsPerSampleValues_.Reset();
        bitsPerSample_ = s;
      } else {
        if (!GetEntryShorts(e, bitsPerSampleValues_) || bitsPerSampleValues_.count == 0) return false;
        bitsPerSample_ = bitsPerSampleValues_.data[0];
      }
      break;
    case 262:
      if (!GetEntryShort(e, photometric_)) return false;
      break;
    case 266:
      if (!GetEntryShort(e, fillOrder_)) return false;
      break;
    case 273:
      if (!GetEntryInts(e, stripOffsets_)) return false;
      break;
    case 277:
      if (!GetEntryInt(e, samplesPerPixel_)) return false;
      break;
    case 278:
      if (!GetEntryInt(e, v)) return false;
      rowsPerStrip_ = static_cast<uint32_t>(v);
      break;
    case 279:
      if (!GetEntryInts(e, stripByteCounts_)) return false;
      break;
    case 284:
      if (!GetEntryShort(e, planar_)) return false;
      break;
    case 292:
      if (!GetEntryInt(e, t4Options_)) return false;
      break;
    case 301:
    case 342: {
      _typebuf<uint16_t> ignored;
      if (!GetEntryShorts(e, ignored)) return false;
      break;
    }
    case 317:
      if (!GetEntryShort(e, predictor_)) return false;
      break;
    case 318:
    case 319:
    case 532: {
      _typebuf<sTiffRational> ignored;
      if (!GetEntryRationals(e, ignored)) return false;
      break;
    }
    case 320:
      if (!GetEntryShorts(e, colorMap_)) return false;
      break;
    case 322:
    case 323:
      if (!GetEntryInt(e, v) || v == 0) return false;
      (tag == 322 ? tileWidth_ : tileLength_) = v;
      break;
    case 324:
      if (!GetEntryInts(e, tileOffsets_)) return false;
      break;
    case 325:
      if (!GetEntryInts(e, tileByteCounts_)) return false;
      break;
    case 330:
      if (!GetEntryInts(e, subIfds_)) return false;
      break;
    case 339:
      if (!GetEntryShort(e, sampleFormat_)) return false;
      break;
    case 34377:
      if ((type == kTiffByte || type == kTiffUndefined) && size >= 13 && data != nullptr) PhotoshopStep(data, size);
      break;
    case kNextIfdTag:
      if (!GetEntryInt(e, v)) return false;
      nextIfd_ = static_cast<uint32_t>(v);
      return true;
    default: break;
  }
  return cExifDecoder::OnTag(tag, type, data, size);
}

bool cPictTIFF::FindPhotoshopThumbnail(const uint8_t* data, int32_t size, int32_t& start, int32_t& length) {
  // Image resource blocks: "8BIM", 16-bit id, a Pascal name (empty here,
  // two zero bytes), a 32-bit size, the data padded to even length. Photoshop
  // writes them big-endian whatever the byte order of the TIFF around them.
  bool found = false;
  int64_t p = 0;
  while (size - p >= 12) {
    const uint8_t* b = data + p;
    if (b[0] != '8' || b[1] != 'B' || b[2] != 'I' || b[3] != 'M') return false;
    const uint32_t key = Be32(b + 4), n = Be32(b + 8);
    if (n > static_cast<uint64_t>(size - p - 12)) return false;
    if (key == (uint32_t{1036} << 16)) {
      found = true;
      start = static_cast<int32_t>(p + 12);
      length = static_cast<int32_t>(n);
    }
    p += 12 + n + (n & 1);
  }
  return found;
}

bool cPictTIFF::PhotoshopStep(const uint8_t* data, int32_t size) {
  int32_t start = 0, length = 0;
  if (!FindPhotoshopThumbnail(data, size, start, length) || length <= 28) return true;
  const uint8_t* block = data + start;
  // The thumbnail header: the compressed size at 20 must account for the
  // whole block after its 28 header bytes.
  if (static_cast<uint64_t>(Be32(block + 20)) + 28 != static_cast<uint64_t>(length)) return true;
  auto jpeg = std::make_unique<cPictJPEG>();
  jpeg->SetDecodeThumbnails(false);
  if (GetDecodeThumbnail()) {
    cBufWrapperIO io(block + 28, static_cast<uint32_t>(length - 28));
    if (!cPictJPEG::PlausibleEmbeddedSize(&io, io.GetSize()) || !jpeg->Load(&io)) return true;
  }
  auto* p = static_cast<cPictPropImage*>(GetOrAddProp(kPropIdThumbnail, true));
  if (p != nullptr && p->GetType() == kPropImage) p->SetPicture(jpeg.release());
  return true;
}

bool cPictTIFF::OpenFile(cFileIOTarget* stream, bool decodeThumbnail) {
  ResetPage();
  SetDecodeThumbnail(decodeThumbnail);
  ResetExif(this, kIfd0);
  if (!cTiffGeneric::ReadHeader(stream, kWholeStream)) return false;
  visited_.push_back(CurrentIfdOffset());
  return IsPageSupported();
}

bool cPictTIFF::AdvancePage(cFileIOTarget* stream) {
  const uint32_t next = nextIfd_;
  if (next == 0) return false;
  nextIfd_ = 0;
  if (visited_.size() >= static_cast<size_t>(kMaxPages)) return false;
  if (std::find(visited_.begin(), visited_.end(), next) != visited_.end()) return false;
  visited_.push_back(next);
  ClearGpsAndIfd1();
  if (!WalkIFD(stream, IsBigEndian(), IsBigTiff(), next, kWholeStream)) return false;
  return IsPageSupported();
}

bool cPictTIFF::ReadInfo(cFileIOTarget* stream, sPictInfo* info) {
  try {
    if (!OpenFile(stream, false)) return false;
    if (info != nullptr) {
      cPictPropInt* w = FindIntProp(18);
      cPictPropInt* h = FindIntProp(19);
      info->width = w != nullptr ? w->value : 0;
      info->height = h != nullptr ? h->value : 0;
      info->hasPreview = GetOrAddProp(kPropIdThumbnail, false) != nullptr;
    }
    return true;
  } catch (...) {
    return false;
  }
}

bool cPictTIFF::Detect(cFileIOTarget* stream, sPictInfo* info) {
  cPictTIFF probe;
  return probe.ReadInfo(stream, info);
}

bool cPictTIFF::ReadTIFFInfo(cFileIOTarget* stream, sPictInfo* info) { return Detect(stream, info); }

int32_t cPictTIFF::GetImageCount(cFileIOTarget* stream) {
  try {
    if (!OpenFile(stream, false)) return 0;
    int32_t n = 1;
    while (AdvancePage(stream)) ++n;
    return n;
  } catch (...) {
    return 0;
  }
}

bool cPictTIFF::GetImageInfo(cFileIOTarget* stream, int32_t index, int32_t& width, int32_t& height) {
  if (index < 0) return false;
  try {
    if (!OpenFile(stream, false)) return false;
    for (int32_t i = 0; i < index; ++i) {
      Props().Erase(18);
      Props().Erase(19);
      if (!AdvancePage(stream)) return false;
    }
    cPictPropInt* w = FindIntProp(18);
    cPictPropInt* h = FindIntProp(19);
    if (w == nullptr || h == nullptr) return false;
    width = w->value;
    height = h->value;
    return true;
  } catch (...) {
    return false;
  }
}

bool cPictTIFF::LoadPage(cFileIOTarget* stream, int32_t index) {
  bool ok = false;
  try {
    selectedPage_ = index;
    ok = OpenFile(stream, true);
    for (int32_t i = 0; ok && i < index; ++i) {
      predictor_ = 0;
      ok = AdvancePage(stream);
    }
    if (ok) {
      cPictPropInt* w = FindIntProp(18);
      cPictPropInt* h = FindIntProp(19);
      if (tileOffsets_.count > 0 && w != nullptr && h != nullptr && tileWidth_ == w->value &&
          tileLength_ == h->value) {
        // One tile of the picture's size decodes as one strip.
        std::swap(tileOffsets_, stripOffsets_);
        std::swap(tileByteCounts_, stripByteCounts_);
      }
      ok = stripOffsets_.count > 0 ? DecodeStrips(stream) : DecodeTiles(stream);
    }
  } catch (...) {
    ok = false;
  }
  EndCanvasOutput();
  streaming_ = false;
  return ok;
}

bool cPictTIFF::Load(cFileIOTarget* stream) { return LoadPage(stream, 0); }

bool cPictTIFF::LoadImage(cFileIOTarget* stream, int32_t index) {
  if (index < 0) return false;
  return LoadPage(stream, index);
}

bool cPictTIFF::LoadPreview(cFileIOTarget* stream, cPictBase* destination, int32_t&, int32_t&) {
  try {
    if (destination == nullptr || !OpenFile(stream, true)) return false;
    cPictPropImage* p = FindThumbnailProp();
    if (p == nullptr || p->GetPicture() == nullptr || !p->GetPicture()->HasPixels()) return false;
    destination->TakePixels(p->GetPicture());
    return destination->HasPixels();
  } catch (...) {
    return false;
  }
}

bool cPictTIFF::LoadImageFitted(cFileIOTarget* stream, cPictBase* destination, int32_t maxWidth, int32_t maxHeight,
                                int32_t index, bool allowFull, uint32_t background) {
  if (index < 0 || destination == nullptr || maxWidth < 1 || maxHeight < 1) return false;
  bool ok = false;
  sPictCanvas canvas;  // outlives the output that EndCanvasOutput closes
  try {
    if (!OpenFile(stream, true)) return false;
    for (int32_t i = 0; i < index; ++i) {
      predictor_ = 0;
      Props().Erase(kPropIdThumbnail);
      if (!AdvancePage(stream)) return false;
    }
    cPictPropImage* thumb = FindThumbnailProp();
    if (thumb != nullptr && thumb->GetPicture() != nullptr && thumb->GetPicture()->HasPixels())
      return FitPictureToBox(destination, thumb->GetPicture(), maxWidth, maxHeight, background);
    if (!allowFull) return false;
    cPictPropInt* w = FindIntProp(18);
    cPictPropInt* h = FindIntProp(19);
    if (w == nullptr || h == nullptr || w->value <= 0 || h->value <= 0) return false;
    double s = static_cast<double>(maxWidth) / w->value;
    const double sy = static_cast<double>(maxHeight) / h->value;
    if (sy < s) s = sy;
    if (s > 1.0) s = 1.0;
    const int32_t fw = static_cast<int32_t>(w->value * s + 0.5), fh = static_cast<int32_t>(h->value * s + 0.5);
    if (fw == 0 || fh == 0 || !destination->CreateBlank(fw, fh)) return false;
    sPictCanvas::FromPicture(canvas, destination);
    canvas.background = background;
    if (!AttachCanvas(&canvas)) return false;
    ok = stripOffsets_.count > 0 && DecodeStrips(stream);
  } catch (...) {
    ok = false;
  }
  EndCanvasOutput();
  DetachCanvas();
  streaming_ = false;
  return ok;
}

bool cPictTIFF::BeginStrips(bool) { return true; }
bool cPictTIFF::BeginTiles() { return true; }
bool cPictTIFF::EndStrips() { return true; }
bool cPictTIFF::EndTiles() { return true; }

bool cPictTIFF::StreamStillOpen() {
  cFileIOTarget* s = GetStream();
  return s != nullptr && s->IsOpen();
}
