// Phase One IIQ coded rows: per row, lengths chosen every 8 columns from a
// prefix code, differences of that many bits added to two predictors (one
// per column parity), 16-bit literals for the last columns; then the
// square-law curve, black level and the row and column black tables.
//
// Rules:
//  a. A row's bytes are a bounded range; past its end the reader gives zero
//     bits (a literal reads 0).
//  b. A predictor outside 0..65535, or a sample coded with length 0, fails.
#pragma once

#include <cstddef>
#include <cstdint>

// Decodes one row of width predictor values (0..65535) into out.
bool DecodeIiqRow(const uint8_t* data, size_t size, int32_t width, uint16_t* out);

// curve[i] = trunc(i x i / 3.969 + 0.5), 256 entries.
void BuildIiqCurve(uint16_t curve[256]);

// The stored sample of a decoded value v at row, column: format 5 maps v <
// 256 through the curve; 4v - black, plus the row-black table's value
// (rb[c] above the split row, rb[width + c] from it on) and the column-black
// table's (cb[row] left of the split column, cb[height + row] from it on)
// when given, clamped to 0..65535.
struct sIiqBlack {
  int32_t black = 0;
  int32_t splitColumn = 0, splitRow = 0;
  const int16_t* rowBlack = nullptr;     // 2 x width values, or null
  const int16_t* columnBlack = nullptr;  // 2 x height values, or null
  int32_t width = 0, height = 0;
  int32_t format = 0;
};
uint16_t IiqSample(const sIiqBlack& b, const uint16_t curve[256], int32_t row, int32_t column, uint16_t v);
