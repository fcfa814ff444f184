// See pict_dicom.h.
#include "picture/pict_dicom.h"

#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "base/memio.h"
#include "picture/pict_jp2.h"
#include "picture/pict_jpeg.h"

namespace {

constexpr uint32_t kUndefinedLength = 0xFFFFFFFFu;
constexpr uint16_t kItemGroup = 0xFFFE;
constexpr uint16_t kSequenceEnd = 0xE0DD;

inline uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

// Reads up to 8 bytes at position; the count read.
uint32_t ReadHeader(cFileIOTarget* stream, uint64_t position, uint8_t (&h)[8]) {
  if (!stream->Seek(position)) return 0;
  uint32_t got = 0;
  while (got < 8) {
    const uint32_t n = stream->Read(h + got, 8 - got);
    if (n == 0) break;
    got += n;
  }
  return got;
}

bool IsImageAttribute(uint16_t group, uint16_t element) {
  if (group != 0x0028) return false;
  switch (element) {
    case 0x0002: case 0x0006: case 0x0010: case 0x0011: case 0x0100: case 0x0101: case 0x0103: return true;
    default: return false;
  }
}

void StoreAttribute(sDicomFrame& f, uint16_t element, uint32_t value) {
  switch (element) {
    case 0x0002: f.samplesPerPixel = value; break;
    case 0x0006: f.planarConfiguration = value; break;
    case 0x0010: f.rows = value; break;
    case 0x0011: f.columns = value; break;
    case 0x0100: f.bitsAllocated = value; break;
    case 0x0101: f.bitsStored = value; break;
    default: f.pixelRepresentation = value; break;
  }
}

// Samples x bytes per sample x columns x rows, in 64 bits.
uint64_t FrameSize(const sDicomFrame& f) {
  return uint64_t{f.samplesPerPixel} * (f.bitsAllocated / 8) * f.columns * f.rows;
}

// DICOM values have even lengths: an odd frame is followed by one padding
// byte, which is no reason to take the frame for encapsulated data.
bool IsNativeLength(uint64_t length, uint64_t frameSize) {
  return length == frameSize || (frameSize % 2 == 1 && length == frameSize + 1);
}

}  // namespace

sDicomFrame* FindOrAddDicomFrame(tDicomFrameMap& map, int32_t index) { return map.FindOrInsert(index); }

// ---- Shared operations ----

bool cPictDICOMFrames::EnsureParsed(cFileIOTarget* stream) {
  if (!frames_.IsEmpty()) return true;
  if (stream == nullptr) return false;
  ReleasePixels();
  frames_.Clear();
  bool ok = false;
  try {
    ok = Parse(stream);
  } catch (...) {
    ok = false;
  }
  if (!ok) frames_.Clear();
  return ok && !frames_.IsEmpty();
}

const sDicomFrame* cPictDICOMFrames::FrameAt(int32_t index) {
  if (index < 0) return nullptr;
  int32_t i = 0;
  for (auto* n = frames_.First(); n != nullptr; n = tDicomFrameMap::Next(n), ++i)
    if (i == index) return &n->value;
  return nullptr;
}

bool cPictDICOMFrames::ReadInfo(cFileIOTarget* stream, sPictInfo* info) {
  try {
    if (!EnsureParsed(stream)) return false;
    const sDicomFrame* f = FrameAt(0);
    if (f == nullptr) return false;
    if (info != nullptr) {
      info->width = static_cast<int32_t>(f->columns);
      info->height = static_cast<int32_t>(f->rows);
      info->hasPreview = false;
    }
    return true;
  } catch (...) {
    return false;
  }
}

bool cPictDICOMFrames::Load(cFileIOTarget* stream) { return LoadImage(stream, 0); }

int32_t cPictDICOMFrames::GetImageCount(cFileIOTarget* stream) {
  try {
    if (!EnsureParsed(stream)) return 0;
    int32_t count = 0;
    for (auto* n = frames_.First(); n != nullptr; n = tDicomFrameMap::Next(n)) ++count;
    return count;
  } catch (...) {
    return 0;
  }
}

bool cPictDICOMFrames::GetImageInfo(cFileIOTarget* stream, int32_t index, int32_t& width, int32_t& height) {
  try {
    if (!EnsureParsed(stream)) return false;
    const sDicomFrame* f = FrameAt(index);
    if (f == nullptr) return false;
    width = static_cast<int32_t>(f->columns);
    height = static_cast<int32_t>(f->rows);
    return true;
  } catch (...) {
    return false;
  }
}

bool cPictDICOMFrames::LoadImage(cFileIOTarget* stream, int32_t index) {
  bool ok = false;
  try {
    ok = EnsureParsed(stream) && DecodeFrame(stream, FrameAt(index));
  } catch (...) {
    ok = false;
  }
  if (GetAttachedCanvas() != nullptr) DetachCanvas();
  return ok;
}

bool cPictDICOMFrames::LoadImageFitted(cFileIOTarget* stream, cPictBase* destination, int32_t maxWidth,
                                       int32_t maxHeight, int32_t index, bool, uint32_t background) {
  if (destination == nullptr || maxWidth < 1 || maxHeight < 1) return false;
  bool ok = false;
  try {
    if (!EnsureParsed(stream)) return false;
    const sDicomFrame* f = FrameAt(index);
    if (f == nullptr || f->columns == 0 || f->rows == 0) return false;
    if (f->columns > static_cast<uint32_t>(maxWidth) || f->rows > static_cast<uint32_t>(maxHeight)) {
      double s = static_cast<double>(maxWidth) / f->columns;
      const double sy = static_cast<double>(maxHeight) / f->rows;
      if (sy < s) s = sy;
      int32_t w = static_cast<int32_t>(f->columns * s + 0.5), h = static_cast<int32_t>(f->rows * s + 0.5);
      if (w < 1) w = 1;
      if (h < 1) h = 1;
      if (!destination->CreateBlank(w, h)) return false;
      sPictCanvas canvas;
      sPictCanvas::FromPicture(canvas, destination);
      canvas.background = background;
      if (!AttachCanvas(&canvas)) return false;
      ok = DecodeFrame(stream, f);
    } else {
      ok = DecodeFrame(stream, f);
      if (ok && IsHighDepth()) {
        _typebuf<uint32_t> converted;
        ok = GetPixels32(converted);
        if (ok) {
          Pixels32() = std::move(converted);
          SetHighDepth(false);
        }
      }
      if (ok) destination->TakePixels(this);
    }
  } catch (...) {
    ok = false;
  }
  if (GetAttachedCanvas() != nullptr) DetachCanvas();
  return ok;
}

bool cPictDICOMFrames::DecodeFrame(cFileIOTarget* stream, const sDicomFrame* frame) {
  if (stream == nullptr || frame == nullptr) return false;
  const sDicomFrame& f = *frame;
  if (f.columns > 0x7FFFFFFFu || f.rows > 0x7FFFFFFFu) return false;
  SetSize(static_cast<int32_t>(f.columns), static_cast<int32_t>(f.rows));
  if (f.bitsStored == 0 || f.bitsAllocated < f.bitsStored || (f.bitsAllocated != 8 && f.bitsAllocated != 16))
    return false;
  const uint64_t frameSize = FrameSize(f);
  if (frameSize != 0 &&
      (IsNativeLength(f.dataLength, frameSize) || (IsLegacy() && f.dataLength == 2 * frameSize)))
    return DecodeNative(stream, f);
  return DecodeEncapsulated(stream, f);
}

bool cPictDICOMFrames::DecodeEncapsulated(cFileIOTarget* stream, const sDicomFrame& f) {
  // A window opens only where the pixel data is longer than its start: a
  // shorter value would give a negative length.
  auto window = [&](uint32_t skip, cFileIOSubRange& w) {
    if (f.dataLength <= skip) return false;
    w.Attach(stream, uint64_t{f.dataPosition} + skip, f.dataLength - skip);
    return w.IsOpen();
  };
  cFileIOSubRange w;
  std::unique_ptr<cPictBase> inner;
  bool isJpeg = false;
  for (uint32_t skip : {20u, 24u}) {
    if (IsLegacy() && skip != 20) break;
    if (window(skip, w) && w.Seek(0) && cPictJ2K::Detect(&w, nullptr)) {
      inner = std::make_unique<cPictJ2K>();
      break;
    }
  }
  if (inner == nullptr && !IsLegacy()) {
    for (uint32_t skip : {16u, 20u}) {
      if (window(skip, w) && w.Seek(0) && cPictJPEG::Detect(&w, nullptr)) {
        inner = std::make_unique<cPictJPEG>();
        isJpeg = true;
        break;
      }
    }
  }
  if (inner == nullptr) return false;
  sPictCanvas* canvas = GetAttachedCanvas();
  if (canvas != nullptr && canvas->width > 0 && canvas->height > 0) {
    DetachCanvas();
    if (!inner->AttachCanvas(canvas)) return false;
    w.Seek(0);
    const bool ok = inner->Load(&w);
    if (inner->GetAttachedCanvas() != nullptr) inner->DetachCanvas();
    return ok;
  }
  w.Seek(0);
  if (!inner->Load(&w)) return false;
  if (!isJpeg) {
    TakePixels(inner.get());
    return true;
  }
  return StretchLevels(inner.get());
}

bool cPictDICOMFrames::DecodeNative(cFileIOTarget* stream, const sDicomFrame& f) {
  const int32_t width = static_cast<int32_t>(f.columns), height = static_cast<int32_t>(f.rows);
  const bool deep = f.bitsAllocated == 16;
  const uint32_t bytes = f.bitsAllocated / 8;
  const uint32_t samples = f.samplesPerPixel;
  if (samples != 1 && samples != 3) return false;
  if (static_cast<int64_t>(width) * height >= kMaxPixelCount || width == 0 || height == 0) return false;
  const bool planar = samples == 3 && f.planarConfiguration != 0;
  const uint64_t rowBytes64 = uint64_t{planar ? 1 : samples} * f.columns * bytes;
  if (rowBytes64 > 0x7FFFFFFFu) return false;
  const uint32_t rowBytes = static_cast<uint32_t>(rowBytes64);
  const uint32_t mask = deep ? 0xFFFF : 0xFF;
  double scale = (static_cast<double>(mask)) / ((uint64_t{1} << f.bitsStored) - 1);
  uint32_t minimum = 0;

  _typebuf<uint8_t> row;
  row.Resize(static_cast<int32_t>(rowBytes));
  auto sampleAt = [&](uint32_t i) -> uint32_t {
    return deep ? Le16(row.data + 2 * i) : row.data[i];
  };
  auto readRow = [&](uint64_t at) { return stream->Seek(at) && stream->ReadExact(row.data, rowBytes); };
  auto convert = [&](uint32_t v) -> uint32_t {
    return static_cast<uint32_t>(static_cast<uint64_t>(static_cast<double>(v - minimum) * scale)) & mask;
  };

  if (samples == 1) {
    uint32_t lo = mask, hi = 0;
    for (int32_t r = 0; r < height; ++r) {
      if (!readRow(uint64_t{f.dataPosition} + uint64_t{rowBytes} * r)) return false;
      for (uint32_t x = 0; x < f.columns; ++x) {
        const uint32_t v = sampleAt(x);
        if (v < lo) lo = v;
        if (v > hi) hi = v;
      }
    }
    if (hi > lo) {
      minimum = lo;
      scale = static_cast<double>(mask) / (hi - lo);
    }
  }

  const bool streaming = BeginCanvasOutput();
  if (!streaming && !(deep ? AllocatePixels64(width, height) : AllocatePixels32(width, height))) return false;
  if (!streaming && planar) {
    if (deep)
      std::memset(Pixels64().data, 0, static_cast<size_t>(width) * height * 8);
    else
      std::memset(Pixels32().data, 0, static_cast<size_t>(width) * height * 4);
  }
  auto put = [&](int32_t x, int32_t y, uint32_t r, uint32_t g, uint32_t b) {
    if (deep) {
      const uint64_t p = uint64_t{0xFFFF} << 48 | uint64_t{r} << 32 | uint64_t{g} << 16 | b;
      if (streaming)
        PutCanvasPixel64(x, y, p);
      else
        Pixels64().data[static_cast<int64_t>(y) * width + x] = p;
    } else {
      const uint32_t p = 0xFF000000u | r << 16 | g << 8 | b;
      if (streaming)
        PutCanvasPixel(x, y, p);
      else
        Pixels32().data[static_cast<int64_t>(y) * width + x] = p;
    }
  };
  // channel: 0 blue, 1 green, 2 red, 3 alpha.
  auto putChannel = [&](int32_t x, int32_t y, int32_t channel, uint32_t v) {
    if (streaming) {
      if (deep)
        PutCanvasChannel16(x, y, channel, v);
      else
        PutCanvasChannel(x, y, channel, v);
    } else if (deep) {
      uint64_t& p = Pixels64().data[static_cast<int64_t>(y) * width + x];
      p = (p & ~(uint64_t{0xFFFF} << (16 * channel))) | uint64_t{v} << (16 * channel);
    } else {
      uint32_t& p = Pixels32().data[static_cast<int64_t>(y) * width + x];
      p = (p & ~(0xFFu << (8 * channel))) | v << (8 * channel);
    }
  };

  bool ok = true;
  if (!planar) {
    for (int32_t r = 0; r < height && ok; ++r) {
      if (!readRow(uint64_t{f.dataPosition} + uint64_t{rowBytes} * r)) {
        ok = false;
        break;
      }
      const int32_t y = height - 1 - r;
      for (uint32_t x = 0; x < f.columns; ++x) {
        if (samples == 1) {
          const uint32_t v = convert(sampleAt(x));
          put(static_cast<int32_t>(x), y, v, v, v);
        } else {
          put(static_cast<int32_t>(x), y, convert(sampleAt(3 * x)), convert(sampleAt(3 * x + 1)),
              convert(sampleAt(3 * x + 2)));
        }
      }
    }
  } else {
    const uint64_t planeBytes = uint64_t{rowBytes} * f.rows;
    for (int32_t plane = 0; plane < 3 && ok; ++plane) {
      const int32_t channel = 2 - plane;  // R, G, B planes
      for (int32_t r = 0; r < height; ++r) {
        if (!readRow(uint64_t{f.dataPosition} + planeBytes * plane + uint64_t{rowBytes} * r)) {
          ok = false;
          break;
        }
        for (uint32_t x = 0; x < f.columns; ++x)
          putChannel(static_cast<int32_t>(x), height - 1 - r, channel, convert(sampleAt(x)));
      }
    }
    if (ok)
      for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) putChannel(x, y, 3, mask);
  }
  if (streaming) EndCanvasOutput();
  return ok;
}

// ---- cPictDICOM: preamble, explicit VR ----

bool cPictDICOM::Detect(cFileIOTarget* stream, sPictInfo* info) {
  cPictDICOM probe;
  return probe.ReadInfo(stream, info);
}

bool cPictDICOM::Parse(cFileIOTarget* stream) {
  uint8_t magic[4];
  if (!stream->Seek(128) || !stream->ReadExact(magic, 4) || std::memcmp(magic, "DICM", 4) != 0) return false;
  stream_ = stream;
  const uint64_t end = stream->GetSize() & 0xFFFFFFFFu;
  uint64_t position = 132;
  int32_t counter = 0;
  if (!ParseElements(stream, position, end, counter, 0)) return false;

  // Drop incomplete records, then split multi-frame pixel data. Copies go
  // after the largest key, so the walk meets them too (and leaves them).
  tDicomFrameMap& map = Frames();
  std::vector<int32_t> drop;
  for (auto* n = map.First(); n != nullptr; n = tDicomFrameMap::Next(n)) {
    const sDicomFrame& f = n->value;
    if (f.columns == 0 || f.rows == 0 || f.dataPosition == 0 || f.dataLength == 0 || f.samplesPerPixel == 0 ||
        FrameSize(f) == 0)
      drop.push_back(n->key);
  }
  for (int32_t key : drop) map.Erase(map.FindNode(key));
  int32_t records = 0;
  for (auto* n = map.First(); n != nullptr; n = tDicomFrameMap::Next(n)) ++records;
  std::vector<int32_t> keys;
  for (auto* n = map.First(); n != nullptr; n = tDicomFrameMap::Next(n)) keys.push_back(n->key);
  for (int32_t key : keys) {
    const sDicomFrame f = *map.Find(key);
    const uint64_t size = FrameSize(f);
    uint64_t frames = f.dataLength / size;
    const uint64_t rest = f.dataLength - frames * size;
    if (frames < 2 || !(rest == 0 || (rest == 1 && (frames * size) % 2 == 1))) continue;
    auto* last = map.Last();
    int32_t next = last->key;
    --records;  // the record split is replaced by its frames
    for (uint64_t i = 0; i < frames; ++i) {
      if (records >= kMaxFrames || next == INT32_MAX) break;
      sDicomFrame* copy = FindOrAddDicomFrame(map, ++next);
      if (copy == nullptr) return false;
      *copy = f;
      copy->dataPosition = static_cast<uint32_t>(f.dataPosition + i * size);
      copy->dataLength = static_cast<uint32_t>(size);
      ++records;
    }
    map.Erase(map.FindNode(key));
  }
  return !map.IsEmpty();
}

bool cPictDICOM::ParseElements(cFileIOTarget* stream, uint64_t& position, uint64_t end, int32_t& counter,
                               int32_t depth) {
  if (depth > kMaxDepth) return false;
  const int32_t item = counter;
  uint32_t previous = 0;  // group << 16 | element
  bool first = true;
  for (;;) {
    uint8_t h[8];
    const uint32_t got = ReadHeader(stream, position, h);
    if (got == 0) return true;
    if (got < 8) return false;
    const uint16_t group = Le16(h), element = Le16(h + 2);
    if (group >= 0x8000 && group != 0xFFFA && group != 0xFFFC) return group == kItemGroup;
    position += 8;
    const uint32_t tag = uint32_t{group} << 16 | element;
    if (!first && tag <= previous) return false;
    first = false;
    previous = tag;
    const char vr[2] = {static_cast<char>(h[4]), static_cast<char>(h[5])};
    static constexpr char kShort[][3] = {"AE", "AS", "AT", "CS", "DA", "DS", "DT", "FD", "FL", "IS", "LO",
                                         "LT", "PN", "SH", "SL", "SS", "ST", "TM", "UI", "UL", "US"};
    static constexpr char kLong[][3] = {"OB", "OD", "OF", "OW", "SQ", "UN", "UT"};
    auto in = [&](const auto& table) {
      for (const auto& t : table)
        if (t[0] == vr[0] && t[1] == vr[1]) return true;
      return false;
    };
    uint64_t length;
    if (in(kShort)) {
      length = Le16(h + 6);
    } else if (in(kLong)) {
      if (Le16(h + 6) != 0) return false;
      uint8_t l[4];
      if (!stream->Seek(position) || !stream->ReadExact(l, 4)) return false;
      position += 4;
      length = Le32(l);
      if (length == kUndefinedLength) length = end > position ? end - position : 0;
    } else {
      return false;
    }
    if (vr[0] != 'S' || vr[1] != 'Q') {
      if (position + length > stream->GetSize()) return false;
      if (!OnElement(group, element, vr, static_cast<uint32_t>(length), static_cast<uint32_t>(position), item))
        return false;
      position += length;
    } else {
      const uint64_t sequenceEnd = position + length;
      while (position < sequenceEnd) {
        uint8_t ih[8];
        if (ReadHeader(stream, position, ih) != 8) return false;
        position += 8;
        const uint16_t ig = Le16(ih), ie = Le16(ih + 2);
        const uint32_t il = Le32(ih + 4);
        if (ig == kItemGroup && ie == kSequenceEnd) break;
        if (il == 0) continue;
        if (counter == INT32_MAX) return false;
        ++counter;
        const uint64_t itemEnd = il == kUndefinedLength ? sequenceEnd : position + il;
        if (!ParseElements(stream, position, itemEnd, counter, depth + 1)) return false;
        // An item that ended at its delimitation tag leaves the position on
        // it; the loop reads it next as a zero-length item.
      }
    }
    if (position == end) return true;
    if (position > end) return false;
  }
}

bool cPictDICOM::OnElement(uint16_t group, uint16_t element, const char vr[2], uint32_t length,
                           uint32_t position, int32_t item) {
  if (group == 0x7FE0 && element == 0x0010) {
    sDicomFrame* f = FindOrAddDicomFrame(Frames(), item);
    if (f == nullptr) return false;
    f->dataPosition = position;
    f->dataLength = length;
    return true;
  }
  if (!IsImageAttribute(group, element)) return true;
  uint8_t v[4];
  uint32_t value;
  if (length == 2 && vr[0] == 'U' && vr[1] == 'S') {
    if (!stream_->Seek(position) || !stream_->ReadExact(v, 2)) return false;
    value = Le16(v);
  } else if (length == 4 && vr[0] == 'U' && vr[1] == 'L') {
    if (!stream_->Seek(position) || !stream_->ReadExact(v, 4)) return false;
    value = Le32(v);
  } else {
    return false;
  }
  if (value == 0 && element != 0x0006 && element != 0x0103) return false;
  sDicomFrame* f = FindOrAddDicomFrame(Frames(), item);
  if (f == nullptr) return false;
  StoreAttribute(*f, element, value);
  return true;
}

// ---- cPictDICOMLegacy: no preamble, implicit VR ----

bool cPictDICOMLegacy::Detect(cFileIOTarget* stream, sPictInfo* info) {
  cPictDICOMLegacy probe;
  return probe.ReadInfo(stream, info);
}

bool cPictDICOMLegacy::Parse(cFileIOTarget* stream) {
  stream_ = stream;
  uint64_t position = 0;
  int32_t counter = 0;
  if (!ParseElements(stream, position, stream->GetSize(), counter, 0)) return false;
  tDicomFrameMap& map = Frames();
  std::vector<int32_t> drop;
  for (auto* n = map.First(); n != nullptr; n = tDicomFrameMap::Next(n)) {
    sDicomFrame& f = n->value;
    if (f.columns == 0 || f.rows == 0 || f.dataPosition == 0 || f.dataLength == 0)
      drop.push_back(n->key);
    else if (f.samplesPerPixel == 0)
      f.samplesPerPixel = 1;
  }
  for (int32_t key : drop) map.Erase(map.FindNode(key));
  return !map.IsEmpty();
}

bool cPictDICOMLegacy::ParseElements(cFileIOTarget* stream, uint64_t& position, uint64_t end, int32_t& counter,
                                     int32_t depth) {
  if (depth > kMaxDepth) return false;
  const int32_t index = counter;
  const uint64_t size = stream->GetSize();
  uint32_t previous = 0;  // group << 16 | element; the first is compared with 0
  // The end of the data: nothing, or two zero bytes, may follow.
  auto endOfData = [&](uint32_t got, const uint8_t* h) { return got == 0 || (got == 2 && h[0] == 0 && h[1] == 0); };
  uint8_t h[8];
  uint32_t got = ReadHeader(stream, position, h);
  for (;;) {
    if (got < 8) return endOfData(got, h);
    const uint16_t group = Le16(h), element = Le16(h + 2);
    const uint32_t length = Le32(h + 4);
    if (group >= 0x8000 && group != 0xFFFA && group != 0xFFFC) return group == kItemGroup;
    if (group == 0 && element == 0 && length == 0) return true;
    position += 8;
    const uint32_t tag = uint32_t{group} << 16 | element;
    if (group < previous >> 16) return previous == 0x7FE00010u;
    if (group == previous >> 16 && element <= (previous & 0xFFFF)) return false;
    previous = tag;
    if (length == kUndefinedLength) {
      if (position >= end) return true;
      for (;;) {
        uint8_t ih[8];
        if (ReadHeader(stream, position, ih) != 8) return false;
        position += 8;
        const uint16_t ig = Le16(ih), ie = Le16(ih + 2);
        const uint32_t il = Le32(ih + 4);
        if (ig == kItemGroup && ie == kSequenceEnd) break;
        if (il != 0) {
          if (counter == INT32_MAX) return false;
          ++counter;
          const uint64_t itemEnd = il == kUndefinedLength ? end : position + il;
          if (!ParseElements(stream, position, itemEnd, counter, depth + 1)) return false;
        }
        if (position >= end) break;
      }
      if (position >= end) return true;
      got = ReadHeader(stream, position, h);
      continue;
    }
    if (length > 0x7FFFFFFEu || position + length > size) return false;
    if (!OnElement(group, element, length, static_cast<uint32_t>(position), index)) return false;
    position += length;
    if (position == end) return true;
    got = ReadHeader(stream, position, h);
    if (position > end) return endOfData(got, h);
  }
}

bool cPictDICOMLegacy::OnElement(uint16_t group, uint16_t element, uint32_t length, uint32_t position,
                                 int32_t index) {
  if (group == 0x7FE0 && element == 0x0010) {
    sDicomFrame* f = FindOrAddDicomFrame(Frames(), index);
    if (f == nullptr) return false;
    f->dataPosition = position;
    f->dataLength = length;
    return true;
  }
  if (!IsImageAttribute(group, element)) return true;
  if (length != 2) return false;
  uint8_t v[2];
  if (!stream_->Seek(position) || !stream_->ReadExact(v, 2)) return false;
  sDicomFrame* f = FindOrAddDicomFrame(Frames(), index);
  if (f == nullptr) return false;
  StoreAttribute(*f, element, Le16(v));
  return true;
}
