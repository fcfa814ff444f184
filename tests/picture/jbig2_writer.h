// A small JBIG2 writer for the tests, written from ITU-T T.88: the MQ
// arithmetic encoder (Annex E), the generic-region encoding procedure for
// templates 0 to 3 with adaptive-template pixels and typical prediction
// (6.2), and the segment and file layout (7.2, Annex D). It writes the
// immediate generic regions, page information, end-of-page and end-of-file
// segments the decoder reads, plus a few others to be passed over.
#pragma once

#include <cstdint>
#include <random>
#include <utility>
#include <vector>

namespace jbig2_writer {

using tBytes = std::vector<uint8_t>;

// Qe, NMPS, NLPS, SWITCH of T.88 Table E.1.
struct sState {
  uint16_t qe;
  uint8_t nmps, nlps, sw;
};
inline const sState kStates[47] = {
    {0x5601, 1, 1, 1},   {0x3401, 2, 6, 0},   {0x1801, 3, 9, 0},   {0x0AC1, 4, 12, 0},  {0x0521, 5, 29, 0},
    {0x0221, 38, 33, 0}, {0x5601, 7, 6, 1},   {0x5401, 8, 14, 0},  {0x4801, 9, 14, 0},  {0x3801, 10, 14, 0},
    {0x3001, 11, 17, 0}, {0x2401, 12, 18, 0}, {0x1C01, 13, 20, 0}, {0x1601, 29, 21, 0}, {0x5601, 15, 14, 1},
    {0x5401, 16, 14, 0}, {0x5101, 17, 15, 0}, {0x4801, 18, 16, 0}, {0x3801, 19, 17, 0}, {0x3401, 20, 18, 0},
    {0x3001, 21, 19, 0}, {0x2801, 22, 19, 0}, {0x2401, 23, 20, 0}, {0x2201, 24, 21, 0}, {0x1C01, 25, 22, 0},
    {0x1801, 26, 23, 0}, {0x1601, 27, 24, 0}, {0x1401, 28, 25, 0}, {0x1201, 29, 26, 0}, {0x1101, 30, 27, 0},
    {0x0AC1, 31, 28, 0}, {0x09C1, 32, 29, 0}, {0x08A1, 33, 30, 0}, {0x0521, 34, 31, 0}, {0x0441, 35, 32, 0},
    {0x02A1, 36, 33, 0}, {0x0221, 37, 34, 0}, {0x0141, 38, 35, 0}, {0x0111, 39, 36, 0}, {0x0085, 40, 37, 0},
    {0x0049, 41, 38, 0}, {0x0025, 42, 39, 0}, {0x0015, 43, 40, 0}, {0x0009, 44, 41, 0}, {0x0005, 45, 42, 0},
    {0x0001, 45, 43, 0}, {0x5601, 46, 46, 0},
};

// The MQ encoder (T.88 E.2: INITENC, ENCODE, RENORME, BYTEOUT, FLUSH).
class cMqEncoder {
public:
  explicit cMqEncoder(size_t contexts) : index_(contexts, 0), mps_(contexts, 0) { out_.push_back(0); }

  void Encode(size_t cx, int d) {
    const sState& s = kStates[index_[cx]];
    a_ -= s.qe;
    if (d == mps_[cx]) {
      if ((a_ & 0x8000) != 0) {
        c_ += s.qe;
        return;
      }
      if (a_ < s.qe)
        a_ = s.qe;
      else
        c_ += s.qe;
      index_[cx] = s.nmps;
    } else {
      if (a_ < s.qe)
        c_ += s.qe;
      else
        a_ = s.qe;
      if (s.sw) mps_[cx] ^= 1;
      index_[cx] = s.nlps;
    }
    do {
      a_ <<= 1;
      c_ <<= 1;
      if (--ct_ == 0) ByteOut();
    } while ((a_ & 0x8000) == 0);
  }

  // FLUSH, then the 0xFF 0xAC end marker; the coded bytes.
  tBytes Finish() {
    const uint32_t top = c_ + a_;
    c_ |= 0xFFFF;
    if (c_ >= top) c_ -= 0x8000;
    c_ <<= ct_;
    ByteOut();
    c_ <<= ct_;
    ByteOut();
    if (out_.back() != 0xFF) out_.push_back(0xFF);
    out_.push_back(0xAC);
    return tBytes(out_.begin() + 1, out_.end());
  }

private:
  void ByteOut() {
    if (out_.back() == 0xFF) {
      out_.push_back(static_cast<uint8_t>(c_ >> 20));
      c_ &= 0xFFFFF;
      ct_ = 7;
    } else if (c_ < 0x8000000) {
      out_.push_back(static_cast<uint8_t>(c_ >> 19));
      c_ &= 0x7FFFF;
      ct_ = 8;
    } else {
      ++out_.back();
      if (out_.back() == 0xFF) {
        c_ &= 0x7FFFFFF;
        out_.push_back(static_cast<uint8_t>(c_ >> 20));
        c_ &= 0xFFFFF;
        ct_ = 7;
      } else {
        out_.push_back(static_cast<uint8_t>(c_ >> 19));
        c_ &= 0x7FFFF;
        ct_ = 8;
      }
    }
  }

  std::vector<uint8_t> index_, mps_;
  tBytes out_;  // out_[0] stands for the byte before the first one
  uint32_t a_ = 0x8000, c_ = 0;
  int ct_ = 12;
};

// A one-bit picture, one byte (0 or 1) per pixel, top row first.
struct sBitmap {
  int w = 0, h = 0;
  std::vector<uint8_t> px;
  sBitmap() = default;
  sBitmap(int width, int height) : w(width), h(height), px(static_cast<size_t>(width) * height, 0) {}
  int At(int x, int y) const { return x < 0 || y < 0 || x >= w || y >= h ? 0 : px[static_cast<size_t>(y) * w + x]; }
  void Set(int x, int y, int v) { px[static_cast<size_t>(y) * w + x] = static_cast<uint8_t>(v); }
};

// Some shapes with runs, repeated rows (typical prediction has work) and
// noise, from a seed.
inline sBitmap MakeTestBitmap(int w, int h, uint32_t seed) {
  sBitmap b(w, h);
  std::mt19937 rng(seed);
  for (int y = 0; y < h; ++y) {
    if (y > 0 && rng() % 4 == 0) {
      for (int x = 0; x < w; ++x) b.Set(x, y, b.At(x, y - 1));
      continue;
    }
    for (int x = 0; x < w; ++x) {
      const int cx = x - w / 2, cy = y - h / 2;
      int v = (cx * cx + cy * cy) < (w * h) / 6 ? 1 : 0;
      if ((x / 3 + y / 5) % 7 == 0) v ^= 1;
      if (rng() % 23 == 0) v ^= 1;
      b.Set(x, y, v);
    }
  }
  return b;
}

struct sGenericOptions {
  int tmpl = 0;
  bool tpgdon = false;
  // A1x, A1y .. A4x, A4y; the nominal positions by default.
  int8_t at[8] = {3, -1, -3, -1, 2, -2, -2, -2};
};

inline int8_t NominalA1x(int tmpl) { return tmpl == 2 ? 2 : 3; }

// The context of pixel (x, y) as T.88 6.2.5.3 forms it for each template.
inline uint32_t Context(const sBitmap& b, int x, int y, const sGenericOptions& o) {
  auto p = [&](int dx, int dy) { return static_cast<uint32_t>(b.At(x + dx, y + dy)); };
  auto at = [&](int n) { return p(o.at[2 * n], o.at[2 * n + 1]); };
  switch (o.tmpl) {
    case 0:
      return p(-1, 0) | p(-2, 0) << 1 | p(-3, 0) << 2 | p(-4, 0) << 3 | at(0) << 4 | p(2, -1) << 5 | p(1, -1) << 6 |
             p(0, -1) << 7 | p(-1, -1) << 8 | p(-2, -1) << 9 | at(1) << 10 | at(2) << 11 | p(1, -2) << 12 |
             p(0, -2) << 13 | p(-1, -2) << 14 | at(3) << 15;
    case 1:
      return p(-1, 0) | p(-2, 0) << 1 | p(-3, 0) << 2 | at(0) << 3 | p(2, -1) << 4 | p(1, -1) << 5 |
             p(0, -1) << 6 | p(-1, -1) << 7 | p(-2, -1) << 8 | p(2, -2) << 9 | p(1, -2) << 10 | p(0, -2) << 11 |
             p(-1, -2) << 12;
    case 2:
      return p(-1, 0) | p(-2, 0) << 1 | at(0) << 2 | p(1, -1) << 3 | p(0, -1) << 4 | p(-1, -1) << 5 |
             p(-2, -1) << 6 | p(1, -2) << 7 | p(0, -2) << 8 | p(-1, -2) << 9;
    default:
      return p(-1, 0) | p(-2, 0) << 1 | p(-3, 0) << 2 | p(-4, 0) << 3 | at(0) << 4 | p(1, -1) << 5 |
             p(0, -1) << 6 | p(-1, -1) << 7 | p(-2, -1) << 8 | p(-3, -1) << 9;
  }
}

// The arithmetic-coded data of a generic region (T.88 6.2.5.7, encoder side).
inline tBytes EncodeGeneric(const sBitmap& b, const sGenericOptions& o) {
  static const uint32_t kSltp[4] = {0x9B25, 0x0795, 0x00E5, 0x0195};
  cMqEncoder enc(o.tmpl == 0 ? 65536 : o.tmpl == 1 ? 8192 * 2 : 1024);
  int ltp = 0;
  for (int y = 0; y < b.h; ++y) {
    if (o.tpgdon) {
      bool same = true;
      for (int x = 0; x < b.w && same; ++x) same = b.At(x, y) == b.At(x, y - 1);
      const int now = same ? 1 : 0;
      enc.Encode(kSltp[o.tmpl], now ^ ltp);
      ltp = now;
      if (ltp) continue;
    }
    for (int x = 0; x < b.w; ++x) enc.Encode(Context(b, x, y, o), b.At(x, y));
  }
  return enc.Finish();
}

inline void Put32(tBytes& v, uint32_t x) {
  for (int s = 24; s >= 0; s -= 8) v.push_back(static_cast<uint8_t>(x >> s));
}

// Immediate generic region segment data: region information, flags, AT
// bytes and the coded data.
inline tBytes GenericRegionData(uint32_t w, uint32_t h, uint32_t x, uint32_t y, uint8_t op,
                                const sGenericOptions& o, const tBytes& coded, bool mmr = false) {
  tBytes d;
  Put32(d, w);
  Put32(d, h);
  Put32(d, x);
  Put32(d, y);
  d.push_back(op);
  d.push_back(static_cast<uint8_t>((mmr ? 1 : 0) | o.tmpl << 1 | (o.tpgdon ? 8 : 0)));
  const int atBytes = o.tmpl == 0 ? 8 : 2;
  for (int i = 0; i < atBytes; ++i) d.push_back(static_cast<uint8_t>(o.at[i]));
  d.insert(d.end(), coded.begin(), coded.end());
  return d;
}

inline tBytes PageInfoData(uint32_t w, uint32_t h) {
  tBytes d;
  Put32(d, w);
  Put32(d, h);
  Put32(d, 0);  // resolutions unknown
  Put32(d, 0);
  d.push_back(0x40);  // flags: default pixel 0, OR, regions may override it
  d.push_back(0);  // no striping
  d.push_back(0);
  return d;
}

struct sSegment {
  uint32_t number = 0;
  uint8_t type = 0;
  uint32_t page = 1;
  tBytes data;
  std::vector<uint32_t> refs;  // referred-to segment numbers
  bool longPage = false;       // 4-byte page association
  bool longRefCount = false;   // the long form of the referred-to count
};

inline sSegment Seg(uint32_t number, uint8_t type, uint32_t page, tBytes data) {
  sSegment s;
  s.number = number;
  s.type = type;
  s.page = page;
  s.data = std::move(data);
  return s;
}

// The segment header (T.88 7.2).
inline tBytes SegmentHeader(const sSegment& s) {
  tBytes h;
  Put32(h, s.number);
  h.push_back(static_cast<uint8_t>(s.type | (s.longPage ? 0x40 : 0)));
  const uint32_t n = static_cast<uint32_t>(s.refs.size());
  if (n <= 4 && !s.longRefCount) {
    h.push_back(static_cast<uint8_t>(n << 5));
  } else {
    Put32(h, 0xE0000000u | n);
    for (uint32_t i = 0; i < (n + 8) / 8; ++i) h.push_back(0);  // retain bits
  }
  for (uint32_t r : s.refs) {
    if (s.number <= 256)
      h.push_back(static_cast<uint8_t>(r));
    else if (s.number <= 65536) {
      h.push_back(static_cast<uint8_t>(r >> 8));
      h.push_back(static_cast<uint8_t>(r));
    } else
      Put32(h, r);
  }
  if (s.longPage)
    Put32(h, s.page);
  else
    h.push_back(static_cast<uint8_t>(s.page));
  Put32(h, static_cast<uint32_t>(s.data.size()));
  return h;
}

// Segments one after the other, each header followed by its data.
inline tBytes Sequential(const std::vector<sSegment>& segs) {
  tBytes out;
  for (const sSegment& s : segs) {
    const tBytes h = SegmentHeader(s);
    out.insert(out.end(), h.begin(), h.end());
    out.insert(out.end(), s.data.begin(), s.data.end());
  }
  return out;
}

// Every header first, then every segment's data.
inline tBytes RandomAccess(const std::vector<sSegment>& segs) {
  tBytes out;
  for (const sSegment& s : segs) {
    const tBytes h = SegmentHeader(s);
    out.insert(out.end(), h.begin(), h.end());
  }
  for (const sSegment& s : segs) out.insert(out.end(), s.data.begin(), s.data.end());
  return out;
}

// The file header: ID, flags (bit 0 sequential, bit 1 page count unknown)
// and the page count unless unknown.
inline tBytes FileHeader(uint32_t pages, bool sequential = true, bool countUnknown = false) {
  tBytes h = {0x97, 0x4A, 0x42, 0x32, 0x0D, 0x0A, 0x1A, 0x0A};
  h.push_back(static_cast<uint8_t>((sequential ? 1 : 0) | (countUnknown ? 2 : 0)));
  if (!countUnknown) Put32(h, pages);
  return h;
}

inline tBytes Concat(tBytes a, const tBytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// One page of a document: its size and regions (bitmap, position, options,
// combination operator).
struct sRegion {
  sBitmap bitmap;
  uint32_t x = 0, y = 0;
  sGenericOptions options;
  uint8_t op = 0;
  bool stripMarker = false;  // drop the final 0xAC: the data ends in 0xFF
};
struct sPageSpec {
  uint32_t w = 0, h = 0;
  std::vector<sRegion> regions;
};

// The segments of a document: per page its information, its regions and the
// end of page; then the end of file. Numbers from firstNumber on.
inline std::vector<sSegment> DocumentSegments(const std::vector<sPageSpec>& pages, bool endOfFile,
                                              uint32_t firstNumber = 0) {
  std::vector<sSegment> segs;
  uint32_t n = firstNumber;
  for (size_t p = 0; p < pages.size(); ++p) {
    const uint32_t page = static_cast<uint32_t>(p + 1);
    segs.push_back(Seg(n++, 48, page, PageInfoData(pages[p].w, pages[p].h)));
    for (const sRegion& r : pages[p].regions) {
      tBytes coded = EncodeGeneric(r.bitmap, r.options);
      if (r.stripMarker) coded.pop_back();
      segs.push_back(Seg(n++, 38, page,
                         GenericRegionData(static_cast<uint32_t>(r.bitmap.w), static_cast<uint32_t>(r.bitmap.h),
                                           r.x, r.y, r.op, r.options, coded)));
    }
    segs.push_back(Seg(n++, 49, page, {}));
  }
  if (endOfFile) segs.push_back(Seg(n++, 51, 0, {}));
  return segs;
}

// What a decoder should show: white pages with each region replacing (or,
// with operator 0, OR-ing) the pixels under it, clipped to the page.
inline sBitmap ExpectedPage(const sPageSpec& page, bool replace) {
  sBitmap out(static_cast<int>(page.w), static_cast<int>(page.h));
  for (const sRegion& r : page.regions)
    for (int y = 0; y < r.bitmap.h; ++y)
      for (int x = 0; x < r.bitmap.w; ++x) {
        const int64_t px = r.x + static_cast<int64_t>(x), py = r.y + static_cast<int64_t>(y);
        if (px >= page.w || py >= page.h) continue;
        const int v = r.bitmap.At(x, y);
        if (replace)
          out.Set(static_cast<int>(px), static_cast<int>(py), v);
        else if (v)
          out.Set(static_cast<int>(px), static_cast<int>(py), 1);
      }
  return out;
}

}  // namespace jbig2_writer
