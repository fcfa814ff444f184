// Colour filter arrays of camera sensors: sCFAPattern (a pattern as a file
// or a decoder gives it) and the cBayerFilter family that answers, for a
// sample position, which colour the sensor recorded there.
//
// Rules:
//  a. Colour codes: 0 red, 1 green, 2 blue, 3 a fourth colour. Codes with
//     bit 0 set count as green wherever a demosaic looks for green sites.
//  b. Positions are counted from the top-left sample of the developed area
//     and are never negative; filters never read outside their own table.
//  c. A filter is owned by the development context it is handed to.
#pragma once

#include <cstdint>
#include <memory>

#include "base/buffers.h"

// A pattern of rows x columns colour codes, row by row. Empty (no bytes,
// count 0, 0 x 0) when a decoder has none; present whenever count != 0.
struct sCFAPattern {
  _typebuf<uint8_t> colours;
  int32_t count = 0;
  uint16_t rows = 0;
  uint16_t columns = 0;

  bool Present() const { return count != 0; }
  // Frees the bytes; 0 x 0.
  void Clear();
  // Copies count bytes and sets the dimensions as given (not checked against
  // each other: CreateBayerFilter does that). False, pattern cleared, for a
  // null source with a count, or a negative count.
  bool Assign(uint16_t rowCount, uint16_t columnCount, const uint8_t* bytes, int32_t byteCount);
};

class cBayerFilter {
public:
  cBayerFilter() = default;
  cBayerFilter(const cBayerFilter&) = delete;
  cBayerFilter& operator=(const cBayerFilter&) = delete;
  virtual ~cBayerFilter() = default;

  // Colour code of the sample in column x, row y.
  virtual int32_t ColourAt(int32_t x, int32_t y) const = 0;
  // Index of the pattern cell that covers (x, y).
  virtual int32_t CellAt(int32_t x, int32_t y) const = 0;
  // Loads a pattern; true when loaded.
  virtual bool SetPattern(const sCFAPattern& pattern) = 0;
};

// Two columns and 2, 4 or 8 rows, held as 2 bits per cell (cell (c, r) at
// bit 2c + 4r), always replicated to 8 rows.
class cBayerFilter8x2 : public cBayerFilter {
public:
  int32_t ColourAt(int32_t x, int32_t y) const override {
    return static_cast<int32_t>((bits_ >> (2 * (x & 1) + 4 * (y & 7))) & 3);
  }
  int32_t CellAt(int32_t x, int32_t y) const override {
    return static_cast<int32_t>(((static_cast<uint32_t>(y) & rowMask_) << 1) | (static_cast<uint32_t>(x) & 1));
  }
  // Refuses no bytes, columns other than 2, rows * 2 != count, a code above 3
  // and rows other than 2, 4 or 8. A refusal may leave a partial state that
  // must not be used.
  bool SetPattern(const sCFAPattern& pattern) override;

  uint16_t Rows() const { return rows_; }
  uint32_t Bits() const { return bits_; }

private:
  uint16_t columns_ = 0;
  uint16_t rows_ = 0;
  uint32_t bits_ = 0;
  uint32_t rowMask_ = 0;
};

// Red, green / green, blue.
class cStdCFAFilter : public cBayerFilter8x2 {
public:
  cStdCFAFilter();
};

// Blue, green / green, red.
class cStdCFAFilterSH : public cBayerFilter8x2 {
public:
  cStdCFAFilterSH();
};

// The fixed 6 x 6 X-Trans layout.
class cFujiXTransFilter : public cBayerFilter {
public:
  int32_t ColourAt(int32_t x, int32_t y) const override;
  int32_t CellAt(int32_t x, int32_t y) const override { return x % 6 + 6 * (y % 6); }
  // Accepts any pattern and changes nothing.
  bool SetPattern(const sCFAPattern&) override { return true; }
};

// A loaded cBayerFilter8x2 for the pattern, or null when it has no bytes,
// rows * columns != count, columns != 2, rows not 2, 4 or 8, or a code above
// 3.
std::unique_ptr<cBayerFilter> CreateBayerFilter(const sCFAPattern& pattern);
