// The scan drivers of cJPEGParser: the direct sequential drivers, the
// whole-image coefficient store of progressive and partial scans, FinishImage
// and the end-of-data check (see jpeg_parser.h).
#include <cstring>

#include "picture/jpeg_entropy.h"
#include "picture/jpeg_parser.h"

void JpegDequantise(sJpegComponent& comp, const uint16_t (&tables)[4][64]);

namespace {

inline int32_t CeilDiv(int32_t a, int32_t b) { return (a + b - 1) / b; }

void ClearBlocks(sJpegBlock* blocks, int32_t n, int8_t component) {
  std::memset(static_cast<void*>(blocks), 0, static_cast<size_t>(n) * sizeof(sJpegBlock));
  for (int32_t i = 0; i < n; ++i) blocks[i].component = component;
}

// Frees the scan state whatever way the driver leaves.
struct sStateGuard {
  sJpegScanState& state;
  ~sStateGuard() { FreeScanDecoderState(state); }
};

}  // namespace

bool cJPEGParser::DecodeScan() {
  BuildRangeLimit();
  int32_t mcusPerRow = 0, mcuRows = 0, blocks = 0;
  for (int32_t i = 0; i < scanCount_; ++i) {
    sJpegComponent& comp = components_.data[scanComponents_[i]];
    const int32_t across = CeilDiv(comp.widthInBlocks, comp.h);
    const int32_t down = CeilDiv(comp.heightInBlocks, comp.v);
    comp.blocksInMcu = comp.h * comp.v;
    blocks += comp.blocksInMcu;
    if (i == 0) {
      mcusPerRow = across;
      mcuRows = down;
    } else if (across != mcusPerRow || down != mcuRows) {
      OnError(position_, kJpegErrGeometry);
      return false;
    }
  }
  if (firstScan_) blocksPerMcu_ = blocks;
  for (int32_t i = 0; i < scanCount_; ++i) {
    sJpegComponent& comp = components_.data[scanComponents_[i]];
    JpegDequantise(comp, quantTables_);
    if (coding_ != 2 && (comp.dctWidth != 8 || comp.dctHeight != 8)) {
      OnError(position_, kJpegErrGeometry);
      return false;
    }
  }
  if (coding_ == 1) {
    if (buffered_) {
      imageBuffered_ = true;
      if (!DecodeBufferedScan(mcusPerRow, mcuRows)) {
        FinishImage();
        return false;
      }
      return true;
    }
    return DecodeSequentialScan(mcusPerRow, mcuRows);
  }
  if (coding_ == 2) return DecodeLosslessScan();
  OnError(position_, kJpegErrArithmetic);
  return false;
}

bool cJPEGParser::EndOfDataCheck(sJpegScanState& state) {
  const int32_t n = state.bitsLeft;
  if (n == 0) return true;
  if (n <= 8) {
    const uint32_t bits = static_cast<uint32_t>(state.bitBuffer) & ((1u << n) - 1);
    if (bits == 0 || bits == (1u << n) - 1) return true;
  }
  OnError(position_, kJpegErrUnclean);
  return false;
}

template <class BlockAt>
bool cJPEGParser::DecodeComponentRow(sJpegScanState& state, const sJpegComponent& comp, int32_t row,
                                     int32_t mcusPerRow, BlockAt blockAt) {
  const int32_t h = comp.h, v = comp.v;
  const bool counting = restartInterval_ != 0;
  for (int32_t bv = 0; bv < v; ++bv) {
    // Blocks past the component's edge are not in the stream; a row or
    // column that starts past it means the geometry is wrong.
    if (row * v + bv >= comp.heightInBlocks) {
      if (bv == 0) {
        OnError(position_, kJpegErrGeometry);
        return false;
      }
      break;
    }
    for (int32_t col = 0; col < mcusPerRow; ++col) {
      for (int32_t bh = 0; bh < h; ++bh) {
        if (col * h + bh >= comp.widthInBlocks) {
          if (bh == 0) {
            OnError(position_, kJpegErrGeometry);
            return false;
          }
          break;
        }
        if (!DecodeMcuBlock(state, blockAt(bv, bh, col))) {
          OnError(position_, kJpegErrData);
          OnBlockError(col, row, bv * h + bh, position_);
          return false;
        }
        if (counting) --state.restartsToGo;
      }
    }
  }
  return true;
}

bool cJPEGParser::DecodeSequentialScan(int32_t mcusPerRow, int32_t mcuRows) {
  sJpegScanState state;
  sStateGuard guard{state};
  if (!StartScan(state, this)) {
    OnError(position_, kJpegErrStart);
    return false;
  }
  const bool counting = restartInterval_ != 0;
  if (scanCount_ == 1) {
    const int32_t ci = scanComponents_[0];
    const sJpegComponent& comp = components_.data[ci];
    const int32_t h = comp.h, v = comp.v, per = h * v;
    mcuBlocks_.Reallocate(per * mcusPerRow);
    mcuPointers_.Reallocate(per);
    for (int32_t row = 0; row < mcuRows; ++row) {
      ClearBlocks(mcuBlocks_.data, mcuBlocks_.count, static_cast<int8_t>(ci));
      if (!DecodeComponentRow(state, comp, row, mcusPerRow, [&](int32_t bv, int32_t bh, int32_t col) -> sJpegBlock& {
            return mcuBlocks_.data[(bv * h + bh) * mcusPerRow + col];
          }))
        return false;
      for (int32_t col = 0; col < mcusPerRow; ++col) {
        for (int32_t k = 0; k < per; ++k) mcuPointers_.data[k] = &mcuBlocks_.data[k * mcusPerRow + col];
        if (!OnMcu(col, row, mcuPointers_.data, per)) {
          OnError(position_, kJpegErrOutput);
          return false;
        }
      }
    }
  } else {
    int32_t per = 0;
    for (int32_t i = 0; i < scanCount_; ++i) per += components_.data[scanComponents_[i]].blocksInMcu;
    mcuBlocks_.Reallocate(per);
    mcuPointers_.Reallocate(per);
    for (int32_t k = 0; k < per; ++k) mcuPointers_.data[k] = &mcuBlocks_.data[k];
    std::memset(static_cast<void*>(mcuBlocks_.data), 0, static_cast<size_t>(per) * sizeof(sJpegBlock));
    for (int32_t row = 0; row < mcuRows; ++row) {
      for (int32_t col = 0; col < mcusPerRow; ++col) {
        int32_t k = 0;
        for (int32_t i = 0; i < scanCount_; ++i) {
          const int32_t ci = scanComponents_[i];
          const int32_t n = components_.data[ci].blocksInMcu;
          for (int32_t b = 0; b < n; ++b, ++k) {
            sJpegBlock& block = mcuBlocks_.data[k];
            block.component = static_cast<int8_t>(ci);
            if (!DecodeMcuBlock(state, block)) {
              OnError(position_, kJpegErrData);
              OnBlockError(col, row, k, position_);
              return false;
            }
          }
        }
        if (counting) --state.restartsToGo;
        if (!OnMcu(col, row, mcuPointers_.data, per)) {
          OnError(position_, kJpegErrOutput);
          return false;
        }
        for (int32_t b = 0; b < per; ++b) std::memset(mcuBlocks_.data[b].coef, 0, sizeof mcuBlocks_.data[b].coef);
      }
    }
  }
  return EndOfDataCheck(state);
}

bool cJPEGParser::DecodeBufferedScan(int32_t mcusPerRow, int32_t mcuRows) {
  sJpegScanState state;
  sStateGuard guard{state};
  if (!StartScan(state, this)) {
    OnError(position_, kJpegErrStart);
    return false;
  }
  const int32_t nf = components_.count;
  if (coefficientBuffers_.count == 0) {
    int32_t slots = 0;
    for (int32_t i = 0; i < nf; ++i) slots += components_.data[i].h * components_.data[i].v;
    // The whole store, in 64 bits: refused beyond the limit before anything
    // is allocated.
    const int64_t bytes =
        static_cast<int64_t>(slots) * mcusPerRow * static_cast<int64_t>(mcuRows) * static_cast<int64_t>(sizeof(sJpegBlock));
    if (bytes > kMaxCoefficientBytes) {
      OnError(position_, kJpegErrGeometry);
      return false;
    }
    coefficientBuffers_.Allocate(slots);
    storeMcusPerRow_ = mcusPerRow;
    storeMcuRows_ = mcuRows;
  }
  if (mcusPerRow != storeMcusPerRow_ || mcuRows != storeMcuRows_) {
    OnError(position_, kJpegErrGeometry);
    return false;
  }
  const int32_t perSlot = mcusPerRow * mcuRows;
  for (int32_t i = 0; i < scanCount_; ++i) {
    const sJpegComponent& comp = components_.data[scanComponents_[i]];
    for (int32_t k = 0; k < comp.h * comp.v; ++k) {
      _typebuf<sJpegBlock>& slot = coefficientBuffers_.data[comp.firstBuffer + k];
      if (slot.count == 0) {
        slot.Reallocate(perSlot);
        ClearBlocks(slot.data, perSlot, static_cast<int8_t>(comp.index));
      }
    }
  }
  const bool counting = restartInterval_ != 0;
  const int32_t slotCount = coefficientBuffers_.count;
  int32_t scanBlocks = 0;
  for (int32_t i = 0; i < scanCount_; ++i) scanBlocks += components_.data[scanComponents_[i]].blocksInMcu;
  mcuPointers_.Reallocate(slotCount > scanBlocks ? slotCount : (scanBlocks > 0 ? scanBlocks : 1));
  if (scanCount_ == 1) {
    const int32_t ci = scanComponents_[0];
    const sJpegComponent& comp = components_.data[ci];
    const int32_t h = comp.h;
    for (int32_t row = 0; row < mcuRows; ++row) {
      if (!DecodeComponentRow(state, comp, row, mcusPerRow, [&](int32_t bv, int32_t bh, int32_t col) -> sJpegBlock& {
            return coefficientBuffers_.data[comp.firstBuffer + bv * h + bh].data[row * mcusPerRow + col];
          }))
        return false;
      for (int32_t col = 0; col < mcusPerRow; ++col) {
        int32_t n = 0;
        for (int32_t s = 0; s < slotCount; ++s) {
          _typebuf<sJpegBlock>& slot = coefficientBuffers_.data[s];
          if (slot.count > 0) mcuPointers_.data[n++] = &slot.data[row * mcusPerRow + col];
        }
        if (!OnBufferedMcu(col, row, mcuPointers_.data, n)) {
          OnError(position_, kJpegErrOutput);
          return false;
        }
      }
    }
  } else {
    for (int32_t row = 0; row < mcuRows; ++row) {
      for (int32_t col = 0; col < mcusPerRow; ++col) {
        int32_t k = 0;
        for (int32_t i = 0; i < scanCount_; ++i) {
          const sJpegComponent& comp = components_.data[scanComponents_[i]];
          for (int32_t b = 0; b < comp.h * comp.v; ++b, ++k) {
            sJpegBlock& block = coefficientBuffers_.data[comp.firstBuffer + b].data[row * mcusPerRow + col];
            mcuPointers_.data[k] = &block;
            if (!DecodeMcuBlock(state, block)) {
              OnError(position_, kJpegErrData);
              OnBlockError(col, row, k, position_);
              return false;
            }
          }
        }
        if (counting) --state.restartsToGo;
        if (!OnBufferedMcu(col, row, mcuPointers_.data, k)) {
          OnError(position_, kJpegErrOutput);
          return false;
        }
      }
    }
  }
  firstScan_ = false;
  return EndOfDataCheck(state);
}

bool cJPEGParser::FinishImage() {
  if (coding_ != 1 || !imageBuffered_) return true;
  storeEmitted_ = true;
  if (coefficientBuffers_.count == 0) {
    OnError(position_, kJpegErrNoStore);
    return false;
  }
  const int32_t mcusPerRow = storeMcusPerRow_, mcuRows = storeMcuRows_;
  const int32_t perSlot = mcusPerRow * mcuRows;
  // Components that no scan reached get zero blocks (flat samples).
  const int32_t nf = components_.count;
  for (int32_t ci = 0; ci < nf; ++ci) {
    const sJpegComponent& comp = components_.data[ci];
    for (int32_t k = 0; k < comp.h * comp.v; ++k) {
      _typebuf<sJpegBlock>& slot = coefficientBuffers_.data[comp.firstBuffer + k];
      if (slot.count == 0) {
        slot.Reallocate(perSlot);
        ClearBlocks(slot.data, perSlot, static_cast<int8_t>(ci));
      }
    }
  }
  const int32_t slotCount = coefficientBuffers_.count;
  mcuPointers_.Reallocate(slotCount);
  for (int32_t row = 0; row < mcuRows; ++row) {
    for (int32_t col = 0; col < mcusPerRow; ++col) {
      for (int32_t s = 0; s < slotCount; ++s)
        mcuPointers_.data[s] = &coefficientBuffers_.data[s].data[row * mcusPerRow + col];
      if (!OnMcu(col, row, mcuPointers_.data, slotCount)) {
        OnError(position_, kJpegErrOutput);
        return false;
      }
    }
  }
  return true;
}
