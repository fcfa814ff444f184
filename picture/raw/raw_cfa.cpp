// See raw_cfa.h.
#include "picture/raw/raw_cfa.h"

#include <cstring>

void sCFAPattern::Clear() {
  colours.Reset();
  count = 0;
  rows = 0;
  columns = 0;
}

bool sCFAPattern::Assign(uint16_t rowCount, uint16_t columnCount, const uint8_t* bytes, int32_t byteCount) {
  Clear();
  if (byteCount < 0 || (byteCount > 0 && bytes == nullptr)) return false;
  if (byteCount > 0) {
    colours.Reallocate(byteCount);
    std::memcpy(colours.data, bytes, static_cast<size_t>(byteCount));
  }
  count = byteCount;
  rows = rowCount;
  columns = columnCount;
  return true;
}

bool cBayerFilter8x2::SetPattern(const sCFAPattern& pattern) {
  if (pattern.colours.data == nullptr || pattern.colours.count < pattern.count) return false;
  if (pattern.columns != 2 || pattern.rows * 2 != pattern.count) return false;
  columns_ = 2;
  rows_ = pattern.rows;
  bits_ = 0;
  for (int32_t i = 0; i < pattern.count; ++i) {
    const uint32_t code = pattern.colours.data[i];
    if (code > 3) return false;
    if (2 * i < 32) bits_ |= code << (2 * i);
  }
  switch (rows_) {
    case 2:
      bits_ = bits_ | bits_ << 8 | bits_ << 16 | bits_ << 24;
      rowMask_ = 1;
      break;
    case 4:
      bits_ = bits_ | bits_ << 16;
      rowMask_ = 3;
      break;
    case 8: rowMask_ = 7; break;
    default: return false;
  }
  return true;
}

namespace {

void LoadFixed(cBayerFilter8x2& filter, uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
  const uint8_t cells[4] = {a, b, c, d};
  sCFAPattern p;
  p.Assign(2, 2, cells, 4);
  filter.SetPattern(p);
}

// Rows top to bottom, columns left to right.
constexpr uint8_t kXTrans[6][6] = {
    {1, 2, 1, 1, 0, 1}, {0, 1, 0, 2, 1, 2}, {1, 2, 1, 1, 0, 1},
    {1, 0, 1, 1, 2, 1}, {2, 1, 2, 0, 1, 0}, {1, 0, 1, 1, 2, 1},
};

}  // namespace

cStdCFAFilter::cStdCFAFilter() { LoadFixed(*this, 0, 1, 1, 2); }

cStdCFAFilterSH::cStdCFAFilterSH() { LoadFixed(*this, 2, 1, 1, 0); }

int32_t cFujiXTransFilter::ColourAt(int32_t x, int32_t y) const { return kXTrans[y % 6][x % 6]; }

std::unique_ptr<cBayerFilter> CreateBayerFilter(const sCFAPattern& pattern) {
  if (pattern.colours.data == nullptr || pattern.count == 0) return nullptr;
  if (static_cast<int32_t>(pattern.rows) * pattern.columns != pattern.count || pattern.columns != 2) return nullptr;
  if (pattern.rows != 2 && pattern.rows != 4 && pattern.rows != 8) return nullptr;
  auto filter = std::make_unique<cBayerFilter8x2>();
  if (!filter->SetPattern(pattern)) return nullptr;
  return filter;
}
