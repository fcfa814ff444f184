// See pict_nef.h.
#include "picture/raw/pict_nef.h"

#include <cstring>
#include <memory>
#include <utility>

#include "base/memio.h"
#include "picture/pict_jpeg.h"
#include "picture/raw/raw_develop.h"
#include "picture/raw/raw_guard.h"
#include "picture/raw/raw_nikon_unpack.h"
#include "picture/raw/raw_preview.h"

namespace {

// The main reader: a TIFF picture of IFD0 whose SubIFD list the NEF decoder
// reads, and whose own page is the small IFD0 picture of the file.
class cNEFMain : public cPictTIFF {
public:
  const _typebuf<uint32_t>& SubIfds() const { return subIfds_; }
  bool DecodePage(cFileIOTarget* stream) {
    const bool ok = DecodeStrips(stream);
    EndCanvasOutput();
    return ok;
  }
};

// decodeExifThumbnail: whether the main reader decodes the thumbnail its
// walk finds (Photoshop resources of IFD0) at once.
bool StartMain(cNEFMain& main, cFileIOTarget* stream, bool decodeExifThumbnail) {
  if (stream == nullptr || !stream->Seek(0)) return false;
  main.SetDecodeThumbnail(decodeExifThumbnail);
  return main.Start(&main, stream, cExifDecoder::kIfd0);
}

cPictPropImage* ImageProp(cPictBase& p, int32_t id) {
  cPictProp* prop = p.GetOrAddProp(id, true);
  return prop != nullptr && prop->GetType() == kPropImage ? static_cast<cPictPropImage*>(prop) : nullptr;
}

// The picture of an image property, or null.
cPictBase* PropPicture(cPictBase& p, int32_t id) {
  cPictProp* prop = p.GetOrAddProp(id, false);
  if (prop == nullptr || prop->GetType() != kPropImage) return nullptr;
  return static_cast<cPictPropImage*>(prop)->GetPicture();
}

bool Holds32(const cPictBase& p) { return p.HasPixels() && !p.IsHighDepth(); }

// Raw and preview SubIFDs by the list's length; 0 for none.
void SelectSubIfds(const _typebuf<uint32_t>& list, uint32_t& raw, uint32_t& preview) {
  raw = preview = 0;
  const int32_t n = list.count;
  auto at = [&](int32_t i) { return list.data[i]; };
  switch (n) {
    case 0: return;
    case 1: raw = at(0); return;
    case 2: raw = at(1); preview = at(0); return;
    case 3: raw = at(1); preview = at(2); return;
    case 4: raw = at(3); preview = at(2); return;
    default: raw = at(1); preview = at(0); return;
  }
}

bool MakeIsNikon(cPictBase& p) {
  cPictPropString* make = p.FindStringProp(3);
  if (make == nullptr || make->value.text == nullptr) return false;
  const char16_t* s = make->value.text;
  static const char kNikon[] = "NIKON";
  for (int i = 0; i < 5; ++i) {
    char16_t c = s[i];
    if (c == 0) return false;
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
    if (c != static_cast<char16_t>(kNikon[i])) return false;
  }
  return true;
}

void CopyStringProp(cPictBase& from, cPictBase& to, int32_t id) {
  cPictPropString* s = from.FindStringProp(id);
  if (s == nullptr) return;
  auto* d = static_cast<cPictPropString*>(to.GetOrAddProp(id, true));
  if (d != nullptr && d->GetType() == kPropString) d->value.Assign(s->value.text);
}

}  // namespace

bool cNEFProps::OnTag(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size) {
  switch (tag) {
    case 20:
      if (type == kTiffUndefined && data != nullptr && size >= 9 && std::memcmp(data, "NRW ", 4) == 0) {
        double v[4];
        if (ParseNikonNrwBalance(data, size, v)) {
          for (int i = 0; i < 4; ++i) nrw[i] = v[i];
          nrwPresent = true;
        }
      }
      return true;
    case 29:
      if (size != 0) serial = ParseSerialDigits(size, data);
      return true;
    case 147:
      if (type != kTiffShort || size != 2 || data == nullptr) return false;
      nefCompression = static_cast<uint16_t>(GetShort(data));
      return true;
    case 150: return CopyEntryBytes(sTiffEntry{tag, type, data, size}, linearisation) || true;
    case 151: return CopyEntryBytes(sTiffEntry{tag, type, data, size}, colourBalance) || true;
    case 167:
      if (size != 4 || data == nullptr) return false;
      shutterCount = GetLong(data);
      return true;
    case 256:
      if (type == kTiffUndefined && data != nullptr && size != 0) CopyEntryBytes(sTiffEntry{tag, type, data, size}, thumbnail);
      return true;
    default: return true;
  }
}

bool cNEFJpegPreview::OnTag(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size) {
  if (tag != 513 && tag != 514) return true;
  int32_t v = 0;
  if (!GetEntryInt(sTiffEntry{tag, type, data, size}, v)) return false;
  (tag == 513 ? offset : length) = static_cast<uint32_t>(v);
  return true;
}

bool cPictNEF::OnTag(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size) {
  if (GetIfdKind() == kIfd0) {
    if (tag == 33421) {
      _typebuf<uint16_t> s;
      if (type != kTiffShort || !GetEntryShorts(sTiffEntry{tag, type, data, size}, s) || s.count != 2) return false;
      patternRows_ = s.data[0];
      patternColumns_ = s.data[1];
      pattern_.rows = patternRows_;
      pattern_.columns = patternColumns_;
    } else if (tag == 33422) {
      if (!pattern_.Assign(patternRows_, patternColumns_, data, size)) return false;
    }
  }
  return cPictTIFF::OnTag(tag, type, data, size);
}

bool cPictNEF::IsPageSupported() {
  if (!cPictTIFF::IsPageSupported()) return false;
  return pattern_.rows != 0 && pattern_.columns != 0 &&
         static_cast<int64_t>(pattern_.rows) * pattern_.columns == pattern_.count;
}

int32_t cPictNEF::ReadMakerNote(cPictTIFF& main, cFileIOTarget* stream, int32_t minSize) {
  cPictProp* p = main.GetOrAddProp(21, false);
  if (p == nullptr || p->GetType() != kPropRaw) return kNoteRefused;
  auto* note = static_cast<cPictPropRaw*>(p);
  const int32_t n = note->bytes.count;
  if (n < minSize || note->bytes.data == nullptr) return kNoteRefused;
  const uint8_t* b = note->bytes.data;
  bool nikon = true;
  static const char kName[] = "nikon";
  for (int i = 0; i < 5; ++i) {
    uint8_t c = b[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<uint8_t>(c + 32);
    if (c != static_cast<uint8_t>(kName[i])) nikon = false;
  }
  if (nikon && b[5] == 0) {
    if (n < 7) return kNoteRefused;
    if (b[6] == 1) {
      if (!props_.WalkIFD(stream, main.IsBigEndian(), main.IsBigTiff(), note->offset + 8, kWholeStream))
        return kNoteRefused;
      return kNoteV1;
    }
    if (b[6] == 2) {
      if (n <= 10) return kNoteRefused;
      cBufWrapperIO io(b + 10, static_cast<uint32_t>(n - 10));
      return props_.ReadHeader(&io, kWholeStream) ? kNoteV2 : kNoteRefused;
    }
    return kNoteRefused;
  }
  if (note->offset == 0) return kNoteRefused;
  if (!props_.WalkIFD(stream, main.IsBigEndian(), main.IsBigTiff(), note->offset, kWholeStream)) return kNoteRefused;
  return kNoteBare;
}

bool cPictNEF::StartOwnPage(cFileIOTarget* stream) {
  ResetPage();
  SetDecodeThumbnail(false);
  return stream->Seek(0) && Start(this, stream, kIfd0) && IsPageSupported();
}

bool cPictNEF::WalkRaw(cFileIOTarget* stream, uint32_t offset, bool be, bool bigTiff) {
  ResetPage();
  const uint64_t size = stream->GetSize();
  if (offset == 0 || offset >= size) return false;
  // Offsets in the directory are file offsets: they are checked against the
  // whole stream.
  return ReadIFD(this, stream, kIfd0, offset, be, bigTiff, kWholeStream) && IsPageSupported();
}

bool cPictNEF::ReadInfo(cFileIOTarget* stream, sPictInfo* info) {
  return RawGuarded([&] {
    if (stream == nullptr) return false;
    cNEFMain main;
    if (!StartMain(main, stream, false) || !MakeIsNikon(main)) return false;
    const int32_t form = ReadMakerNote(main, stream, 10);
    if (form == kNoteRefused) return false;
    bool hasPreview = false;
    if (form == kNoteV1) {
      hasPreview = props_.thumbnail.count > 0;
      if (!StartOwnPage(stream)) return false;
    } else {
      if (form == kNoteBare && !StartOwnPage(stream)) return false;
      uint32_t raw, preview;
      SelectSubIfds(main.SubIfds(), raw, preview);
      hasPreview = main.IsPageSupported() || main.FindThumbnailProp() != nullptr || preview != 0;
      if (raw == 0 || !WalkRaw(stream, raw, main.IsBigEndian(), main.IsBigTiff())) return false;
    }
    if (info != nullptr) {
      cPictPropInt* w = FindIntProp(18);
      cPictPropInt* h = FindIntProp(19);
      if (w != nullptr) info->width = w->value;
      if (h != nullptr) info->height = h->value;
      info->hasPreview = hasPreview;
    }
    return true;
  });
}

bool cPictNEF::Detect(cFileIOTarget* stream, sPictInfo* info) {
  cPictNEF probe;
  return stream != nullptr && stream->Seek(0) && probe.ReadInfo(stream, info);
}

bool cPictNEF::Load(cFileIOTarget* stream) {
  return RawGuarded([&] {
    if (stream == nullptr) return false;
    stream_ = stream;
    const bool decodeThumbnails = GetDecodeThumbnails();
    auto owned = std::make_unique<cNEFMain>();
    cNEFMain* main = owned.get();
    if (!StartMain(*main, stream, decodeThumbnails)) return false;
    const int32_t form = ReadMakerNote(*main, stream, 6);
    if (form == kNoteRefused) return false;
    if (form == kNoteV1) {
      if (props_.thumbnail.count > 0) {
        auto jpeg = std::make_unique<cPictJPEG>();
        jpeg->SetDecodeThumbnails(false);
        if (decodeThumbnails) {
          cBufWrapperIO io(props_.thumbnail.data, static_cast<uint32_t>(props_.thumbnail.count));
          if (!jpeg->Load(&io)) return false;
        }
        cPictPropImage* p = ImageProp(*this, kPropIdThumbnail);
        if (p == nullptr) return false;
        p->SetPicture(jpeg.release());
      }
      if (!StartOwnPage(stream)) return false;
      return DecodeStrips(stream);
    }
    if (form == kNoteBare && !StartOwnPage(stream)) return false;
    // What the later steps need of the main reader is kept here: once it is
    // the thumbnail, a walk that replaces property 13 deletes it.
    const bool be = main->IsBigEndian(), bigTiff = main->IsBigTiff();
    uint32_t raw, preview;
    SelectSubIfds(main->SubIfds(), raw, preview);
    // Thumbnail: IFD0's own picture, else the main reader's EXIF thumbnail.
    if (main->IsPageSupported()) {
      if (decodeThumbnails && !main->DecodePage(stream)) return false;
      cPictPropImage* p = ImageProp(*this, kPropIdThumbnail);
      if (p == nullptr) return false;
      p->SetPicture(owned.release());
    } else if (cPictPropImage* theirs = main->FindThumbnailProp(); theirs != nullptr && theirs->GetPicture() != nullptr) {
      cPictPropImage* mine = ImageProp(*this, kPropIdThumbnail);
      if (mine == nullptr) return false;
      mine->Exchange(*theirs);
    }
    modelId_ = kNikonUnknown;
    if (main->FindStringProp(3) != nullptr && main->FindStringProp(4) != nullptr) {
      if (!MakeIsNikon(*main)) return false;
      CopyStringProp(*main, *this, 3);
      CopyStringProp(*main, *this, 4);
      modelId_ = FindNikonModel(main->FindStringProp(4)->value.text);
    }
    main = nullptr;
    if (raw == 0) return false;
    if (preview != 0 && preview_.WalkIFD(stream, be, bigTiff, preview, kWholeStream) && preview_.offset != 0 &&
        preview_.length != 0) {
      const uint64_t size = stream->GetSize();
      auto jpeg = std::make_unique<cPictJPEG>();
      jpeg->SetDecodeThumbnails(false);
      if (decodeThumbnails) {
        if (preview_.offset >= size || preview_.length > size - preview_.offset) return false;
        cFileIOSubRange window(stream, preview_.offset, preview_.length);
        if (!window.Seek(0) || !jpeg->Load(&window)) return false;
      }
      cPictPropImage* p = ImageProp(*this, kPropIdPreview);
      if (p == nullptr) return false;
      p->SetPicture(jpeg.release());
    }
    if (!WalkRaw(stream, raw, be, bigTiff)) return false;
    return DecodeStrips(stream);
  });
}

bool cPictNEF::BeginStrips(bool multiple) {
  plainPage_ = false;
  // The strips go to the raw frame; the pixels come from the development.
  SetOwnStripBuffers(true);
  raw_.Reset();
  rawBits_ = 0;
  const int64_t n = int64_t{GetWidth()} * GetHeight();
  if (n <= 0 || n >= cPictBase::kMaxPixelCount) return false;
  raw_.Reallocate(static_cast<int32_t>(n));
  // A single strip must cover the frame (PutRows16 refuses a shorter one and
  // zeroes what its rows leave): only several strips need a cleared frame.
  if (multiple) std::memset(raw_.data, 0, static_cast<size_t>(n) * 2);
  return true;
}

bool cPictNEF::Decompress(const uint8_t* input, int32_t count, int32_t compression, sTiffStripData& sd) {
  if (sd.bitsPerSample == 0) return false;
  if (compression == 1) {
    if (sd.bitsPerSample <= 8) {
      plainPage_ = true;
      SetOwnStripBuffers(false);
      return cPictTIFF::Decompress(input, count, compression, sd);
    }
    if (NikonTakesRaw16(modelId_)) return TakeRaw16(input, count, sd);
    if (NikonInterleavedRows(modelId_)) {
      sd.bigEndian = true;
      return UnpackInterleavedRows(input, count, sd);
    }
    return UnpackBitsBigEndian(input, count, sd);
  }
  if (compression != 34713) {
    plainPage_ = true;
    SetOwnStripBuffers(false);
    return cPictTIFF::Decompress(input, count, compression, sd);
  }
  sNikonCodingInput coding;
  coding.nefCompression = props_.nefCompression;
  coding.linearisation = props_.linearisation.count > 0 ? props_.linearisation.data : nullptr;
  coding.linearisationSize = props_.linearisation.count;
  coding.fileBigEndian = IsBigEndian();
  switch (props_.nefCompression) {
    case 0:
      return coding.linearisation != nullptr ? DecodeNikonLossless(coding, input, count, sd)
                                             : Unpack12or14Bit(input, count, sd);
    case 1:
    case 3:
    case 4: return DecodeNikonLossless(coding, input, count, sd);
    case 2: return UnpackBitsPadded(input, count, sd, 16);
    case 7: return Unpack12In16BigEndian(input, count, sd);
    case 9: return Unpack12BitPacked(input, count, sd);
    case 10: return Unpack12or14Bit(input, count, sd);
    default: return false;
  }
}

bool cPictNEF::PutRows16(int32_t y, const sTiffStripData& sd) {
  if (plainPage_) return cPictTIFF::PutRows16(y, sd);
  const int32_t w = GetWidth(), h = GetHeight();
  const int32_t n = sd.bytesPerRow / 2;
  if (raw_.count != w * h || y < 0 || sd.rows <= 0 || n < 1) return false;
  // One strip must cover the whole frame; any strip must fit it.
  if (int64_t{y} + sd.rows > h) return false;
  if (y == 0 && stripOffsets_.count == 1 && sd.rows < h) return false;
  if (int64_t{sd.data.count} < int64_t{sd.rows} * n * 2) return false;
  rawBits_ = static_cast<uint32_t>(sd.bitsPerSample);
  if (stripOffsets_.count == 1 && n == w && (reinterpret_cast<uintptr_t>(sd.data.data) & 1) == 0) {
    // One strip of exactly the frame's rows: its samples become the frame
    // instead of being copied (the strip buffer is scratch that the strip
    // loop does not read again).
    auto& strip = const_cast<sTiffStripData&>(sd);
    raw_.Free();
    raw_.data = reinterpret_cast<uint16_t*>(std::exchange(strip.data.data, nullptr));
    raw_.count = w * h;
    strip.data.count = 0;
    return true;
  }
  const int32_t copy = n < w ? n : w;
  for (int32_t r = 0; r < sd.rows; ++r) {
    uint16_t* row = raw_.data + (int64_t{y} + r) * w;
    std::memcpy(row, sd.data.data + int64_t{r} * n * 2, static_cast<size_t>(copy) * 2);
    if (copy < w) std::memset(row + copy, 0, static_cast<size_t>(w - copy) * 2);
  }
  return true;
}

std::unique_ptr<cBayerFilter> cPictNEF::CreateFilter() const {
  uint8_t fixed[4];
  if (GetNikonFixedPattern(fixed, modelId_)) {
    auto f = std::make_unique<cBayerFilter8x2>();
    sCFAPattern p;
    p.Assign(2, 2, fixed, 4);
    if (!f->SetPattern(p)) return nullptr;
    return f;
  }
  return CreateBayerFilter(pattern_);
}

bool cPictNEF::EndStrips() {
  if (plainPage_) return true;
  if (raw_.count == 0) return false;
  std::unique_ptr<cBayerFilter> filter = CreateFilter();
  if (filter == nullptr) return false;
  const int32_t black = GetNikonBlackLevel(modelId_);
  int32_t white = GetNikonWhiteLevel(modelId_);
  if (white == 0) white = static_cast<int32_t>((rawBits_ >= 16 ? 0x10000u : (1u << rawBits_)) - 1) & 0xFFFF;
  if (black >= white) return false;
  const double scale = 65535.0 / (white - black);
  sNikonBorders nb;
  GetNikonBorders(nb, modelId_);
  sRawDevelopParams p;
  p.hasBorders = true;
  p.borders.left = nb.left;
  p.borders.right = nb.right;
  p.borders.top = nb.top;
  p.borders.bottom = nb.bottom;
  p.black = black;
  p.saturation = 1.5;
  double weights[12];
  const int32_t w = GetWidth(), h = GetHeight();
  if (GetNikonColourWeights(weights, modelId_)) {
    p.demosaic = kRawDemosaicWeighted;
    p.weights = weights;
  } else {
    sNikonBalanceInput in;
    in.block = props_.colourBalance.count > 0 ? props_.colourBalance.data : nullptr;
    in.size = props_.colourBalance.count;
    in.fileBigEndian = IsBigEndian();
    in.serial = props_.serial;
    in.shutterCount = props_.shutterCount;
    in.nrwPresent = props_.nrwPresent;
    for (int i = 0; i < 4; ++i) in.nrw[i] = props_.nrw[i];
    in.modelId = modelId_;
    double wb[4];
    ReadNikonWhiteBalance(in, wb);
    double m = wb[0];
    for (int i = 1; i < 4; ++i)
      if (wb[i] != 0 && wb[i] < m) m = wb[i];
    if (m == 0) {
      p.red = p.green = p.blue = scale;
    } else {
      p.red = wb[0] * scale / m;
      p.green = wb[1] * scale / m;
      p.blue = wb[2] * scale / m;
    }
  }
  // The frame moves out of the member: DevelopRaw replaces the pixels.
  _typebuf<uint16_t> frame = std::move(raw_);
  if (!DevelopRaw(frame.data, frame.count, w, h, std::move(filter), p, stream_, *this)) return false;
  if (NikonIsD1X(modelId_)) {
    const int32_t nw = static_cast<int32_t>(GetWidth() * 0.7475149105367793);
    const int32_t nh = static_cast<int32_t>(GetHeight() * 1.48036253776435);
    cPictDummy tmp;
    // The temporary is made high-depth first: Resample keeps its flag.
    if (!tmp.AllocatePixels64(nw, nh) || !cPictBase::Resample(this, nw, nh, &tmp)) return false;
    TakePixels(&tmp);
  }
  return true;
}

bool cPictNEF::LoadImage(cFileIOTarget* stream, int32_t index) { return index == 0 && Load(stream); }

bool cPictNEF::GetImageInfo(cFileIOTarget* stream, int32_t index, int32_t& width, int32_t& height) {
  sPictInfo info;
  if (index != 0 || !ReadInfo(stream, &info)) return false;
  width = info.width;
  height = info.height;
  return true;
}

bool cPictNEF::LoadImageFitted(cFileIOTarget* stream, cPictBase* destination, int32_t maxWidth, int32_t maxHeight,
                               int32_t index, bool allowFullDecode, uint32_t background) {
  (void)background;
  return cPictBase::LoadImageFitted(stream, destination, maxWidth, maxHeight, index, allowFullDecode, 0xFFFFFF);
}

bool cPictNEF::LoadPreview(cFileIOTarget* stream, cPictBase* destination, int32_t& width, int32_t& height) {
  const int32_t wantW = width, wantH = height;
  return RawGuarded([&] {
    if (stream == nullptr || destination == nullptr) return false;
    cNEFMain main;
    if (!StartMain(main, stream, true)) return false;
    const int32_t form = ReadMakerNote(main, stream, 6);
    if (form == kNoteRefused) return false;
    if (form == kNoteV1) {
      if (props_.thumbnail.count == 0) return false;
      cPictJPEG jpeg;
      jpeg.SetDecodeThumbnails(false);
      cBufWrapperIO io(props_.thumbnail.data, static_cast<uint32_t>(props_.thumbnail.count));
      if (!jpeg.Load(&io)) return false;
      destination->TakePixels(&jpeg);
      return true;
    }
    if (form == kNoteBare && !StartOwnPage(stream)) return false;
    if (main.IsPageSupported()) {
      if (!main.DecodePage(stream)) return false;
      destination->TakePixels(&main);
    } else if (cPictBase* exif = PropPicture(main, kPropIdThumbnail); exif != nullptr && exif->HasPixels()) {
      destination->TakePixels(exif);
    }
    uint32_t raw, preview;
    SelectSubIfds(main.SubIfds(), raw, preview);
    if (raw == 0) return false;
    if (preview == 0) return Holds32(*destination);
    if (Holds32(*destination) && (wantW > 0 || wantH > 0) && !NeedsLargerPreview(*destination, wantW, wantH))
      return true;
    if (!preview_.WalkIFD(stream, main.IsBigEndian(), main.IsBigTiff(), preview, kWholeStream) ||
        preview_.offset == 0 || preview_.length == 0)
      return destination->HasPixels();
    const uint64_t size = stream->GetSize();
    if (preview_.offset >= size || preview_.length > size - preview_.offset) return destination->HasPixels();
    // The preview JPEG's own thumbnail first; it is taken only when it is
    // large enough for the wanted size by the same measure as the IFD0
    // picture, else the whole preview is decoded, scaled into the wanted
    // size on the way so that a large preview never lives whole in memory.
    {
      cFileIOSubRange window(stream, preview_.offset, preview_.length);
      cPictJPEG jpeg;
      cPictDummy small;
      int32_t w = wantW, h = wantH;
      if (window.Seek(0) && jpeg.LoadPreview(&window, &small, w, h) && Holds32(small) && (wantW > 0 || wantH > 0) &&
          !NeedsLargerPreview(small, wantW, wantH)) {
        destination->TakePixels(&small);
        return true;
      }
    }
    LoadFittedJpegPreview(stream, preview_.offset, preview_.length, destination, wantW, wantH);
    return Holds32(*destination);
  });
}

bool cPictNEF::NeedsLargerPreview(const cPictBase& have, int32_t wantW, int32_t wantH) {
  // A missing wanted width counts as 0, a missing height as 1.
  const double w = wantW > 0 ? wantW : 0.0, h = wantH > 0 ? wantH : 1.0;
  const double rw = w / have.GetWidth(), rh = h / have.GetHeight();
  return (rw > rh ? rw : rh) >= 1.5;
}
