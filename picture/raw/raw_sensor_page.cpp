// See raw_sensor_page.h.
#include "picture/raw/raw_sensor_page.h"

#include <cstring>

namespace {

// Files that give one strip often count fewer bytes than its rows hold.
void WidenStrip(uint32_t& count, int64_t width, int64_t bitsPerPixel, uint32_t rows) {
  const int64_t need = (width * bitsPerPixel + 7) / 8 * rows;
  if (need > count && need <= 0xFFFFFFFF) count = static_cast<uint32_t>(need);
}

}  // namespace

bool cPictRawTIFFPage::PageSensorLayout(sRawSensorLayout& L, _typebuf<uint32_t>& counts, bool widenStrip) {
  cPictPropInt* wp = FindIntProp(18);
  cPictPropInt* hp = FindIntProp(19);
  cPictPropInt* cp = FindIntProp(20);
  if (wp == nullptr || hp == nullptr) return false;
  L.width = wp->value;
  L.height = hp->value;
  L.bits = bitsPerSample_;
  L.compression = cp != nullptr ? cp->value : 1;
  L.bigEndian = IsBigEndian();
  const bool strips = stripOffsets_.count > 0;
  const _typebuf<uint32_t>& offsets = strips ? stripOffsets_ : tileOffsets_;
  const _typebuf<uint32_t>& given = strips ? stripByteCounts_ : tileByteCounts_;
  counts.Reallocate(given.count);
  if (given.count > 0) std::memcpy(counts.data, given.data, static_cast<size_t>(given.count) * 4);
  if (widenStrip && strips && counts.count == 1 && rowsPerStrip_ != 0 && L.compression == 1)
    WidenStrip(counts.data[0], L.width, L.bits, rowsPerStrip_);
  L.offsets = offsets.data;
  L.blockCount = offsets.count;
  L.byteCounts = counts.data;
  L.byteCountCount = counts.count;
  L.rowsPerStrip = rowsPerStrip_;
  if (!strips) {
    L.tileWidth = tileWidth_;
    L.tileLength = tileLength_;
  }
  return true;
}

bool cPictRawTIFFPage::PageSensorSize(int32_t& width, int32_t& height) {
  cPictPropInt* w = FindIntProp(18);
  cPictPropInt* h = FindIntProp(19);
  if (w == nullptr || h == nullptr) return false;
  width = w->value & ~3;
  height = h->value;
  return true;
}

bool cPictRawTIFFPage::DecodePage(cFileIOTarget* stream) {
  bool ok;
  try {
    ok = stripOffsets_.count > 0 ? DecodeStrips(stream) : DecodeTiles(stream);
  } catch (...) {
    ok = false;
  }
  EndCanvasOutput();
  return ok;
}

bool cPictRawTIFFPage::DecodeWidenedPage(cFileIOTarget* stream) {
  cPictPropInt* cp = FindIntProp(20);
  cPictPropInt* wp = FindIntProp(18);
  if (stripByteCounts_.count == 1 && rowsPerStrip_ != 0 && cp != nullptr && cp->value == 1 && wp != nullptr)
    WidenStrip(stripByteCounts_.data[0], wp->value,
               static_cast<int64_t>(bitsPerSample_) * (planar_ == 2 ? 1 : samplesPerPixel_), rowsPerStrip_);
  return DecodePage(stream);
}
