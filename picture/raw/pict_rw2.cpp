// See pict_rw2.h.
#include "picture/raw/pict_rw2.h"

#include <cstring>

#include "picture/pict_area.h"
#include "picture/raw/raw_guard.h"
#include "picture/raw/raw_panasonic.h"

namespace {

struct sRw2Model {
  const char* names[12];
  int32_t right, black;
  int32_t left, top, bottom;
  int8_t blockCoded;   // -1 unchanged
  int8_t splitRefill;  // -1 unchanged
  bool blueFactor;     // blue gain x 0.74
  bool setNothing;
};

// Sensor borders and black levels by model (right border, black level in
// sensor samples); first match wins.
const sRw2Model kModels[] = {
    {{"DC-G9"}, 56, 0, 0, 0, 0, -1, -1, false, false},
    {{"DC-GH6", "DC-S5M2", "DC-GH5S"}, 0, 0, 0, 0, 0, -1, -1, false, true},
    {{"DMC-G2", "DMC-GF1", "DMC-G10", "DMC-GH1", "DMC-FZ35"}, 41, 0, 0, 0, 0, -1, -1, false, false},
    {{"DMC-G1"}, 41, 0, 0, 0, 0, 1, -1, false, false},
    {{"DMC-G3"}, 167, 90, 0, 0, 0, -1, -1, false, false},
    {{"DMC-G5", "DMC-G6", "DMC-GH3", "DMC-GH4"}, 181, 90, 0, 0, 0, -1, -1, false, false},
    {{"DMC-G7", "DMC-GF6", "DMC-GM1", "DMC-GX7", "DMC-GM5", "DMC-GF7", "DC-GX800"}, 207, 90, 0, 0, 0, -1, -1, false,
     false},
    {{"DMC-GX80", "DC-GX880"}, 207, 120, 0, 0, 0, -1, -1, true, false},
    {{"DC-G95", "DC-G90", "DMC-GX8", "DC-ZS70"}, 63, 96, 0, 0, 0, -1, -1, false, false},
    {{"DC-GX9", "DC-G100", "DC-TZ95"}, 63, 120, 0, 0, 0, -1, -1, false, false},
    {{"DC-GH5", "DC-ZS80", "DC-LX100M2"}, 56, 120, 0, 0, 0, -1, -1, false, false},
    {{"DMC-L1"}, 9, 0, 0, 0, 0, -1, -1, false, false},
    {{"V-LUX 1"}, 14, 0, 2, 0, 3, -1, -1, false, false},
    {{"D-LUX 3"}, 64, 0, 18, 14, 24, -1, -1, false, false},
    {{"D-LUX 5", "DMC-G80", "DMC-FZ70", "DMC-FZ72", "DMC-GX85", "DC-GX850", "DMC-FZ100", "DMC-FZ150", "DMC-FZ200"},
     195, 96, 0, 0, 0, -1, -1, false, false},
    {{"DMC-L10"}, 28, 0, 0, 0, 4, 1, 0, false, false},
    {{"DMC-FZ8"}, 29, 0, 4, 0, 0, -1, -1, false, false},
    {{"DC-TZ90"}, 100, 148, 0, 0, 0, -1, -1, false, false},
    {{"DMC-GF3"}, 69, 120, 0, 0, 0, -1, -1, false, false},
    {{"DMC-GF5", "DMC-LF1", "DMC-TZ60", "DMC-ZS40", "DMC-ZS50", "C (Typ 112)"}, 127, 90, 0, 0, 0, -1, -1, false,
     false},
    {{"DC-FZ82"}, 127, 125, 0, 0, 0, -1, -1, false, false},
    {{"DMC-GX1"}, 151, 90, 0, 0, 0, -1, -1, false, false},
    {{"DMC-GH2"}, 204, 0, 0, 0, 0, -1, -1, false, false},
    {{"DMC-LX2"}, 38, 0, 0, 0, 0, -1, -1, false, false},
    {{"DMC-LX3"}, 77, 0, 0, 0, 0, -1, -1, false, false},
    {{"DMC-LX5"}, 196, 90, 0, 0, 0, -1, -1, false, false},
    {{"D-Lux 7"}, 95, 120, 0, 0, 0, -1, -1, false, false},
    {{"DMC-LX7", "D-LUX 6"}, 27, 90, 0, 0, 0, -1, -1, false, false},
    {{"DC-FZ80", "DMC-TZ71", "DMC-TZ70", "DMC-TZ80", "DMC-FZ330", "DMC-FZ300"}, 126, 120, 0, 0, 0, -1, -1, false,
     false},
    {{"DMC-LX1", "DMC-FZ30"}, 16, 0, 0, 0, 0, -1, -1, false, false},
    {{"DMC-GF2"}, 72, 90, 0, 0, 0, -1, -1, false, false},
    {{"DMC-CM1", "V-Lux 5", "DC-TZ200", "DMC-LX15", "DMC-LX10", "DMC-TZ100", "DMC-ZS100", "DMC-FZ1000", "DMC-FZ2000",
      "DMC-FZ2500", "DC-FZ1000M2", "V-LUX (Typ 114)"},
     0, 120, 0, 0, 0, -1, -1, false, false},
    {{"DMC-FZ18"}, 30, 0, 10, 0, 0, -1, -1, false, false},
    {{"DMC-FZ28"}, 56, 0, 0, 0, 0, -1, -1, false, false},
    {{"DMC-FZ38"}, 51, 40, 0, 0, 0, -1, -1, false, false},
    {{"DMC-FZ45"}, 56, 0, 0, 0, 6, -1, -1, false, false},
    {{"DMC-FZ50"}, 14, 0, 0, 0, 3, -1, -1, false, false},
    {{"DMC-LX100"}, 13, 90, 0, 0, 0, -1, -1, false, false},
    {{"D-LUX (Typ 109)"}, 79, 96, 0, 0, 0, -1, -1, false, false},
};

// The development's white level is capped by the largest raw sample scaled
// by the gains' spread.
struct sCap {
  double ratio;
};
void CapWhite(const cRawDevelopContext& context, uint32_t&, uint32_t& white, void* user) {
  const double ratio = static_cast<sCap*>(user)->ratio;
  const uint32_t white2 = static_cast<uint32_t>(static_cast<int64_t>(context.maxSample * ratio + 0.5));
  if (white2 < white) white = white2;
}

}  // namespace

bool cPictRWL::Detect(cFileIOTarget* stream, sPictInfo* info) {
  return RawGuarded([&] {
    cPictRWL probe;
    return stream != nullptr && stream->Seek(0) && probe.ReadInfo(stream, info);
  });
}

void cPictRWL::Reset() {
  sensorWidth_ = sensorHeight_ = 0;
  stripOffsets_.Reset();
  stripCounts_.Reset();
  rowsPerStrip_ = 0;
  for (double& g : gains_) g = 1.0;
  borders_ = sRawBorders{};
  blockCoded_ = false;
  splitRefill_ = true;
  cfaCode_ = 4;
  black_ = 0;
}

bool cPictRWL::ReadHeader(cFileIOTarget* stream, uint64_t length) {
  SetError(kTiffOk);
  if (stream == nullptr) return Fail(kTiffNoStream);
  if (length < 8 || length == kWholeStream) return Fail(kTiffBeyondLength);
  uint8_t h[8];
  if (!stream->Seek(0) || !stream->ReadExact(h, 8)) return Fail(kTiffReadFailed);
  const uint32_t first = h[4] | h[5] << 8 | h[6] << 16 | static_cast<uint32_t>(h[7]) << 24;
  if (h[0] != 'I' || h[1] != 'I' || h[2] != 85 || h[3] != 0 || first <= 7) return Fail(kTiffBadHeader);
  return WalkIFD(stream, false, false, first, length);
}

void cPictRWL::ApplyModel(const uint8_t* data, int32_t size) {
  for (const sRw2Model& m : kModels) {
    for (const char* name : m.names) {
      if (name == nullptr) break;
      const size_t n = strlen(name) + 1;  // the ending zero is compared too
      if (static_cast<size_t>(size) != n || memcmp(data, name, n) != 0) continue;
      if (m.setNothing) return;
      borders_.right = m.right;
      borders_.left = m.left;
      borders_.top = m.top;
      borders_.bottom = m.bottom;
      black_ = m.black;
      if (m.blockCoded >= 0) blockCoded_ = m.blockCoded != 0;
      if (m.splitRefill >= 0) splitRefill_ = m.splitRefill != 0;
      if (m.blueFactor) gains_[2] *= 0.74;
      return;
    }
  }
}

bool cPictRWL::OnTag(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size) {
  const sTiffEntry e{tag, type, data, size};
  int32_t v = 0;
  auto positive = [&](int32_t& out) { return GetEntryInt(e, out) && out != 0; };
  switch (tag) {
    case 2: return positive(sensorWidth_) && sensorWidth_ > 0;
    case 3: return positive(sensorHeight_) && sensorHeight_ > 0;
    case 9:
      if (!GetEntryInt(e, v)) return false;
      cfaCode_ = static_cast<uint32_t>(v);
      return true;
    case 17:
    case 18:
      if (!positive(v)) return false;
      gains_[tag == 17 ? 2 : 0] = static_cast<uint32_t>(v) / 256.0;
      return true;
    case 36:
    case 38:
      if (!positive(v)) return false;
      gains_[tag == 36 ? 2 : 0] = static_cast<uint32_t>(v);
      return true;
    case 37:
      if (!positive(v)) return false;
      gains_[1] = gains_[3] = static_cast<uint32_t>(v);
      return true;
    case 272:
      if (data != nullptr) ApplyModel(data, size);
      return true;
    case 273: return GetEntryInts(e, stripOffsets_);
    case 278:
      if (!positive(v)) return false;
      rowsPerStrip_ = static_cast<uint32_t>(v);
      return true;
    case 279: return GetEntryInts(e, stripCounts_);
    case 280: {
      if (!GetEntryInt(e, v)) return false;
      const bool none = stripOffsets_.count == 0;
      const bool placeholder = stripOffsets_.count == 1 && stripOffsets_.data[0] == 0xFFFFFFFFu;
      if (!none && !placeholder) return true;
      const uint32_t offset = static_cast<uint32_t>(v);
      stripOffsets_.Reallocate(1);
      stripOffsets_.data[0] = offset;
      stripCounts_.Reallocate(1);
      stripCounts_.data[0] =
          streamSize_ > offset ? static_cast<uint32_t>(std::min<uint64_t>(streamSize_ - offset, 0xFFFFFFFFu)) : 0;
      blockCoded_ = true;
      return true;
    }
    default: return true;
  }
}

bool cPictRWL::Walk(cFileIOTarget* stream) {
  Reset();
  if (stream == nullptr) return false;
  streamSize_ = stream->GetSize();
  if (!ReadHeader(stream, streamSize_)) return false;
  return sensorWidth_ > 0 && sensorHeight_ > 0 && stripOffsets_.count > 0 && stripOffsets_.count == stripCounts_.count;
}

bool cPictRWL::ReadInfo(cFileIOTarget* stream, sPictInfo* info) {
  return RawGuarded([&] {
    if (!Walk(stream)) return false;
    if (info != nullptr) {
      info->width = sensorWidth_ - borders_.left - borders_.right;
      info->height = sensorHeight_ - borders_.top - borders_.bottom;
      info->hasPreview = false;
    }
    return true;
  });
}

bool cPictRWL::Unpack(cFileIOTarget* stream, _typebuf<uint16_t>& raw) {
  const int32_t strips = stripOffsets_.count;
  if (rowsPerStrip_ == 0) {
    if (strips != 1) return false;
    rowsPerStrip_ = static_cast<uint32_t>(sensorHeight_);
  }
  if (strips == 1 && stripCounts_.data[0] == 0) {
    if (stripOffsets_.data[0] == 0 || stripOffsets_.data[0] >= streamSize_) return false;
    stripCounts_.data[0] = static_cast<uint32_t>(std::min<uint64_t>(streamSize_ - stripOffsets_.data[0], 0xFFFFFFFFu));
  }
  int64_t count = 0;
  if (!pict_area::CheckedArea(sensorWidth_, sensorHeight_, 1, count)) return false;
  raw.Reallocate(static_cast<int32_t>(count));
  // Rows a tolerated short read leaves undecoded read as 0.
  memset(raw.data, 0, static_cast<size_t>(count) * sizeof(uint16_t));
  if (blockCoded_) {
    if (!stream->Seek(stripOffsets_.data[0])) return false;
    return DecodePanasonicBlocks(stream, splitRefill_, sensorWidth_, sensorHeight_, raw.data, nullptr);
  }
  const uint64_t strip0 = stripCounts_.data[0];
  if (strips == 1 && strip0 * 5 == static_cast<uint64_t>(count) * 8) {
    if (stripOffsets_.data[0] > streamSize_ || strip0 > streamSize_ - stripOffsets_.data[0]) return false;
    _typebuf<uint8_t> bytes(static_cast<int32_t>(strip0));
    if (!stream->Seek(stripOffsets_.data[0]) || !stream->ReadExact(bytes.data, static_cast<uint32_t>(strip0)))
      return false;
    UnpackPanasonic12(bytes.data, static_cast<size_t>(strip0), raw.data, static_cast<size_t>(count));
    return true;
  }
  // Plain little-endian 16-bit strips; a strip starting past the last row
  // ends the loop.
  for (int32_t n = 0; n < strips; ++n) {
    const int64_t first = static_cast<int64_t>(n) * rowsPerStrip_;
    if (first >= sensorHeight_) break;
    const int64_t rows = std::min<int64_t>(rowsPerStrip_, sensorHeight_ - first);
    const uint64_t need = static_cast<uint64_t>(sensorWidth_) * static_cast<uint64_t>(rows) * 2;
    if (stripCounts_.data[n] > need) return false;
    uint16_t* out = raw.data + first * sensorWidth_;
    if (!stream->Seek(stripOffsets_.data[n]) || !stream->ReadExact(out, static_cast<uint32_t>(need))) return false;
    uint8_t* b = reinterpret_cast<uint8_t*>(out);
    for (uint64_t i = 0; i < need / 2; ++i) out[i] = static_cast<uint16_t>(b[2 * i] | b[2 * i + 1] << 8);
  }
  return true;
}

bool cPictRWL::Load(cFileIOTarget* stream) {
  return RawGuarded([&] {
    if (!Walk(stream)) return false;
    _typebuf<uint16_t> raw;
    if (!Unpack(stream, raw)) return false;
    sCFAPattern pattern;
    std::unique_ptr<cBayerFilter> filter;
    static const uint8_t kGrbg[4] = {1, 0, 2, 1}, kGbrg[4] = {1, 2, 0, 1};
    switch (cfaCode_) {
      case 1: filter = std::make_unique<cStdCFAFilter>(); break;
      case 2: pattern.Assign(2, 2, kGrbg, 4), filter = CreateBayerFilter(pattern); break;
      case 3: pattern.Assign(2, 2, kGbrg, 4), filter = CreateBayerFilter(pattern); break;
      case 4: filter = std::make_unique<cStdCFAFilterSH>(); break;
      default: return false;
    }
    if (!filter) return false;
    double red = gains_[0], green = gains_[1], blue = gains_[2];
    if (red == 0) {
      red = green = blue = 1.0;
    } else {
      green /= red, blue /= red, red = 1.0;
    }
    const double gmax = std::max({1.0, blue, green}), gmin = std::min({1.0, blue, green});
    sCap cap{gmin / gmax};
    sRawDevelopParams params;
    params.hasBorders = true;
    params.borders = borders_;
    params.black = black_;
    params.red = red, params.green = green, params.blue = blue;
    params.levelsFraction = 0.999;
    params.gamma = 2.2;
    params.adjustLevels = &CapWhite;
    params.adjustUser = &cap;
    return DevelopRaw(raw.data, raw.count, sensorWidth_, sensorHeight_, std::move(filter), params, stream, *this);
  });
}
