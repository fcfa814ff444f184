// cPictCR2's development: sensor samples through the shared Bayer demosaic
// with the model's colour matrix, sRAW straight to RGB, then levels and the
// tone curve without saturation.
#include <memory>

#include "picture/raw/pict_cr2.h"
#include "picture/raw/raw_cfa.h"
#include "picture/raw/raw_develop.h"

bool cPictCR2::PutRows16(int32_t, const sTiffStripData& sd) {
  if (srawMode_ == 0) return DevelopBayer(sd);
  ReportRawFrame(raster_.data, static_cast<int32_t>(sensorWidth_ * 3), static_cast<int32_t>(sensorHeight_));
  if (!AllocatePixels64(pictureWidth_, pictureHeight_)) return false;
  if (!ConvertSRaw(sd, true)) return false;
  // The tone steps' answers are not looked at: a picture whose levels
  // cannot be found is left as converted.
  const int64_t count = int64_t{GetWidth()} * GetHeight();
  cStreamGuardProgressTarget progress(source_);
  cRawHistogram histogram;
  if (!BuildRawHistogram(Pixels64().data, count, histogram, &progress)) return true;
  uint32_t black = 0, middle = 0, white = 0xFFFF;
  FindLevels(histogram.all, black, middle, white, 0.999);
  _typebuf<uint32_t> table;
  if (BuildToneCurve(black, white, 2.2, table)) ApplyToneCurve(Pixels64().data, Pixels64().data, count, table, &progress);
  return true;
}

bool cPictCR2::DevelopBayer(const sTiffStripData& sd) {
  double matrix[9];
  uint16_t tableBlack = 0, tableWhite = 0;
  LookupColorMatrix(matrix, tableBlack, tableWhite);
  const uint16_t measured = MeasureBlackLevel(sd);
  const int32_t black = measured != 0 ? measured : tableBlack;
  const int32_t white =
      tableWhite != 0 ? tableWhite : static_cast<uint16_t>((uint32_t{1} << (bits_ > 0 && bits_ <= 16 ? bits_ : 16)) - 1);
  if (black >= white) return false;
  const double scale = 65535.0 / (white - black);
  const double* balance = makerNote_.balance;
  double m = balance[cCR2MakerNoteProps::kRed];
  for (int32_t k : {cCR2MakerNoteProps::kGreen, cCR2MakerNoteProps::kBlue, cCR2MakerNoteProps::kGreen2})
    if (balance[k] != 0 && balance[k] < m) m = balance[k];
  sRawDevelopParams params;
  params.demosaic = kRawDemosaicBayer;
  params.matrix = matrix;
  params.hasBorders = true;
  params.borders = {static_cast<int32_t>(borders_.left), static_cast<int32_t>(borders_.right),
                    static_cast<int32_t>(borders_.top), static_cast<int32_t>(borders_.bottom)};
  params.black = black;
  if (m == 0) {
    params.red = params.green = params.blue = scale;
  } else {
    params.red = balance[cCR2MakerNoteProps::kRed] * scale / m;
    params.green = balance[cCR2MakerNoteProps::kGreen] * scale / m;
    params.blue = balance[cCR2MakerNoteProps::kBlue] * scale / m;
  }
  params.bottomUp = true;
  params.levelsFraction = 0.999;
  params.gamma = 2.2;
  params.saturation = 0.0;
  params.ignoreToneFailures = true;
  sCFAPattern pattern;
  if (!pattern.Assign(2, 2, patternColours_, 4)) return false;
  return DevelopRaw(raster_.data, raster_.count, static_cast<int32_t>(sensorWidth_),
                    static_cast<int32_t>(sensorHeight_), CreateBayerFilter(pattern), params, source_, *this);
}
