// cRAWLosslessJpeg: a cPictJPEG that lays the rows of a lossless JPEG (SOF3)
// into a raster of 16-bit camera samples instead of a picture: sample by
// sample (plain, with an optional field order), through the CR2 slice
// layout, or for Canon sRAW (precision 15, three components sampled 4:2:0
// or 4:2:2) into three 16-bit channels per pixel.
//
// Rules:
//  a. Set the layout (SetSliceLayout, or SetRasterSize and SetFieldOrder)
//     before each Decode: the sRAW set-up divides the slice widths.
//  b. Layouts that would divide by zero or place samples from outside a
//     row buffer are refused: a slice or last-slice width of 0 (also after
//     the sRAW division), four components whose raster is not 1 to 4 times
//     as wide as the frame, a raster of 2^30 values or more.
//  c. The raster starts at 0; after a failed decode it holds what was
//     written so far, and TakeOutput still hands it over.
//  d. Predictor and point transform of the scan are not applied: camera
//     files use predictor 1 without point transform.
#pragma once

#include <cstdint>

#include "base/buffers.h"
#include "picture/pict_jpeg.h"

class cRAWLosslessJpeg : public cPictJPEG {
public:
  static constexpr int64_t kMaxRasterValues = int64_t{1} << 30;

  cRAWLosslessJpeg() = default;
  ~cRAWLosslessJpeg() override = default;

  // The CR2 slice tag's values; a last width of 0 means sliceWidth. Clears
  // the field order.
  void SetSliceLayout(uint32_t rasterWidth, uint32_t rasterHeight, uint32_t sliceCount, uint32_t sliceWidth,
                      uint32_t lastSliceWidth);
  void SetRasterSize(uint32_t rasterWidth, uint32_t rasterHeight) {
    rasterWidth_ = rasterWidth;
    rasterHeight_ = rasterHeight;
  }
  // 1: even JPEG rows fill the raster's top half, odd ones its bottom half
  // from the last row upward.
  void SetFieldOrder(int32_t order) { fieldOrder_ = order; }

  // Parses the compressed data in load mode; the raster receives the rows.
  bool Decode(cFileIOTarget* stream) { return RunParse(stream, kModeLoad); }
  // Moves the raster into out (out's old items are freed) and leaves the
  // decoder empty; true when the moved raster is not empty.
  bool TakeOutput(_typebuf<uint16_t>& out);
  int32_t RasterMode() const { return mode_; }

  bool OnFrame() override { return true; }
  bool DecodeLosslessScan() override;
  bool OnLosslessRow(const uint16_t* const* rows, int32_t y, int32_t width) override;

private:
  // The raster place of running index s through the slices.
  void MapSlice(uint64_t s, uint64_t& row, uint64_t& column, bool& lastSlice) const;
  bool Place(uint64_t row, uint64_t column, int32_t channel, uint16_t value, uint64_t stride);
  bool RowMode0(const uint16_t* const* rows, int32_t y, int32_t width);
  bool RowMode1(const uint16_t* const* rows, int32_t y, int32_t width);
  bool RowMode2(const uint16_t* const* rows, int32_t y, int32_t width);

  uint32_t rasterWidth_ = 0, rasterHeight_ = 0;
  uint32_t sliceCount_ = 0, sliceWidth_ = 0, lastSliceWidth_ = 0;
  _typebuf<uint16_t> raster_;
  int32_t mode_ = 0;  // 0 plain, 1 sRAW 4:2:0, 2 sRAW 4:2:2
  int32_t fieldOrder_ = 0;
  int32_t precision_ = 0;
  uint16_t chromaOffset_ = 16384;
  int32_t srawMaxH_ = 0, srawMaxV_ = 0;
};
