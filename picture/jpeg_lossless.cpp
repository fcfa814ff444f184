// The lossless scan decoder of cJPEGParser (see jpeg_parser.h): one row of
// 16-bit samples per component at a time, predictor 1 with the first sample
// of a row predicted from the row above.
#include <cstring>

#include "picture/jpeg_entropy.h"
#include "picture/jpeg_parser.h"

namespace {

struct sStateGuard {
  sJpegScanState& state;
  ~sStateGuard() { FreeScanDecoderState(state); }
};

}  // namespace

// One sample of component c: a due restart, the category, the difference;
// the sample (modulo 2^16) becomes the component's predictor.
static bool DecodeDifference(sJpegScanState& state, int32_t c, uint16_t& sample) {
  cJPEGParser* p = state.parser;
  if (p->restartInterval_ != 0 && state.restartsToGo == 0 && !ProcessRestart(state)) return false;
  const sJpegDerivedTable* table = state.componentDc.data[c];
  if (table == nullptr) return false;
  const int32_t s = DecodeHuffman(state, *table);
  if (s < 0 || s > 16) return false;
  int32_t diff;
  if (s == 16) {
    diff = 32768;
  } else if (!ReceiveExtend(state, s, diff)) {
    return false;
  }
  sample = static_cast<uint16_t>(state.lastDc.data[c] + diff);
  state.lastDc.data[c] = sample;
  return true;
}

bool cJPEGParser::DecodeLosslessScan() {
  sJpegScanState state;
  sStateGuard guard{state};
  if (!StartScan(state, this)) {
    OnError(position_, kJpegErrStart);
    return false;
  }
  const int32_t nf = components_.count;
  const int32_t mcus = width_ / maxH_;
  // Each row buffer holds at least a whole picture row, so that a writer
  // that reads width samples of any component stays inside it.
  for (int32_t i = 0; i < nf; ++i) {
    sJpegComponent& comp = components_.data[i];
    int32_t samples = mcus * comp.h * comp.v;
    if (samples < width_) samples = width_;
    comp.upRows.Reallocate(samples * 2);
    std::memset(comp.upRows.data, 0, static_cast<size_t>(samples) * 2);
  }
  _typebuf<const uint16_t*> rows(nf);
  for (int32_t i = 0; i < nf; ++i) rows.data[i] = reinterpret_cast<const uint16_t*>(components_.data[i].upRows.data);
  const int32_t start = 1 << (precision_ - 1);
  int32_t rowStart[4];
  for (int32_t i = 0; i < 4; ++i) rowStart[i] = start;
  const bool counting = restartInterval_ != 0;
  for (int32_t y = 0; y < height_; y += maxV_) {
    for (int32_t i = 0; i < scanCount_; ++i) state.lastDc.data[scanComponents_[i]] = rowStart[i];
    for (int32_t col = 0; col < mcus; ++col) {
      for (int32_t i = 0; i < scanCount_; ++i) {
        const int32_t ci = scanComponents_[i];
        sJpegComponent& comp = components_.data[ci];
        const int32_t n = comp.h * comp.v;
        uint16_t* out = reinterpret_cast<uint16_t*>(comp.upRows.data) + col * n;
        for (int32_t k = 0; k < n; ++k) {
          if (!DecodeDifference(state, ci, out[k])) {
            OnError(position_, kJpegErrData);
            OnSampleError(col * maxH_, y, position_);
            return false;
          }
          if (col == 0 && k == 0) rowStart[i] = out[0];
        }
      }
      if (counting) --state.restartsToGo;
    }
    if (!OnLosslessRow(rows.data, y, width_)) return false;
  }
  return true;
}
