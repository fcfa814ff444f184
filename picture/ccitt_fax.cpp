// See ccitt_fax.h.
//
// Decoding works on change lists: the positions where a row's colour
// changes, the first one a change from white to black. A one-dimensional
// row produces them from its runs; a two-dimensional row from the modes and
// the previous row's list (b1 and b2 are read off that list). The rows are
// painted from their lists at the end.
#include "picture/ccitt_fax.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

namespace {

// ---- ITU-T T.4 code tables: run length and code bits ----
struct sCode {
  int32_t run;
  const char* bits;
};

constexpr sCode kWhiteTerminating[] = {
    {0, "00110101"}, {1, "000111"},   {2, "0111"},     {3, "1000"},     {4, "1011"},     {5, "1100"},
    {6, "1110"},     {7, "1111"},     {8, "10011"},    {9, "10100"},    {10, "00111"},   {11, "01000"},
    {12, "001000"},  {13, "000011"},  {14, "110100"},  {15, "110101"},  {16, "101010"},  {17, "101011"},
    {18, "0100111"}, {19, "0001100"}, {20, "0001000"}, {21, "0010111"}, {22, "0000011"}, {23, "0000100"},
    {24, "0101000"}, {25, "0101011"}, {26, "0010011"}, {27, "0100100"}, {28, "0011000"}, {29, "00000010"},
    {30, "00000011"}, {31, "00011010"}, {32, "00011011"}, {33, "00010010"}, {34, "00010011"}, {35, "00010100"},
    {36, "00010101"}, {37, "00010110"}, {38, "00010111"}, {39, "00101000"}, {40, "00101001"}, {41, "00101010"},
    {42, "00101011"}, {43, "00101100"}, {44, "00101101"}, {45, "00000100"}, {46, "00000101"}, {47, "00001010"},
    {48, "00001011"}, {49, "01010010"}, {50, "01010011"}, {51, "01010100"}, {52, "01010101"}, {53, "00100100"},
    {54, "00100101"}, {55, "01011000"}, {56, "01011001"}, {57, "01011010"}, {58, "01011011"}, {59, "01001010"},
    {60, "01001011"}, {61, "00110010"}, {62, "00110011"}, {63, "00110100"},
};

constexpr sCode kWhiteMakeUp[] = {
    {64, "11011"},       {128, "10010"},      {192, "010111"},     {256, "0110111"},    {320, "00110110"},
    {384, "00110111"},   {448, "01100100"},   {512, "01100101"},   {576, "01101000"},   {640, "01100111"},
    {704, "011001100"},  {768, "011001101"},  {832, "011010010"},  {896, "011010011"},  {960, "011010100"},
    {1024, "011010101"}, {1088, "011010110"}, {1152, "011010111"}, {1216, "011011000"}, {1280, "011011001"},
    {1344, "011011010"}, {1408, "011011011"}, {1472, "010011000"}, {1536, "010011001"}, {1600, "010011010"},
    {1664, "011000"},    {1728, "010011011"},
};

constexpr sCode kBlackTerminating[] = {
    {0, "0000110111"},    {1, "010"},           {2, "11"},            {3, "10"},            {4, "011"},
    {5, "0011"},          {6, "0010"},          {7, "00011"},         {8, "000101"},        {9, "000100"},
    {10, "0000100"},      {11, "0000101"},      {12, "0000111"},      {13, "00000100"},     {14, "00000111"},
    {15, "000011000"},    {16, "0000010111"},   {17, "0000011000"},   {18, "0000001000"},   {19, "00001100111"},
    {20, "00001101000"},  {21, "00001101100"},  {22, "00000110111"},  {23, "00000101000"},  {24, "00000010111"},
    {25, "00000011000"},  {26, "000011001010"}, {27, "000011001011"}, {28, "000011001100"}, {29, "000011001101"},
    {30, "000001101000"}, {31, "000001101001"}, {32, "000001101010"}, {33, "000001101011"}, {34, "000011010010"},
    {35, "000011010011"}, {36, "000011010100"}, {37, "000011010101"}, {38, "000011010110"}, {39, "000011010111"},
    {40, "000001101100"}, {41, "000001101101"}, {42, "000011011010"}, {43, "000011011011"}, {44, "000001010100"},
    {45, "000001010101"}, {46, "000001010110"}, {47, "000001010111"}, {48, "000001100100"}, {49, "000001100101"},
    {50, "000001010010"}, {51, "000001010011"}, {52, "000000100100"}, {53, "000000110111"}, {54, "000000111000"},
    {55, "000000100111"}, {56, "000000101000"}, {57, "000001011000"}, {58, "000001011001"}, {59, "000000101011"},
    {60, "000000101100"}, {61, "000001011010"}, {62, "000001100110"}, {63, "000001100111"},
};

constexpr sCode kBlackMakeUp[] = {
    {64, "0000001111"},     {128, "000011001000"},  {192, "000011001001"},  {256, "000001011011"},
    {320, "000000110011"},  {384, "000000110100"},  {448, "000000110101"},  {512, "0000001101100"},
    {576, "0000001101101"}, {640, "0000001001010"}, {704, "0000001001011"}, {768, "0000001001100"},
    {832, "0000001001101"}, {896, "0000001110010"}, {960, "0000001110011"}, {1024, "0000001110100"},
    {1088, "0000001110101"}, {1152, "0000001110110"}, {1216, "0000001110111"}, {1280, "0000001010010"},
    {1344, "0000001010011"}, {1408, "0000001010100"}, {1472, "0000001010101"}, {1536, "0000001011010"},
    {1600, "0000001011011"}, {1664, "0000001100100"}, {1728, "0000001100101"},
};

// Shared by both colours.
constexpr sCode kExtendedMakeUp[] = {
    {1792, "00000001000"},  {1856, "00000001100"},  {1920, "00000001101"},  {1984, "000000010010"},
    {2048, "000000010011"}, {2112, "000000010100"}, {2176, "000000010101"}, {2240, "000000010110"},
    {2304, "000000010111"}, {2368, "000000011100"}, {2432, "000000011101"}, {2496, "000000011110"},
    {2560, "000000011111"},
};

constexpr const char* kEol = "000000000001";

// Two-dimensional mode codes (T.4 Table 4).
enum eMode : int32_t {
  kModeNone = 0,
  kModePass,
  kModeHorizontal,
  kModeV0,
  kModeVR1,
  kModeVR2,
  kModeVR3,
  kModeVL1,
  kModeVL2,
  kModeVL3,
  kModeExtension,
  kModeEol,
};

struct sModeCode {
  eMode mode;
  const char* bits;
};

constexpr sModeCode kModeCodes[] = {
    {kModePass, "0001"},    {kModeHorizontal, "001"}, {kModeV0, "1"},          {kModeVR1, "011"},
    {kModeVR2, "000011"},   {kModeVR3, "0000011"},    {kModeVL1, "010"},       {kModeVL2, "000010"},
    {kModeVL3, "0000010"},  {kModeExtension, "0000001111"}, {kModeEol, "000000000001"},
};

// ---- Decoding tables built from the code lists ----
enum eKind : uint8_t { kInvalid = 0, kTerminating = 1, kMakeUp = 2, kEolCode = 3 };

struct sEntry {
  uint16_t value = 0;  // run, or mode
  uint8_t length = 0;  // code bits; 0: no code starts with these bits
  uint8_t kind = kInvalid;
};

constexpr int32_t kRunBits = 13;  // longest run code
constexpr int32_t kModeBits = 12;  // longest mode code (EOL)

struct sTables {
  std::vector<sEntry> white, black, modes;
  bool prefixFree = true;
};

void Put(std::vector<sEntry>& table, int32_t tableBits, const char* bits, uint16_t value, uint8_t kind,
         bool& prefixFree) {
  const int32_t len = static_cast<int32_t>(std::strlen(bits));
  uint32_t code = 0;
  for (int32_t i = 0; i < len; ++i) code = code << 1 | static_cast<uint32_t>(bits[i] - '0');
  const uint32_t first = code << (tableBits - len), n = 1u << (tableBits - len);
  for (uint32_t i = 0; i < n; ++i) {
    sEntry& e = table[first + i];
    if (e.length != 0) prefixFree = false;
    e = {value, static_cast<uint8_t>(len), kind};
  }
}

const sTables& Tables() {
  static sTables t;
  static std::once_flag once;
  std::call_once(once, [] {
    t.white.assign(size_t{1} << kRunBits, sEntry{});
    t.black.assign(size_t{1} << kRunBits, sEntry{});
    t.modes.assign(size_t{1} << kModeBits, sEntry{});
    for (const sCode& c : kWhiteTerminating) Put(t.white, kRunBits, c.bits, static_cast<uint16_t>(c.run), kTerminating, t.prefixFree);
    for (const sCode& c : kWhiteMakeUp) Put(t.white, kRunBits, c.bits, static_cast<uint16_t>(c.run), kMakeUp, t.prefixFree);
    for (const sCode& c : kBlackTerminating) Put(t.black, kRunBits, c.bits, static_cast<uint16_t>(c.run), kTerminating, t.prefixFree);
    for (const sCode& c : kBlackMakeUp) Put(t.black, kRunBits, c.bits, static_cast<uint16_t>(c.run), kMakeUp, t.prefixFree);
    for (const sCode& c : kExtendedMakeUp) {
      Put(t.white, kRunBits, c.bits, static_cast<uint16_t>(c.run), kMakeUp, t.prefixFree);
      Put(t.black, kRunBits, c.bits, static_cast<uint16_t>(c.run), kMakeUp, t.prefixFree);
    }
    Put(t.white, kRunBits, kEol, 0, kEolCode, t.prefixFree);
    Put(t.black, kRunBits, kEol, 0, kEolCode, t.prefixFree);
    for (const sModeCode& m : kModeCodes)
      Put(t.modes, kModeBits, m.bits, static_cast<uint16_t>(m.mode), kTerminating, t.prefixFree);
  });
  return t;
}

// ---- Bit input ----
class cBitInput {
public:
  cBitInput(const uint8_t* data, int32_t count) : data_(data), count_(count), bits_(int64_t{count} * 8) {}

  // The next n (at most 24) bits; zeros past the end.
  uint32_t Peek(int32_t n) const {
    const int64_t byte = pos_ >> 3;
    uint32_t v = 0;
    for (int32_t i = 0; i < 4; ++i) v = v << 8 | (byte + i < count_ ? data_[byte + i] : 0u);
    v <<= (pos_ & 7);
    return v >> (32 - n);
  }
  void Skip(int32_t n) { pos_ += n; }
  bool AtEnd() const { return pos_ >= bits_; }
  int64_t Left() const { return bits_ - pos_; }
  // -1 at the end.
  int32_t Bit() {
    if (pos_ >= bits_) return -1;
    const int32_t b = (data_[pos_ >> 3] >> (7 - (pos_ & 7))) & 1;
    ++pos_;
    return b;
  }
  // Past the next EOL (eleven or more 0-bits and a 1-bit); false when the
  // data ends first.
  bool SkipToEol() {
    int32_t zeros = 0;
    for (;;) {
      const int32_t b = Bit();
      if (b < 0) return false;
      if (b == 0) ++zeros;
      else if (zeros >= 11) return true;
      else zeros = 0;
    }
  }

private:
  const uint8_t* data_;
  int64_t count_;
  int64_t bits_;
  int64_t pos_ = 0;
};

constexpr int32_t kRunEnd = -1;      // the data ended
constexpr int32_t kRunInvalid = -2;  // no such code
constexpr int32_t kRunEol = -3;      // an EOL instead of a run

int32_t ReadRun(cBitInput& in, int32_t colour) {
  const std::vector<sEntry>& table = colour == 0 ? Tables().white : Tables().black;
  int64_t total = 0;
  for (;;) {
    if (in.AtEnd()) return kRunEnd;
    const sEntry& e = table[in.Peek(kRunBits)];
    if (e.length == 0) return in.Left() < kRunBits ? kRunEnd : kRunInvalid;
    if (e.length > in.Left()) return kRunEnd;
    in.Skip(e.length);
    if (e.kind == kEolCode) return kRunEol;
    total += e.value;
    if (total > (int64_t{1} << 24)) return kRunInvalid;
    if (e.kind == kTerminating) return static_cast<int32_t>(total);
  }
}

eMode ReadMode(cBitInput& in, bool& ended) {
  ended = false;
  if (in.AtEnd()) {
    ended = true;
    return kModeNone;
  }
  const sEntry& e = Tables().modes[in.Peek(kModeBits)];
  if (e.length == 0 || e.length > in.Left()) {
    ended = in.Left() < kModeBits;
    return kModeNone;
  }
  in.Skip(e.length);
  return static_cast<eMode>(e.value);
}

struct sState {
  const sFaxParams* p = nullptr;
  cBitInput* in = nullptr;
  std::vector<int32_t> ref;  // the previous row's changes, then w, w, w
  std::vector<int32_t> cur;
  bool eolConsumed = false;
  bool t4 = false;
};

// One-dimensional row into s.cur; false on a failed row.
bool Row1D(sState& s) {
  const int32_t w = s.p->width;
  s.cur.clear();
  int32_t a0 = 0, colour = 0;
  while (a0 < w) {
    int32_t run = ReadRun(*s.in, colour);
    if (run == kRunEnd) return false;
    if (run == kRunEol) {
      // The row ends early; its rest keeps the background.
      s.eolConsumed = true;
      return true;
    }
    if (run == kRunInvalid) {
      if (s.t4) s.eolConsumed = s.in->SkipToEol();
      return false;
    }
    run = std::min(run, w - a0);
    a0 += run;
    s.cur.push_back(a0);
    colour ^= 1;
  }
  return true;
}

// Uncompressed mode (T.4 extension 111): pixels until an exit code, whose
// tag bit gives the colour to go on with. pos and colour move along.
bool Uncompressed(sState& s, int32_t& pos, int32_t& colour) {
  const int32_t w = s.p->width;
  auto emit = [&](int32_t c, int32_t n) {
    if (n <= 0) return;
    if (c != colour) {
      s.cur.push_back(std::min(pos, w));
      colour = c;
    }
    pos = std::min(pos + n, w);
  };
  for (;;) {
    int32_t zeros = 0;
    int32_t b;
    while ((b = s.in->Bit()) == 0) {
      if (++zeros > 10) return false;
    }
    if (b < 0) return false;
    if (zeros <= 4) {
      emit(0, zeros);
      emit(1, 1);
    } else if (zeros == 5) {
      // "000001": five white pixels; the 1-bit is part of the code.
      emit(0, 5);
    } else {
      emit(0, zeros - 6);
      const int32_t tag = s.in->Bit();
      if (tag < 0) return false;
      if (tag != colour) {
        s.cur.push_back(std::min(pos, w));
        colour = tag;
      }
      return true;
    }
  }
}

// Two-dimensional row against s.ref into s.cur.
bool Row2D(sState& s) {
  const int32_t w = s.p->width;
  s.cur.clear();
  const std::vector<int32_t>& r = s.ref;
  int32_t a0 = -1, colour = 0;
  size_t ri = 0;
  while (a0 < w) {
    bool ended = false;
    const eMode mode = ReadMode(*s.in, ended);
    if (mode == kModeNone) return false;
    if (mode == kModeEol) {
      if (s.t4) {
        s.eolConsumed = true;
        return true;
      }
      return false;
    }
    size_t i = ri > 0 ? ri - 1 : 0;
    while (r[i] <= a0 || static_cast<int32_t>(i & 1) != colour) ++i;
    ri = i;
    const int32_t b1 = r[i], b2 = r[i + 1];
    const int32_t start = a0 < 0 ? 0 : a0;
    switch (mode) {
      case kModePass: a0 = b2; break;
      case kModeHorizontal: {
        int32_t r1 = ReadRun(*s.in, colour);
        if (r1 < 0) return r1 == kRunEol && s.t4 ? (s.eolConsumed = true) : false;
        int32_t r2 = ReadRun(*s.in, colour ^ 1);
        if (r2 < 0) return r2 == kRunEol && s.t4 ? (s.eolConsumed = true) : false;
        const int32_t a1 = std::min(start + r1, w);
        const int32_t a2 = std::min(a1 + r2, w);
        s.cur.push_back(a1);
        s.cur.push_back(a2);
        a0 = a2;
        break;
      }
      case kModeExtension: {
        int32_t pos = start;
        if (!Uncompressed(s, pos, colour)) return false;
        a0 = pos;
        break;
      }
      default: {
        static constexpr int32_t kDelta[] = {0, 0, 0, 0, 1, 2, 3, -1, -2, -3};
        const int32_t a1 = b1 + kDelta[mode];
        if (a1 < start || a1 > w) return false;
        s.cur.push_back(a1);
        a0 = a1;
        colour ^= 1;
        break;
      }
    }
  }
  return true;
}

void SetRun(uint8_t* row, int32_t a, int32_t b) {
  if (a >= b) return;
  int32_t fa = a >> 3;
  const int32_t fb = (b - 1) >> 3;
  const uint8_t head = static_cast<uint8_t>(0xFFu >> (a & 7));
  const uint8_t tail = static_cast<uint8_t>(0xFFu << (7 - ((b - 1) & 7)));
  if (fa == fb) {
    row[fa] |= head & tail;
    return;
  }
  row[fa++] |= head;
  if (fb > fa) std::memset(row + fa, 0xFF, static_cast<size_t>(fb - fa));
  row[fb] |= tail;
}

void Paint(const sState& s, uint8_t* row) {
  const int32_t w = s.p->width;
  const int32_t one = s.p->whiteIsOne ? 0 : 1;  // the colour written as 1-bits
  int32_t pos = 0, colour = 0;
  for (int32_t c : s.cur) {
    const int32_t e = std::min(std::max(c, pos), w);
    if (colour == one) SetRun(row, pos, e);
    pos = e;
    colour ^= 1;
  }
  if (colour == one) SetRun(row, pos, w);
}

void SetReference(sState& s) {
  s.ref = s.cur;
  for (int i = 0; i < 3; ++i) s.ref.push_back(s.p->width);
}

bool Prepare(const uint8_t* input, int32_t count, const sFaxParams& p, _typebuf<uint8_t>& output,
             std::vector<uint8_t>& reversed, const uint8_t*& data) {
  if (p.width <= 0 || p.rows < 0 || p.bytesPerRow < (static_cast<int64_t>(p.width) + 7) / 8) return false;
  const int64_t size = static_cast<int64_t>(p.rows) * p.bytesPerRow;
  if (size > 0x7FFFFFFF) return false;
  output.Reset();
  if (size > 0) {
    output.Reallocate(static_cast<int32_t>(size));
    std::memset(output.data, 0, static_cast<size_t>(size));
  }
  data = input;
  if (p.reverseBits && count > 0) {
    static const auto kReverse = [] {
      std::vector<uint8_t> t(256);
      for (int i = 0; i < 256; ++i) {
        uint8_t r = 0;
        for (int b = 0; b < 8; ++b) r = static_cast<uint8_t>(r | (((i >> b) & 1) << (7 - b)));
        t[i] = r;
      }
      return t;
    }();
    reversed.resize(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i) reversed[i] = kReverse[input[i]];
    data = reversed.data();
  }
  return true;
}

}  // namespace

bool DecodeFaxT4Data(const uint8_t* input, int32_t count, const sFaxParams& p, _typebuf<uint8_t>& output) {
  std::vector<uint8_t> reversed;
  const uint8_t* data = nullptr;
  if (!Prepare(input, count, p, output, reversed, data)) return false;
  cBitInput in(data, count);
  sState s;
  s.p = &p;
  s.in = &in;
  s.t4 = true;
  s.cur.clear();
  SetReference(s);
  in.SkipToEol();
  bool next2D = false;
  if (p.twoDimensional) next2D = in.Bit() == 0;
  for (int32_t row = 0; row < p.rows; ++row) {
    s.eolConsumed = false;
    if (!(next2D ? Row2D(s) : Row1D(s))) return false;
    Paint(s, output.data + static_cast<int64_t>(row) * p.bytesPerRow);
    if (!s.eolConsumed) in.SkipToEol();
    if (p.twoDimensional) next2D = in.Bit() == 0;
    SetReference(s);
  }
  return true;
}

bool DecodeFaxT6Data(const uint8_t* input, int32_t count, const sFaxParams& p, _typebuf<uint8_t>& output) {
  std::vector<uint8_t> reversed;
  const uint8_t* data = nullptr;
  if (!Prepare(input, count, p, output, reversed, data)) return false;
  cBitInput in(data, count);
  sState s;
  s.p = &p;
  s.in = &in;
  SetReference(s);  // an all-white line
  for (int32_t row = 0; row < p.rows; ++row) {
    if (!Row2D(s)) return false;
    Paint(s, output.data + static_cast<int64_t>(row) * p.bytesPerRow);
    SetReference(s);
  }
  return true;
}

bool ccitt_internal::TablesArePrefixFree() { return Tables().prefixFree; }
