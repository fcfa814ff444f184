// See jpeg_entropy.h.
#include "picture/jpeg_entropy.h"

#include <cstring>

namespace {

// The four tables of T.81 Annex K (K.3 to K.6) as counts and symbols.
struct sDefaultTables {
  sJpegHuffTable t[4];
};

sDefaultTables MakeDefaultTables() {
    sDefaultTables r;
    sJpegHuffTable* t = r.t;
    const uint8_t dcLumBits[16] = {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
    const uint8_t dcChrBits[16] = {0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0};
    const uint8_t acLumBits[16] = {0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7d};
    const uint8_t acChrBits[16] = {0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77};
    static const uint8_t acLumVal[162] = {
        0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61, 0x07, 0x22, 0x71,
        0x14, 0x32, 0x81, 0x91, 0xa1, 0x08, 0x23, 0x42, 0xb1, 0xc1, 0x15, 0x52, 0xd1, 0xf0, 0x24, 0x33, 0x62, 0x72,
        0x82, 0x09, 0x0a, 0x16, 0x17, 0x18, 0x19, 0x1a, 0x25, 0x26, 0x27, 0x28, 0x29, 0x2a, 0x34, 0x35, 0x36, 0x37,
        0x38, 0x39, 0x3a, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59,
        0x5a, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a, 0x83,
        0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9a, 0xa2, 0xa3,
        0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3,
        0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe1, 0xe2,
        0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8, 0xe9, 0xea, 0xf1, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa};
    static const uint8_t acChrVal[162] = {
        0x00, 0x01, 0x02, 0x03, 0x11, 0x04, 0x05, 0x21, 0x31, 0x06, 0x12, 0x41, 0x51, 0x07, 0x61, 0x71, 0x13, 0x22,
        0x32, 0x81, 0x08, 0x14, 0x42, 0x91, 0xa1, 0xb1, 0xc1, 0x09, 0x23, 0x33, 0x52, 0xf0, 0x15, 0x62, 0x72, 0xd1,
        0x0a, 0x16, 0x24, 0x34, 0xe1, 0x25, 0xf1, 0x17, 0x18, 0x19, 0x1a, 0x26, 0x27, 0x28, 0x29, 0x2a, 0x35, 0x36,
        0x37, 0x38, 0x39, 0x3a, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58,
        0x59, 0x5a, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a,
        0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9a,
        0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba,
        0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda,
        0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8, 0xe9, 0xea, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa};
    const uint8_t* bits[4] = {dcLumBits, dcChrBits, acLumBits, acChrBits};
    for (int i = 0; i < 4; ++i) {
      int total = 0;
      for (int l = 0; l < 16; ++l) {
        t[i].bits[l + 1] = bits[i][l];
        total += bits[i][l];
      }
      for (int k = 0; k < total; ++k)
        t[i].huffval[k] = i < 2 ? static_cast<uint8_t>(k) : (i == 2 ? acLumVal[k] : acChrVal[k]);
      t[i].defined = true;
    }
    return r;
}

const sJpegHuffTable& DefaultTable(bool dc, bool chroma) {
  static const sDefaultTables tables = MakeDefaultTables();
  return tables.t[(dc ? 0 : 2) + (chroma ? 1 : 0)];
}

}  // namespace

namespace {

// Zigzag orders of n x n blocks as positions of the 8 x 8 layout (row * 8 +
// column), 16 entries of 63 after the n * n of the order.
struct sOrders {
  uint8_t order[9][64 + 16];
};

sOrders MakeOrders() {
  sOrders o;
  for (int n = 1; n <= 8; ++n) {
    int i = 0;
    for (int d = 0; d <= 2 * (n - 1); ++d) {
      const int lo = d < n ? 0 : d - n + 1, hi = d < n ? d : n - 1;
      if (d % 2 == 1) {
        for (int r = lo; r <= hi; ++r) o.order[n][i++] = static_cast<uint8_t>(r * 8 + (d - r));
      } else {
        for (int r = hi; r >= lo; --r) o.order[n][i++] = static_cast<uint8_t>(r * 8 + (d - r));
      }
    }
    for (; i < 64 + 16; ++i) o.order[n][i] = 63;
  }
  return o;
}

inline int32_t Extend(int32_t v, int32_t s) { return v < (1 << (s - 1)) ? v - ((1 << s) - 1) : v; }

// The slow end of FillBitBuffer: bytes at a buffer boundary, 0xFF bytes and
// markers.
bool FillSlow(sJpegScanState& state, int32_t needed) {
  cJPEGParser* p = state.parser;
  while (state.bitsLeft <= 56 && p->pendingMarker_ == 0) {
    int32_t b = p->NextByte();
    if (b < 0) break;
    if (b == 0xFF) {
      int32_t next;
      do {
        next = p->NextByte();
      } while (next == 0xFF);
      if (next < 0) break;
      if (next != 0) {
        p->pendingMarker_ = next;
        break;
      }
    }
    state.bitBuffer = state.bitBuffer << 8 | static_cast<uint32_t>(b);
    state.bitsLeft += 8;
  }
  return state.bitsLeft >= needed;
}

// Bits with refill; false when the data runs out.
inline bool GetBits(sJpegScanState& state, int32_t n, int32_t& value) {
  if (state.bitsLeft < n && !FillBitBuffer(state, n)) return false;
  state.bitsLeft -= n;
  value = static_cast<int32_t>(state.bitBuffer >> state.bitsLeft) & ((1 << n) - 1);
  return true;
}

// Bit by bit from code length l.
int32_t DecodeSlow(sJpegScanState& state, const sJpegDerivedTable& table, int32_t l) {
  int32_t code;
  if (!GetBits(state, l, code)) return -1;
  while (l <= 16 && code > table.maxCode[l]) {
    int32_t bit;
    if (!GetBits(state, 1, bit)) return -1;
    code = code << 1 | bit;
    ++l;
  }
  if (l > 16) return -1;
  const int32_t index = code + table.valOffset[l];
  if (index < 0 || index > 255) return -1;
  return table.source->huffval[index];
}

inline void ResetDc(sJpegScanState& state) {
  const cJPEGParser* p = state.parser;
  const int32_t start = p->coding_ == 2 ? 1 << (p->precision_ - 1) : 0;
  for (int32_t i = 0; i < state.lastDc.count; ++i) state.lastDc.data[i] = start;
}

bool DecodeSequential(sJpegScanState& state, sJpegBlock& block) {
  const int32_t c = block.component;
  const sJpegDerivedTable* dc = state.componentDc.data[c];
  const sJpegDerivedTable* ac = state.componentAc.data[c];
  if (dc == nullptr) return false;
  int32_t s = DecodeHuffman(state, *dc);
  if (s < 0 || s > 15) return false;
  int32_t diff = 0;
  if (s > 0) {
    if (!GetBits(state, s, diff)) return false;
    diff = Extend(diff, s);
  }
  const int32_t dcv = static_cast<int16_t>(state.lastDc.data[c] + diff);
  state.lastDc.data[c] = dcv;
  block.coef[0] = static_cast<int16_t>(dcv);
  const int32_t limSe = state.parser->limSe_;
  if (limSe == 0 || ac == nullptr) return true;
  const uint8_t* order = state.parser->naturalOrder_;
  for (int32_t k = 1; k <= limSe; ++k) {
    // The common case inline: an 8-bit prefix found in the lookahead.
    int32_t rs;
    if (state.bitsLeft >= 8 || FillBitBuffer(state, 8)) {
      const uint32_t look = static_cast<uint32_t>(state.bitBuffer >> (state.bitsLeft - 8)) & 0xFF;
      const int32_t len = ac->lookBits[look];
      if (len != 0) {
        state.bitsLeft -= len;
        rs = ac->lookSym[look];
      } else {
        rs = DecodeSlow(state, *ac, 9);
      }
    } else {
      rs = DecodeSlow(state, *ac, 1);
    }
    if (rs < 0) return false;
    const int32_t r = rs >> 4;
    s = rs & 15;
    if (s != 0) {
      k += r;
      int32_t v;
      if (!GetBits(state, s, v)) return false;
      block.coef[order[k]] = static_cast<int16_t>(Extend(v, s));
    } else {
      if (r != 15) break;
      k += 15;
    }
  }
  return true;
}

bool DecodeDcFirst(sJpegScanState& state, sJpegBlock& block) {
  const int32_t c = block.component;
  const int32_t t = state.dcTableOf.data[c];
  if (t < 0) return false;
  const int32_t s = DecodeHuffman(state, state.tables[t]);
  if (s < 0 || s > 15) return false;
  int32_t diff = 0;
  if (s > 0) {
    if (!GetBits(state, s, diff)) return false;
    diff = Extend(diff, s);
  }
  const int32_t dcv = static_cast<int16_t>(state.lastDc.data[c] + diff);
  state.lastDc.data[c] = dcv;
  block.coef[0] = static_cast<int16_t>(static_cast<uint32_t>(dcv) << state.parser->al_);
  return true;
}

bool DecodeDcRefine(sJpegScanState& state, sJpegBlock& block) {
  int32_t bit;
  if (!GetBits(state, 1, bit)) return false;
  if (bit) block.coef[0] = static_cast<int16_t>(block.coef[0] | (1 << state.parser->al_));
  return true;
}

bool DecodeAcFirst(sJpegScanState& state, sJpegBlock& block) {
  if (state.eobRun > 0) {
    --state.eobRun;
    return true;
  }
  const cJPEGParser* p = state.parser;
  const uint8_t* order = p->naturalOrder_;
  const int32_t se = p->se_, al = p->al_;
  for (int32_t k = p->ss_; k <= se; ++k) {
    const int32_t rs = DecodeHuffman(state, *state.acTable);
    if (rs < 0) return false;
    const int32_t r = rs >> 4, s = rs & 15;
    if (s != 0) {
      k += r;
      int32_t v;
      if (!GetBits(state, s, v)) return false;
      block.coef[order[k]] = static_cast<int16_t>(static_cast<uint32_t>(Extend(v, s)) << al);
    } else if (r == 15) {
      k += 15;
    } else {
      int32_t run = 1 << r;
      if (r > 0) {
        int32_t extra;
        if (!GetBits(state, r, extra)) return false;
        run += extra;
      }
      state.eobRun = run - 1;
      break;
    }
  }
  return true;
}

// A correction bit for a coefficient already non-zero.
inline bool Correct(sJpegScanState& state, int16_t& coef, int32_t p1, int32_t m1) {
  int32_t bit;
  if (!GetBits(state, 1, bit)) return false;
  if (bit && (coef & p1) == 0) coef = static_cast<int16_t>(coef + (coef >= 0 ? p1 : m1));
  return true;
}

bool DecodeAcRefine(sJpegScanState& state, sJpegBlock& block) {
  const cJPEGParser* p = state.parser;
  const uint8_t* order = p->naturalOrder_;
  const int32_t se = p->se_;
  const int32_t p1 = 1 << p->al_, m1 = -p1;
  int32_t k = p->ss_;
  if (state.eobRun == 0) {
    for (; k <= se; ++k) {
      const int32_t rs = DecodeHuffman(state, *state.acTable);
      if (rs < 0) return false;
      int32_t r = rs >> 4;
      const int32_t s = rs & 15;
      int32_t value = 0;
      if (s != 0) {
        if (s != 1) return false;
        int32_t bit;
        if (!GetBits(state, 1, bit)) return false;
        value = bit ? p1 : m1;
      } else if (r != 15) {
        int32_t run = 1 << r;
        if (r > 0) {
          int32_t extra;
          if (!GetBits(state, r, extra)) return false;
          run += extra;
        }
        state.eobRun = run;
        break;
      }
      do {
        int16_t& coef = block.coef[order[k]];
        if (coef != 0) {
          if (!Correct(state, coef, p1, m1)) return false;
        } else {
          if (--r < 0) break;
        }
        ++k;
      } while (k <= se);
      if (value != 0) block.coef[order[k]] = static_cast<int16_t>(value);
    }
  }
  if (state.eobRun > 0) {
    for (; k <= se; ++k) {
      int16_t& coef = block.coef[order[k]];
      if (coef != 0 && !Correct(state, coef, p1, m1)) return false;
    }
    --state.eobRun;
  }
  return true;
}

}  // namespace

const uint8_t* JpegNaturalOrder(int32_t blockSize) {
  static const sOrders orders = MakeOrders();
  if (blockSize < 1 || blockSize > 8) blockSize = 8;
  return orders.order[blockSize];
}

void InitScanDecoderState(sJpegScanState& state) {
  FreeScanDecoderState(state);
  state.kind = 0;
  state.bitBuffer = 0;
  state.bitsLeft = 0;
  state.bitBuffer64 = 0;
  state.eobRun = 0;
  state.restartsToGo = 0;
  state.nextRestart = 0;
  state.acTable = nullptr;
  state.parser = nullptr;
}

void FreeScanDecoderState(sJpegScanState& state) {
  state.lastDc.Reset();
  state.dcTableOf.Reset();
  state.componentDc.Reset();
  state.componentAc.Reset();
}

bool BuildDerivedTable(sJpegScanState& state, sJpegDerivedTable& table, bool dc, int32_t number) {
  table.source = nullptr;
  if (number < 0 || number > 3) return false;
  const sJpegHuffTable* src = dc ? &state.parser->dcTables_[number] : &state.parser->acTables_[number];
  if (!src->defined) src = &DefaultTable(dc, number == 1);
  table.source = nullptr;
  uint8_t sizes[257];
  int32_t n = 0;
  for (int32_t l = 1; l <= 16; ++l) {
    for (int32_t i = 0; i < src->bits[l]; ++i) {
      if (n >= 256) return false;
      sizes[n++] = static_cast<uint8_t>(l);
    }
  }
  // Canonical codes, stopping at the first that does not fit its length; an
  // over-subscribed table is refused.
  int32_t codes[256];
  int32_t code = 0, si = n > 0 ? sizes[0] : 0, k = 0;
  bool complete = true;
  while (k < n) {
    while (k < n && sizes[k] == si) codes[k++] = code++;
    if (code > (1 << si)) {
      complete = false;
      break;
    }
    code <<= 1;
    ++si;
  }
  std::memset(table.lookBits, 0, sizeof table.lookBits);
  std::memset(table.lookSym, 0, sizeof table.lookSym);
  int32_t index = 0;
  for (int32_t l = 1; l <= 16; ++l) {
    const int32_t count = src->bits[l];
    if (count > 0 && complete) {
      table.valOffset[l] = index - codes[index];
      table.maxCode[l] = codes[index + count - 1];
      if (l <= 8) {
        for (int32_t i = 0; i < count; ++i) {
          const int32_t prefix = codes[index + i] << (8 - l);
          for (int32_t j = 0; j < 1 << (8 - l); ++j) {
            table.lookBits[prefix + j] = static_cast<uint8_t>(l);
            table.lookSym[prefix + j] = src->huffval[index + i];
          }
        }
      }
    } else {
      table.valOffset[l] = 0;
      table.maxCode[l] = -1;
    }
    index += count;
  }
  table.maxCode[0] = -1;
  table.valOffset[0] = 0;
  table.maxCode[17] = 0xFFFFF;
  if (!complete) return false;
  table.source = src;
  if (dc) {
    for (int32_t i = 0; i < n; ++i)
      if (src->huffval[i] > 15) return false;
  }
  return true;
}

bool StartScan(sJpegScanState& state, cJPEGParser* parser) {
  InitScanDecoderState(state);
  state.parser = parser;
  state.restartsToGo = parser->restartInterval_;
  const int32_t nf = parser->components_.count;
  state.lastDc.Reallocate(nf);
  ResetDc(state);
  for (auto& t : state.tables) t.source = nullptr;
  if (parser->coding_ == 2 || parser->process_ != 3) {
    state.componentDc.Reallocate(nf);
    state.componentAc.Reallocate(nf);
    for (int32_t i = 0; i < nf; ++i) state.componentDc.data[i] = state.componentAc.data[i] = nullptr;
    state.kind = parser->coding_ == 2 ? kScanLossless : kScanSequential;
    for (int32_t i = 0; i < parser->scanCount_; ++i) {
      const int32_t ci = parser->scanComponents_[i];
      if (ci >= nf) return false;
      const sJpegComponent& comp = parser->components_.data[ci];
      sJpegDerivedTable& dc = state.tables[4 + comp.dcTable];
      // A DC table with categories above 15 is kept: such a category fails
      // the block that meets it. Over-subscribed code lengths are refused.
      BuildDerivedTable(state, dc, true, comp.dcTable);
      if (dc.source == nullptr) return false;
      state.componentDc.data[ci] = &dc;
      if (parser->limSe_ != 0 && parser->coding_ != 2) {
        sJpegDerivedTable& ac = state.tables[8 + comp.acTable];
        if (!BuildDerivedTable(state, ac, false, comp.acTable)) return false;
        state.componentAc.data[ci] = &ac;
      }
    }
    return true;
  }
  // Progressive.
  state.dcTableOf.Reallocate(nf);
  for (int32_t i = 0; i < nf; ++i) state.dcTableOf.data[i] = -1;
  const int32_t ss = parser->ss_, se = parser->se_, ah = parser->ah_, al = parser->al_;
  if (ss == 0) {
    if (se != 0) return false;
  } else {
    if (se < ss || se > parser->limSe_ || parser->scanCount_ != 1) return false;
  }
  if (ah != 0 && al != ah - 1) return false;
  if (al > 13) return false;
  state.kind = ss == 0 ? (ah == 0 ? kScanDcFirst : kScanDcRefine) : (ah == 0 ? kScanAcFirst : kScanAcRefine);
  for (int32_t i = 0; i < parser->scanCount_; ++i) {
    const int32_t ci = parser->scanComponents_[i];
    if (ci >= nf) return false;
    const sJpegComponent& comp = parser->components_.data[ci];
    state.dcTableOf.data[ci] = comp.dcTable;
    if (ss > 0) {
      if (!BuildDerivedTable(state, state.tables[comp.acTable], false, comp.acTable)) return false;
      state.acTable = &state.tables[comp.acTable];
    } else if (ah == 0) {
      sJpegDerivedTable& dc = state.tables[comp.dcTable];
      BuildDerivedTable(state, dc, true, comp.dcTable);
      if (dc.source == nullptr) return false;
    }
  }
  return true;
}

bool FillBitBuffer(sJpegScanState& state, int32_t needed) {
  cJPEGParser* p = state.parser;
  if (p->pendingMarker_ == 0) {
    // Plain bytes straight from the parser's buffer.
    const uint8_t* in = p->inPos_;
    const uint8_t* end = p->inEnd_;
    while (state.bitsLeft <= 56 && in < end && *in != 0xFF) {
      state.bitBuffer = state.bitBuffer << 8 | *in++;
      state.bitsLeft += 8;
    }
    p->position_ += static_cast<uint64_t>(in - p->inPos_);
    p->inPos_ = in;
    if (state.bitsLeft > 56) return true;
    return FillSlow(state, needed);
  }
  return state.bitsLeft >= needed;
}

int32_t DecodeHuffman(sJpegScanState& state, const sJpegDerivedTable& table) {
  if (state.bitsLeft < 8 && !FillBitBuffer(state, 8)) return DecodeSlow(state, table, 1);
  const uint32_t look = static_cast<uint32_t>(state.bitBuffer >> (state.bitsLeft - 8)) & 0xFF;
  const int32_t len = table.lookBits[look];
  if (len != 0) {
    state.bitsLeft -= len;
    return table.lookSym[look];
  }
  return DecodeSlow(state, table, 9);
}

bool ReceiveExtend(sJpegScanState& state, int32_t s, int32_t& value) {
  if (s == 0) {
    value = 0;
    return true;
  }
  if (!GetBits(state, s, value)) return false;
  value = Extend(value, s);
  return true;
}

bool ReadRestartMarker(sJpegScanState& state) {
  cJPEGParser* p = state.parser;
  if (p->pendingMarker_ == 0) {
    if (p->NextByte() != 0xFF) return false;
    int32_t b;
    do {
      b = p->NextByte();
    } while (b == 0x00 || b == 0xFF);
    if (b < 0xD0 || b > 0xD7) return false;
    p->pendingMarker_ = b;
  }
  if (p->pendingMarker_ != 0xD0 + state.nextRestart) return false;
  p->pendingMarker_ = 0;
  state.nextRestart = (state.nextRestart + 1) & 7;
  return true;
}

bool ProcessRestart(sJpegScanState& state) {
  state.bitsLeft = 0;
  state.bitBuffer = 0;
  if (!ReadRestartMarker(state)) return false;
  state.eobRun = 0;
  ResetDc(state);
  state.restartsToGo = state.parser->restartInterval_;
  return true;
}

bool DecodeMcuBlock(sJpegScanState& state, sJpegBlock& block) {
  cJPEGParser* p = state.parser;
  if (block.component < 0 || block.component >= p->components_.count) return false;
  if (p->restartInterval_ != 0 && state.restartsToGo == 0 && !ProcessRestart(state)) return false;
  bool ok = false;
  switch (state.kind) {
    case kScanSequential: ok = DecodeSequential(state, block); break;
    case kScanDcFirst: ok = DecodeDcFirst(state, block); break;
    case kScanDcRefine: ok = DecodeDcRefine(state, block); break;
    case kScanAcFirst: ok = DecodeAcFirst(state, block); break;
    case kScanAcRefine: ok = DecodeAcRefine(state, block); break;
    default: break;
  }
  if (!ok) return false;
  block.position = p->position_;
  block.bitBuffer = static_cast<uint32_t>(state.bitBuffer);
  block.bitCount = static_cast<uint8_t>(state.bitsLeft);
  return true;
}

bool FillBitBuffer64(sJpegScanState& state) {
  cJPEGParser* p = state.parser;
  while (state.bitsLeft <= 32) {
    uint8_t w[4];
    if (!p->ReadBytes(w, 4)) return false;
    const uint32_t word = static_cast<uint32_t>(w[0]) | static_cast<uint32_t>(w[1]) << 8 |
                          static_cast<uint32_t>(w[2]) << 16 | static_cast<uint32_t>(w[3]) << 24;
    state.bitBuffer64 = state.bitBuffer64 << 32 | word;
    state.bitsLeft += 32;
  }
  return true;
}

int32_t DecodeHuffmanLossless(sJpegScanState& state, const sJpegDerivedTable& table) {
  auto bit = [&](int32_t& b) {
    if (state.bitsLeft == 0 && !FillBitBuffer64(state)) return false;
    --state.bitsLeft;
    b = static_cast<int32_t>(state.bitBuffer64 >> state.bitsLeft) & 1;
    return true;
  };
  if (!FillBitBuffer64(state)) return -1;
  int32_t code, l = 1;
  if (!bit(code)) return -1;
  while (l <= 16 && code > table.maxCode[l]) {
    int32_t b;
    if (!bit(b)) return -1;
    code = code << 1 | b;
    ++l;
  }
  if (l > 16) return -1;
  const int32_t index = code + table.valOffset[l];
  if (index < 0 || index > 255) return -1;
  return table.source->huffval[index];
}
