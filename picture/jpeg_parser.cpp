// See jpeg_parser.h.
#include "picture/jpeg_parser.h"

#include <cstring>

#include "picture/jpeg_entropy.h"

namespace {

// The stream is read in pieces of this size.
constexpr int32_t kInBufferSize = 64 * 1024;

inline uint32_t Be16(const uint8_t* p) { return static_cast<uint32_t>(p[0]) << 8 | p[1]; }

inline int32_t CeilDiv(int64_t a, int64_t b) { return static_cast<int32_t>((a + b - 1) / b); }

}  // namespace

cJPEGParser::~cJPEGParser() = default;

void cJPEGParser::Reset() {
  inPos_ = inEnd_ = nullptr;
  position_ = 0;
  pendingMarker_ = 0;
  firstScan_ = true;
  stream_ = nullptr;
  precision_ = 0;
  bytesPerSample_ = 0;
  width_ = height_ = 0;
  blockSize_ = 8;
  blocksPerMcu_ = 0;
  maxH_ = maxV_ = 1;
  minDctWidth_ = minDctHeight_ = 8;
  coding_ = process_ = 0;
  buffered_ = imageBuffered_ = storeEmitted_ = false;
  frameSeen_ = jfifSeen_ = adobeSeen_ = false;
  adobeTransform_ = 0;
  colourCode_ = 0;
  restartInterval_ = 0;
  scanCount_ = 0;
  std::memset(scanComponents_, 0, sizeof scanComponents_);
  ss_ = se_ = ah_ = al_ = 0;
  limSe_ = 63;
  std::memset(quantTables_, 0, sizeof quantTables_);
  for (int i = 0; i < 4; ++i) {
    acTables_[i] = sJpegHuffTable();
    dcTables_[i] = sJpegHuffTable();
  }
  naturalOrder_ = JpegNaturalOrder(8);
  rangeLimit_ = nullptr;
  clamp8_ = nullptr;
  components_.Free();
  components_.count = 0;
  sampleTableStore_.Reset();
  clampStore_.Reset();
  coefficientBuffers_.Free();
  coefficientBuffers_.count = 0;
  storeMcusPerRow_ = storeMcuRows_ = 0;
}

bool cJPEGParser::Refill() {
  if (stream_ == nullptr) return false;
  if (inBuffer_.count == 0) inBuffer_.Reallocate(kInBufferSize);
  const uint32_t n = stream_->Read(inBuffer_.data, kInBufferSize);
  if (n == 0) return false;
  inPos_ = inBuffer_.data;
  inEnd_ = inBuffer_.data + n;
  return true;
}

bool cJPEGParser::ReadBytes(uint8_t* destination, uint32_t count) {
  while (count > 0) {
    if (inPos_ == inEnd_ && !Refill()) return false;
    uint32_t n = static_cast<uint32_t>(inEnd_ - inPos_);
    if (n > count) n = count;
    std::memcpy(destination, inPos_, n);
    inPos_ += n;
    position_ += n;
    destination += n;
    count -= n;
  }
  return true;
}

bool cJPEGParser::OnExif(const uint8_t*, uint32_t) { return true; }
bool cJPEGParser::OnSegment(uint32_t, const uint8_t*, uint32_t&) { return true; }
bool cJPEGParser::OnBufferedMcu(int32_t, int32_t, sJpegBlock* const*, int32_t) { return true; }
bool cJPEGParser::OnMcu(int32_t, int32_t, sJpegBlock* const*, int32_t) { return true; }
bool cJPEGParser::OnLosslessRow(const uint16_t* const*, int32_t, int32_t) { return true; }

bool cJPEGParser::ParseMarkers(cFileIOTarget* stream) {
  Reset();
  if (stream == nullptr) return false;
  const bool ok = ParseInner(stream);
  if (!ok && imageBuffered_ && !storeEmitted_ && coefficientBuffers_.count > 0) FinishImage();
  return ok;
}

bool cJPEGParser::ParseInner(cFileIOTarget* stream) {
  stream_ = stream;
  uint8_t soi[2];
  if (!ReadBytes(soi, 2) || soi[0] != 0xFF || soi[1] != 0xD8) return false;
  for (;;) {
    int32_t first, marker;
    if (pendingMarker_ != 0) {
      first = 0xFF;
      marker = pendingMarker_;
      pendingMarker_ = 0;
    } else {
      first = NextByte();
      marker = NextByte();
      if (first < 0 || marker < 0) return false;
    }
    if (first != 0xFF) return false;
    while (marker == 0xFF) {
      marker = NextByte();
      if (marker < 0) return false;
    }
    bool ok;
    switch (marker) {
      case 0xC0:
      case 0xC1:
      case 0xC2:
      case 0xC3:
      case 0xC9:
      case 0xCA: ok = !frameSeen_ && FrameHeader(marker); break;
      case 0xC4: ok = HuffTables(); break;
      case 0xDB: ok = QuantTables(); break;
      case 0xDD: ok = RestartInterval(); break;
      case 0xDA: ok = frameSeen_ && ScanHeader(); break;
      case 0xE0:
      case 0xE1:
      case 0xEE:
      case 0xFE: ok = AppSegment(marker); break;
      case 0xD9: return FinishImage() && OnEnd();
      case 0xF7: return false;
      default: ok = GenericSegment(static_cast<uint32_t>(marker)); break;
    }
    if (!ok) return false;
  }
}

bool cJPEGParser::ReadLength(uint32_t& length) {
  uint8_t b[2];
  if (!ReadBytes(b, 2)) return false;
  length = Be16(b);
  return length >= 2;
}

bool cJPEGParser::GenericSegment(uint32_t marker) {
  uint32_t length;
  if (!ReadLength(length)) return false;
  uint32_t count = length - 2;
  _typebuf<uint8_t> body(static_cast<int32_t>(count));
  if (!ReadBytes(body.data, count)) return false;
  return OnSegment(marker << 8 | 0xFF, body.data, count);
}

bool cJPEGParser::AppSegment(int32_t marker) {
  uint32_t length;
  if (!ReadLength(length)) return false;
  uint32_t count = length - 2;
  _typebuf<uint8_t> body(static_cast<int32_t>(count));
  if (!ReadBytes(body.data, count)) return false;
  const uint8_t* d = body.data;
  if (marker == 0xE0) {
    if (!OnSegment(0xE0FF, d, count)) return false;
    if (count >= 14 && std::memcmp(d, "JFIF", 4) == 0) jfifSeen_ = true;
  } else if (marker == 0xE1) {
    if (!OnSegment(0xE1FF, d, count)) return false;
    if (count >= 6 && std::memcmp(d, "Exif\0\0", 6) == 0 && !OnExif(d + 6, count - 6)) return false;
  } else {
    if (!OnSegment(0xEEFF, d, count)) return false;
    if (count >= 12 && std::memcmp(d, "Adobe", 5) == 0) {
      adobeSeen_ = true;
      adobeTransform_ = d[11];
    }
  }
  return true;
}

bool cJPEGParser::FrameHeader(int32_t marker) {
  uint32_t length;
  if (!ReadLength(length)) return false;
  uint32_t rest = length - 2;
  if (!OnSegment(static_cast<uint32_t>(marker) << 8 | 0xFF, nullptr, rest)) return false;
  switch (marker) {
    case 0xC0: coding_ = 1, process_ = 1; break;
    case 0xC1: coding_ = 1, process_ = 2; break;
    case 0xC2: coding_ = 1, process_ = 3; break;
    case 0xC3: coding_ = 2, process_ = 1; break;
    case 0xC9: coding_ = 3, process_ = 2; break;
    default: coding_ = 3, process_ = 3; break;
  }
  uint8_t h[6];
  if (!ReadBytes(h, 6)) return false;
  precision_ = h[0];
  height_ = static_cast<int32_t>(Be16(h + 1));
  width_ = static_cast<int32_t>(Be16(h + 3));
  const int32_t nf = h[5];
  if (precision_ < 1 || precision_ > 16) return false;
  if (height_ < 1 || height_ > 65500 || width_ < 1 || width_ > 65500) return false;
  if (nf < 1 || length < 8 || length - 8 != static_cast<uint32_t>(3 * nf)) return false;
  bytesPerSample_ = (precision_ + 7) / 8;
  components_.Allocate(nf);
  maxH_ = maxV_ = 1;
  int32_t firstBuffer = 0;
  for (int32_t i = 0; i < nf; ++i) {
    uint8_t c[3];
    if (!ReadBytes(c, 3)) return false;
    sJpegComponent& comp = components_.data[i];
    comp.identifier = c[0];
    comp.index = i;
    comp.h = c[1] >> 4;
    comp.v = c[1] & 15;
    if (comp.h < 1 || comp.h > 4 || comp.v < 1 || comp.v > 4) return false;
    // Only tables 0 to 3 exist.
    comp.quantTable = c[2];
    if (comp.quantTable > 3) return false;
    comp.firstBuffer = firstBuffer;
    firstBuffer += comp.h * comp.v;
    if (comp.h > maxH_) maxH_ = comp.h;
    if (comp.v > maxV_) maxV_ = comp.v;
  }
  frameSeen_ = true;
  return OnFrame();
}

bool cJPEGParser::QuantTables() {
  uint32_t length;
  if (!ReadLength(length)) return false;
  uint32_t rest = length - 2;
  if (!OnSegment(0xDBFF, nullptr, rest)) return false;
  while (rest > 0) {
    uint8_t pq;
    if (!ReadBytes(&pq, 1)) return false;
    --rest;
    const int32_t precision = pq >> 4, t = pq & 15;
    if (t >= 4) return false;
    const uint32_t unit = precision != 0 ? 2 : 1;
    uint16_t* table = quantTables_[t];
    uint32_t entries = 64;
    if (rest < 64 * unit) {
      for (int i = 0; i < 64; ++i) table[i] = 1;
      entries = rest / unit;
    }
    uint8_t raw[128];
    if (!ReadBytes(raw, entries * unit)) return false;
    rest -= entries * unit;
    int32_t size = 8;
    for (int32_t n = 2; n <= 7; ++n)
      if (entries == static_cast<uint32_t>(n * n)) size = n;
    const uint8_t* order = JpegNaturalOrder(size);
    for (uint32_t i = 0; i < entries; ++i)
      table[order[i]] = static_cast<uint16_t>(unit == 2 ? Be16(raw + 2 * i) : raw[i]);
  }
  return true;
}

bool cJPEGParser::HuffTables() {
  uint32_t length;
  if (!ReadLength(length)) return false;
  uint32_t rest = length - 2;
  if (!OnSegment(0xC4FF, nullptr, rest)) return false;
  while (rest > 16) {
    uint8_t head[17];
    if (!ReadBytes(head, 17)) return false;
    rest -= 17;
    const int32_t tc = head[0];
    const bool ac = (tc & 0x10) != 0;
    const int32_t number = ac ? tc - 16 : tc;
    if (number < 0 || number >= 4) return false;
    sJpegHuffTable& table = ac ? acTables_[number] : dcTables_[number];
    uint32_t total = 0;
    for (int l = 1; l <= 16; ++l) total += head[l];
    if (total > 256 || total > rest) return false;
    std::memcpy(table.bits + 1, head + 1, 16);
    table.bits[0] = 0;
    std::memset(table.huffval, 0, sizeof table.huffval);
    if (!ReadBytes(table.huffval, total)) return false;
    table.defined = true;
    rest -= total;
  }
  return rest == 0;
}

bool cJPEGParser::RestartInterval() {
  uint8_t b[4];
  if (!ReadBytes(b, 4)) return false;
  if (Be16(b) != 4) return false;
  uint32_t count = 2;
  if (!OnSegment(0xDDFF, nullptr, count)) return false;
  restartInterval_ = static_cast<int32_t>(Be16(b + 2));
  return true;
}

void cJPEGParser::GuessColour() {
  // From the frame's component count, so that a file whose first scan
  // carries one component of three or four gets the colours of the whole.
  const int32_t n = components_.count;
  if (n == 1) {
    colourCode_ = kJpegColourGrey;
  } else if (n == 3) {
    const sJpegComponent* c = components_.data;
    if (jfifSeen_) {
      colourCode_ = kJpegColourYCbCr;
    } else if (adobeSeen_) {
      colourCode_ = adobeTransform_ != 0 ? kJpegColourYCbCr : kJpegColourRGB;
    } else if (c[0].identifier == 1 && c[1].identifier == 2 && c[2].identifier == 3) {
      colourCode_ = kJpegColourYCbCr;
    } else if (c[0].identifier == 'R' && c[1].identifier == 'G' && c[2].identifier == 'B') {
      colourCode_ = kJpegColourRGB;
    } else {
      colourCode_ = precision_ > 8 ? kJpegColourRGB : kJpegColourYCbCr;
    }
  } else if (n == 4) {
    colourCode_ = adobeSeen_ && adobeTransform_ != 0 ? kJpegColourYCCK : kJpegColourCMYK;
  } else {
    colourCode_ = kJpegColourNone;
  }
}

bool cJPEGParser::ScanHeader() {
  uint8_t head[3];
  if (!ReadBytes(head, 3)) return false;
  const uint32_t length = Be16(head);
  const int32_t ns = head[2];
  uint32_t rest = length >= 2 ? length - 2 : 0;
  if (!OnSegment(0xDAFF, nullptr, rest)) return false;
  // A scan without components decodes nothing; refused in every frame.
  if (ns < 1 || ns > 4 || length != static_cast<uint32_t>(6 + 2 * ns)) return false;
  scanCount_ = ns;
  const int32_t nf = components_.count;
  int32_t firstId = -1;
  for (int32_t i = 0; i < ns; ++i) {
    uint8_t c[2];
    if (!ReadBytes(c, 2)) return false;
    int32_t index = -1;
    if (idsByOffset_) {
      if (i == 0) firstId = c[0];
      index = c[0] - firstId;
      if (index < 0 || index >= nf) return false;
    } else {
      for (int32_t k = 0; k < nf; ++k) {
        if (components_.data[k].identifier == c[0]) {
          index = k;
          break;
        }
      }
      if (index < 0) return false;
    }
    const int32_t dc = c[1] >> 4, ac = c[1] & 15;
    // Only tables 0 to 3 exist.
    if (dc > 3 || ac > 3) return false;
    scanComponents_[i] = static_cast<uint8_t>(index);
    components_.data[index].dcTable = dc;
    components_.data[index].acTable = ac;
  }
  uint8_t sel[3];
  if (!ReadBytes(sel, 3)) return false;
  ss_ = sel[0];
  se_ = sel[1];
  ah_ = sel[2] >> 4;
  al_ = sel[2] & 15;
  if (process_ == 1 || coding_ == 2 || (process_ == 3 && ns > 0)) {
    blockSize_ = 8;
    limSe_ = 63;
    naturalOrder_ = JpegNaturalOrder(8);
  } else {
    static const int32_t small[] = {0, 3, 8, 15, 24, 35, 48};
    static const int32_t large[] = {63, 80, 99, 120, 143, 168, 195, 224, 255};
    blockSize_ = 0;
    for (int32_t i = 0; i < 7; ++i) {
      if (se_ == small[i]) {
        blockSize_ = i + 1;
        limSe_ = se_;
        naturalOrder_ = JpegNaturalOrder(blockSize_);
      }
    }
    for (int32_t i = 0; i < 9; ++i) {
      if (se_ == large[i]) {
        blockSize_ = i + 8;
        limSe_ = 63;
        naturalOrder_ = JpegNaturalOrder(8);
      }
    }
    if (blockSize_ == 0) return false;
  }
  for (int32_t i = 0; i < nf; ++i) components_.data[i].needed = 0;
  for (int32_t i = 0; i < ns; ++i) {
    sJpegComponent& comp = components_.data[scanComponents_[i]];
    comp.dctWidth = comp.dctHeight = blockSize_;
    comp.widthInBlocks = CeilDiv(static_cast<int64_t>(width_) * comp.h, static_cast<int64_t>(maxH_) * blockSize_);
    comp.heightInBlocks = CeilDiv(static_cast<int64_t>(height_) * comp.v, static_cast<int64_t>(maxV_) * blockSize_);
    comp.needed = 1;
  }
  minDctWidth_ = minDctHeight_ = blockSize_;
  buffered_ = ns < nf || process_ == 3;
  if (firstScan_) GuessColour();
  return DecodeScan();
}
