// The TIFF directory walker over files made by the test kit's builder, in
// both byte orders and in BigTIFF: entry reporting (inline and out of line,
// the next-IFD pseudo-entry), the header and walk refusals with their error
// codes, values that reach past the end, the value readers and EXIF dates.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/memio.h"
#include "picture/tiff_walker.h"
#include "tests/support/tiff_builder.h"

namespace {

struct sSeen {
  uint32_t tag, type;
  std::vector<uint8_t> bytes;  // copied value, file order
  bool hadData;                // inline when OnEntry was called
};

class cRecorder : public cTiffGeneric {
public:
  bool OnEntry(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size, uint64_t at) override {
    lastInline = data != nullptr;
    return cTiffGeneric::OnEntry(tag, type, data, size, at);
  }
  bool OnTag(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size) override {
    seen.push_back({tag, type, std::vector<uint8_t>(data, data + size), lastInline});
    return refuseTag != tag;
  }
  std::vector<sSeen> seen;
  bool lastInline = false;
  uint32_t refuseTag = 0xFFFFFFFF;
};

struct sLayout {
  bool be, big;
  const char* name;
};
const sLayout kLayouts[] = {{false, false, "II"}, {true, false, "MM"}, {false, true, "II big"}, {true, true, "MM big"}};

bool Walk(const std::vector<uint8_t>& f, cRecorder& r) {
  cBufWrapperIO io(f.data(), static_cast<uint32_t>(f.size()));
  return r.ReadHeader(&io, cTiffGeneric::kWholeStream);
}

TEST(TiffWalker, ReportsEntriesInlineAndOutOfLineInEveryLayout) {
  for (const sLayout& l : kLayouts) {
    SCOPED_TRACE(l.name);
    cTiffBuilder b(l.be, l.big);
    const int i0 = b.AddIfd(), i1 = b.AddIfd();
    b.AddShort(i0, 256, 0x1234);
    b.AddBytes(i0, 700, 1, {1, 2, 3, 4, 5});
    b.AddRationals(i0, 282, {{72, 1}});
    b.SetNext(i0, i1);
    b.AddShort(i1, 256, 7);
    const auto f = b.Build();
    cRecorder r;
    ASSERT_TRUE(Walk(f, r)) << r.GetError();
    ASSERT_EQ(r.seen.size(), 4u);
    EXPECT_EQ(r.seen[0].tag, 256u);
    ASSERT_EQ(r.seen[0].bytes.size(), 2u);
    EXPECT_TRUE(r.seen[0].hadData);
    EXPECT_EQ(r.GetShort(r.seen[0].bytes.data()), 0x1234u);
    // Five bytes fit the 8-byte field of BigTIFF only.
    EXPECT_EQ(r.seen[1].tag, 282u);
    EXPECT_EQ(r.seen[1].hadData, l.big) << "a rational is out of line in classic files; in BigTIFF it fits";
    EXPECT_DOUBLE_EQ(r.GetRational(r.seen[1].bytes.data()), 72.0);
    EXPECT_EQ(r.seen[2].tag, 700u);
    EXPECT_EQ(r.seen[2].hadData, l.big);
    EXPECT_EQ(r.seen[2].bytes, (std::vector<uint8_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(r.seen[3].tag, cTiffGeneric::kNextIfdTag);
    EXPECT_EQ(r.GetLong(r.seen[3].bytes.data()), b.IfdOffset(i1));
    EXPECT_EQ(r.GetNextIFDOffset(), b.IfdOffset(i1));
    // The chain goes on only when the subclass walks it.
    cRecorder r2;
    cBufWrapperIO io(f.data(), static_cast<uint32_t>(f.size()));
    ASSERT_TRUE(r2.WalkIFD(&io, l.be, l.big, r.GetNextIFDOffset(), cTiffGeneric::kWholeStream));
    ASSERT_EQ(r2.seen.size(), 1u);
    EXPECT_EQ(r2.GetShort(r2.seen[0].bytes.data()), 7u);
  }
}

TEST(TiffWalker, RationalInlineInBigTiff) {
  cTiffBuilder b(false, true);
  const int i0 = b.AddIfd();
  b.AddRationals(i0, 282, {{300, 2}});
  const auto f = b.Build();
  cRecorder r;
  ASSERT_TRUE(Walk(f, r));
  ASSERT_EQ(r.seen.size(), 1u);
  EXPECT_TRUE(r.seen[0].hadData);
  EXPECT_DOUBLE_EQ(r.GetRational(r.seen[0].bytes.data()), 150.0);
}

struct sErrorCase {
  const char* what;
  std::vector<uint8_t> file;
  bool ok;
  int32_t error;
};

std::vector<uint8_t> Bytes(std::initializer_list<int> v) {
  std::vector<uint8_t> out;
  for (int x : v) out.push_back(static_cast<uint8_t>(x));
  return out;
}

std::vector<uint8_t> OneEntry(bool be, bool big, uint16_t tag, uint16_t type, uint64_t count,
                              std::vector<uint8_t> value, uint64_t countOverride = ~uint64_t{0}) {
  cTiffBuilder b(be, big);
  const int i0 = b.AddIfd();
  b.AddRaw(i0, tag, type, count, std::move(value));
  if (countOverride != ~uint64_t{0}) b.OverrideLastCount(i0, countOverride);
  return b.Build();
}

TEST(TiffWalker, HeaderAndWalkRefusals) {
  std::vector<sErrorCase> cases = {
      {"header only, IFD at 8: no room for the count", Bytes({'I', 'I', 42, 0, 8, 0, 0, 0}), false, 2},
      {"first IFD offset 0", Bytes({'I', 'I', 42, 0, 0, 0, 0, 0, 0, 0}), false, 4},
      {"first IFD offset 7", Bytes({'I', 'I', 42, 0, 7, 0, 0, 0, 0, 0}), false, 4},
      {"byte-order mark IM", Bytes({'I', 'M', 42, 0, 8, 0, 0, 0, 0, 0}), false, 4},
      {"version 44", Bytes({'I', 'I', 44, 0, 8, 0, 0, 0, 0, 0}), false, 4},
      {"MM with a little-endian version", Bytes({'M', 'M', 42, 0, 0, 0, 0, 8, 0, 0}), false, 4},
      {"shorter than a header", Bytes({'I', 'I', 42, 0, 8, 0, 0}), false, 2},
      {"BigTIFF first IFD at the length",
       Bytes({'I', 'I', 43, 0, 8, 0, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0}), false, 2},
      {"BigTIFF first IFD beyond the length",
       Bytes({'I', 'I', 43, 0, 8, 0, 0, 0, 17, 0, 0, 0, 0, 0, 0, 0}), false, 3},
      {"0 entries at the very end", Bytes({'I', 'I', 42, 0, 8, 0, 0, 0, 0, 0}), true, 0},
      {"type 0 with tag 0", OneEntry(false, false, 0, 0, 0, {}), true, 0},
      {"type 0 with tag 2", OneEntry(false, false, 2, 0, 0, {}), false, 5},
      {"type 14", OneEntry(false, false, 300, 14, 1, {0, 0, 0, 0}), false, 5},
      {"type 18", OneEntry(true, false, 300, 18, 1, {0, 0, 0, 0}), false, 5},
      {"count beyond the length, refused type",
       OneEntry(false, false, 300, 14, 1, {0, 0, 0, 0}, 0x7FFFFFFF), false, 2},
      {"count below the length, value beyond it", OneEntry(false, false, 300, 3, 4, Bytes({1, 2, 3, 4, 5, 6, 7, 8}), 30),
       false, 6},
      {"LONG8 count near 2^32 in BigTIFF",
       OneEntry(false, true, 300, 16, 1, Bytes({1, 0, 0, 0, 0, 0, 0, 0}), 0xFFFFFFFFull), false, 2},
  };
  for (const sErrorCase& c : cases) {
    cRecorder r;
    EXPECT_EQ(Walk(c.file, r), c.ok) << c.what;
    EXPECT_EQ(r.GetError(), c.error) << c.what;
  }
}

TEST(TiffWalker, TypeZeroIsReportedEmpty) {
  const auto f = OneEntry(true, false, 1, 0, 0, {});
  cRecorder r;
  ASSERT_TRUE(Walk(f, r));
  ASSERT_EQ(r.seen.size(), 1u);
  EXPECT_TRUE(r.seen[0].bytes.empty());
}

TEST(TiffWalker, OutOfLineValueCutByTheEndFailsBeforeAllocating) {
  for (const sLayout& l : kLayouts) {
    SCOPED_TRACE(l.name);
    cTiffBuilder b(l.be, l.big);
    const int i0 = b.AddIfd();
    b.AddBytes(i0, 700, 7, std::vector<uint8_t>(40, 9));
    auto f = b.Build();
    // The value is the last item of the file: cut off its last byte.
    f.pop_back();
    cRecorder r;
    EXPECT_FALSE(Walk(f, r));
    EXPECT_EQ(r.GetError(), 6);
    // A value offset that points far beyond: refused the same way, without
    // reading (the scratch buffer never grows to a size from the file).
    cTiffBuilder b2(l.be, l.big);
    const int j = b2.AddIfd();
    b2.AddBytes(j, 700, 7, std::vector<uint8_t>(9, 9));
    b2.OverrideLastValueField(j, 0xFFFFFFF0u);
    cRecorder r2;
    EXPECT_FALSE(Walk(b2.Build(), r2));
    EXPECT_EQ(r2.GetError(), 6);
  }
}

TEST(TiffWalker, HandlerRefusalIsErrorSeven) {
  cTiffBuilder b(false, false);
  const int i0 = b.AddIfd();
  b.AddShort(i0, 256, 1);
  b.AddShort(i0, 257, 1);
  cRecorder r;
  r.refuseTag = 256;
  EXPECT_FALSE(Walk(b.Build(), r));
  EXPECT_EQ(r.GetError(), 7);
  EXPECT_EQ(r.seen.size(), 1u) << "entries after the refused one are not reported";
}

TEST(TiffWalker, TruncatedEntryTableIsAReadFailure) {
  cTiffBuilder b(false, false);
  const int i0 = b.AddIfd();
  b.AddShort(i0, 256, 1);
  b.AddShort(i0, 257, 1);
  auto f = b.Build();
  f.resize(f.size() - 8);  // the second entry loses its value field
  cRecorder r;
  EXPECT_FALSE(Walk(f, r));
  EXPECT_EQ(r.GetError(), 3);
  EXPECT_EQ(r.seen.size(), 1u);
}

TEST(TiffWalker, NoNextFieldAtTheEndAndZeroNextGiveNoPseudoEntry) {
  cTiffBuilder b(true, false);
  const int i0 = b.AddIfd();
  b.AddShort(i0, 256, 3);
  auto f = b.Build();
  cRecorder r;
  ASSERT_TRUE(Walk(f, r));
  EXPECT_EQ(r.seen.size(), 1u);
  f.resize(f.size() - 4);  // the file ends right after the entries
  cRecorder r2;
  ASSERT_TRUE(Walk(f, r2));
  EXPECT_EQ(r2.seen.size(), 1u);
}

TEST(TiffWalker, NestingRecordRefusesAncestorsAndDepth) {
  cTiffGeneric w[10];
  cBufWrapperIO io;
  std::vector<uint8_t> f = {'I', 'I', 42, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  io.Attach(f.data(), static_cast<uint32_t>(f.size()));
  ASSERT_TRUE(w[0].WalkIFD(&io, false, false, 8, cTiffGeneric::kWholeStream));
  w[1].SetParentWalk(&w[0]);
  EXPECT_TRUE(w[1].IsBeingWalked(8));
  EXPECT_FALSE(w[1].IsBeingWalked(10));
  for (int i = 1; i < 10; ++i) w[i].SetParentWalk(&w[i - 1]);
  EXPECT_TRUE(w[9].IsBeingWalked(12)) << "nine levels are beyond the depth limit";
  EXPECT_FALSE(w[5].IsBeingWalked(12));
}

TEST(TiffWalker, EntryReaders) {
  for (bool be : {false, true}) {
    cTiffBuilder enc(be, false);
    cTiffGeneric w;
    // Give the walker the byte order by walking an empty IFD.
    std::vector<uint8_t> f = {static_cast<uint8_t>(be ? 'M' : 'I'), static_cast<uint8_t>(be ? 'M' : 'I')};
    enc.Put16(f, 42);
    enc.Put32(f, 8);
    enc.Put16(f, 0);
    cBufWrapperIO io(f.data(), static_cast<uint32_t>(f.size()));
    ASSERT_TRUE(w.ReadHeader(&io, cTiffGeneric::kWholeStream));
    std::vector<uint8_t> shorts, longs, long8s, rats;
    enc.Put16(shorts, 1);
    enc.Put16(shorts, 0xFFFF);
    enc.Put32(longs, 0x80000001u);
    enc.Put32(longs, 5);
    enc.Put64(long8s, 0x1122334455667788ull);
    enc.Put32(rats, 3);
    enc.Put32(rats, 0);
    enc.Put32(rats, 0xFFFFFFFEu);
    enc.Put32(rats, 2);
    int32_t i = 0;
    uint16_t s = 0;
    _typebuf<uint32_t> ints;
    _typebuf<uint16_t> ss;
    EXPECT_TRUE(w.GetEntryShort({1, 3, shorts.data(), 4}, s));
    EXPECT_EQ(s, 1);
    EXPECT_TRUE(w.GetEntryShorts({1, 3, shorts.data(), 4}, ss));
    ASSERT_EQ(ss.count, 2);
    EXPECT_EQ(ss.data[1], 0xFFFF);
    EXPECT_TRUE(w.GetEntryInt({1, 3, shorts.data() + 2, 2}, i));
    EXPECT_EQ(i, 0xFFFF) << "SHORT widens without sign";
    EXPECT_FALSE(w.GetEntryInt({1, 3, shorts.data(), 1}, i));
    EXPECT_FALSE(w.GetEntryInt({1, 5, rats.data(), 8}, i));
    EXPECT_TRUE(w.GetEntryInt({1, 4, longs.data(), 8}, i));
    EXPECT_EQ(i, static_cast<int32_t>(0x80000001u));
    EXPECT_FALSE(w.GetEntryInts({1, 8, shorts.data(), 4}, ints)) << "SSHORT is refused";
    EXPECT_TRUE(w.GetEntryInts({1, 16, long8s.data(), 8}, ints));
    ASSERT_EQ(ints.count, 1);
    EXPECT_EQ(ints.data[0], 0x55667788u) << "LONG8 keeps its low half";
    _typebuf<uint64_t> l8;
    EXPECT_TRUE(w.ReadLong8Array(8, long8s.data(), l8));
    EXPECT_EQ(l8.data[0], 0x1122334455667788ull);
    _typebuf<double> d;
    EXPECT_TRUE(w.ReadRationalArray(16, rats.data(), d));
    ASSERT_EQ(d.count, 2);
    EXPECT_EQ(d.data[0], 0.0) << "denominator 0";
    EXPECT_DOUBLE_EQ(d.data[1], 2147483647.0) << "numerators are unsigned";
    _typebuf<sTiffSRational> sr;
    EXPECT_TRUE(w.GetEntrySRationals({1, 10, rats.data(), 16}, sr));
    EXPECT_EQ(sr.data[1].numerator, -2);
    _typebuf<sTiffRational> ur;
    EXPECT_FALSE(w.GetEntryRationals({1, 10, rats.data(), 16}, ur));
    EXPECT_EQ(w.GetShort(nullptr), 0u);
    EXPECT_EQ(w.GetRational(nullptr), 0.0);
  }
}

TEST(TiffWalker, ExifDates) {
  struct sCase {
    std::string text;
    bool ok;
    sPictTimestamp t;
  };
  const std::vector<sCase> cases = {
      {"2019:07:04 13:45:10", true, {2019, 7, 4, 13, 45, 10}},
      {"2021:02:30 12:00:00", true, {2021, 2, 30, 12, 0, 0}},
      {"2019:07:04", true, {2019, 7, 4, 0, 0, 0}},
      {"1899:12:31 00:00:00", false, {}},
      {"2021:13:01 00:00:00", false, {}},
      {"2101:01:01", false, {}},
      {"2021:01:01 24:00:00", false, {}},
      {"2021:01:01 23:60:00", false, {}},
      {"    :  :     :  :  ", false, {}},
      {std::string("2019:07:04 13:45:10\0", 20), false, {}},
      {"2019-07-04", true, {2019, 7, 4, 0, 0, 0}},
  };
  for (const sCase& c : cases) {
    sPictTimestamp t;
    const bool ok = cTiffGeneric::ParseExifDate(static_cast<int32_t>(c.text.size()), c.text.data(), t);
    EXPECT_EQ(ok, c.ok) << c.text;
    if (ok && c.ok) {
      EXPECT_EQ(t.year, c.t.year) << c.text;
      EXPECT_EQ(t.month, c.t.month) << c.text;
      EXPECT_EQ(t.day, c.t.day) << c.text;
      EXPECT_EQ(t.hour, c.t.hour) << c.text;
      EXPECT_EQ(t.minute, c.t.minute) << c.text;
      EXPECT_EQ(t.second, c.t.second) << c.text;
    }
  }
}

}  // namespace
