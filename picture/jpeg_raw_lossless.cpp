// See jpeg_raw_lossless.h.
#include "picture/jpeg_raw_lossless.h"

#include <cstring>

void cRAWLosslessJpeg::SetSliceLayout(uint32_t rasterWidth, uint32_t rasterHeight, uint32_t sliceCount,
                                      uint32_t sliceWidth, uint32_t lastSliceWidth) {
  rasterWidth_ = rasterWidth;
  rasterHeight_ = rasterHeight;
  sliceCount_ = sliceCount;
  sliceWidth_ = sliceWidth;
  lastSliceWidth_ = lastSliceWidth == 0 ? sliceWidth : lastSliceWidth;
  fieldOrder_ = 0;
}

bool cRAWLosslessJpeg::TakeOutput(_typebuf<uint16_t>& out) {
  out = std::move(raster_);
  return out.count > 0;
}

bool cRAWLosslessJpeg::DecodeLosslessScan() {
  if (rasterWidth_ == 0 || rasterHeight_ == 0) return false;
  const int32_t nf = ComponentCount();
  const int32_t p = Precision();
  const bool slices = sliceCount_ != 0;
  if (slices && (sliceWidth_ == 0 || lastSliceWidth_ == 0)) return false;
  const int64_t pixels = static_cast<int64_t>(rasterWidth_) * rasterHeight_;
  if (p != 15) {
    if (nf != 1 && nf != 2 && nf != 4) return false;
    if (nf == 4) {
      // Row y is scaled by 4 / (raster width / frame width).
      const uint32_t ratio = rasterWidth_ / static_cast<uint32_t>(FrameWidth());
      if (ratio == 0 || ratio > 4) return false;
    }
    if (pixels >= kMaxRasterValues) return false;
    mode_ = 0;
    raster_.Reallocate(static_cast<int32_t>(pixels));
  } else {
    if (nf != 3 || !slices || scanCount_ != 3) return false;
    if (pixels * 3 >= kMaxRasterValues) return false;
    srawMaxH_ = srawMaxV_ = 0;
    for (int32_t i = 0; i < scanCount_; ++i) {
      const sJpegComponent& c = components_.data[scanComponents_[i]];
      if (c.h > srawMaxH_) srawMaxH_ = c.h;
      if (c.v > srawMaxV_) srawMaxV_ = c.v;
    }
    if (srawMaxH_ != 2 || (srawMaxV_ != 1 && srawMaxV_ != 2)) return false;
    const uint32_t divisor = srawMaxV_ == 2 ? 3 : 2;
    mode_ = srawMaxV_ == 2 ? 1 : 2;
    sliceWidth_ /= divisor;
    lastSliceWidth_ /= divisor;
    if (sliceWidth_ == 0 || lastSliceWidth_ == 0) return false;
    raster_.Reallocate(static_cast<int32_t>(pixels * 3));
  }
  std::memset(raster_.data, 0, static_cast<size_t>(raster_.count) * sizeof(uint16_t));
  precision_ = p;
  return cJPEGParser::DecodeLosslessScan();
}

void cRAWLosslessJpeg::MapSlice(uint64_t s, uint64_t& row, uint64_t& column, bool& lastSlice) const {
  const uint64_t piece = static_cast<uint64_t>(sliceWidth_) * rasterHeight_;
  const uint64_t slice = s / piece;
  if (slice < sliceCount_) {
    const uint64_t offset = s - slice * piece;
    row = offset / sliceWidth_;
    column = slice * sliceWidth_ + offset % sliceWidth_;
    lastSlice = false;
  } else {
    const uint64_t offset = s - sliceCount_ * piece;
    row = offset / lastSliceWidth_;
    column = static_cast<uint64_t>(sliceCount_) * sliceWidth_ + offset % lastSliceWidth_;
    lastSlice = true;
  }
}

bool cRAWLosslessJpeg::Place(uint64_t row, uint64_t column, int32_t channel, uint16_t value, uint64_t stride) {
  if (column >= stride) return true;
  const uint64_t index = (row * stride + column) * 3 + static_cast<uint64_t>(channel);
  if (index < static_cast<uint64_t>(raster_.count)) raster_.data[index] = value;
  return true;
}

bool cRAWLosslessJpeg::OnLosslessRow(const uint16_t* const* rows, int32_t y, int32_t width) {
  if (raster_.count == 0) return false;
  switch (mode_) {
    case 0: return RowMode0(rows, y, width);
    case 1: return RowMode1(rows, y, width);
    case 2: return RowMode2(rows, y, width);
    default: return false;
  }
}

bool cRAWLosslessJpeg::RowMode0(const uint16_t* const* rows, int32_t y, int32_t width) {
  uint64_t yy = static_cast<uint32_t>(y);
  if (ComponentCount() == 4) yy *= 4 / (rasterWidth_ / static_cast<uint32_t>(width));
  uint64_t s = static_cast<uint64_t>(rasterWidth_) * yy;
  uint64_t row = yy, column = 0;
  if (fieldOrder_ == 1) row = yy % 2 == 0 ? yy / 2 : rasterHeight_ - yy / 2 - 1;
  const bool slices = sliceCount_ != 0;
  for (int32_t x = 0; x < width; ++x) {
    for (int32_t i = 0; i < scanCount_; ++i) {
      const uint16_t v = rows[scanComponents_[i]][x];
      uint64_t r = row, c = column;
      if (slices) {
        bool last;
        MapSlice(s, r, c, last);
      } else {
        if (column >= rasterWidth_) {
          column = 0;
          ++row;
        }
        r = row;
        c = column++;
      }
      if (c < rasterWidth_ && r < rasterHeight_) raster_.data[r * rasterWidth_ + c] = v;
      ++s;
    }
  }
  return true;
}

bool cRAWLosslessJpeg::RowMode2(const uint16_t* const* rows, int32_t y, int32_t width) {
  for (int32_t j = 0; j < width; ++j) {
    const uint64_t s = static_cast<uint64_t>(static_cast<uint32_t>(y)) * rasterWidth_ + static_cast<uint32_t>(j);
    uint64_t row = static_cast<uint32_t>(y), column = static_cast<uint32_t>(j);
    bool last;
    if (sliceCount_ != 0) MapSlice(s, row, column, last);
    for (int32_t i = 0; i < scanCount_; ++i) {
      const sJpegComponent& comp = components_.data[scanComponents_[i]];
      const int32_t available = comp.upRows.count / 2;
      const int32_t at = comp.h == 2 ? j : j / 2;
      if (at >= available) return false;
      uint16_t v = rows[scanComponents_[i]][at];
      if (comp.h != 2) v = static_cast<uint16_t>(v - chromaOffset_);
      Place(row, column, i, v, static_cast<uint32_t>(width));
    }
  }
  return true;
}

bool cRAWLosslessJpeg::RowMode1(const uint16_t* const* rows, int32_t y, int32_t width) {
  uint64_t s = static_cast<uint64_t>(static_cast<uint32_t>(y)) * rasterWidth_;
  const uint64_t end = static_cast<uint64_t>(static_cast<uint32_t>(width)) * srawMaxV_;
  for (uint64_t e = 0; e < end;) {
    uint64_t row, column;
    bool last;
    MapSlice(s, row, column, last);
    const uint64_t w = last ? lastSliceWidth_ : sliceWidth_;
    if (row + srawMaxV_ > rasterHeight_) return false;
    for (int32_t i = 0; i < scanCount_; ++i) {
      const sJpegComponent& comp = components_.data[scanComponents_[i]];
      const uint64_t available = static_cast<uint64_t>(comp.upRows.count / 2);
      const uint16_t* src = rows[scanComponents_[i]];
      for (uint64_t u = 0; u < w; u += 2) {
        for (uint64_t j = 0; j < 2; ++j) {
          for (uint64_t k = 0; k < 2; ++k) {
            uint64_t at;
            if (comp.h == 1 && comp.v == 1) at = e / 4 + u / 2;
            else if (comp.h == 2 && comp.v == 2) at = e + 2 * u + 2 * j + k;
            else if (comp.h == 2) at = u + 2 * e / 4 + k;
            else at = j + 2 * u + 2 * e / 4;
            // A layout that reaches past the decoded row is refused.
            if (at >= available) return false;
            uint16_t v = src[at];
            if (comp.h == 1 && comp.v == 1) v = static_cast<uint16_t>(v - chromaOffset_);
            Place(row + j, column + u + k, i, v, static_cast<uint32_t>(width));
          }
        }
      }
    }
    s += w * srawMaxV_;
    e += w * srawMaxV_;
  }
  return true;
}
