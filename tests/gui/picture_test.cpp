#include "gui/picture.h"

#include <gtest/gtest.h>

#include <climits>
#include <new>
#include <vector>

namespace {

uint32_t Grey(uint32_t v) { return v | (v << 8) | (v << 16) | (v << 24); }

std::vector<uint32_t> Pixels(const cPicture& p) {
  return std::vector<uint32_t>(p.GetPixels(), p.GetPixels() + p.GetPixelCount());
}

// A picture that counts its destructions, to see who deletes what.
struct CountedPicture : cPicture {
  explicit CountedPicture(int* deaths) : deaths_(deaths) {}
  ~CountedPicture() override { ++*deaths_; }
  int* deaths_;
};

TEST(Picture, AllocateKeepsPixelsWhenTheCountStays) {
  cPicture p;
  EXPECT_EQ(p.GetWidth(), 0);
  EXPECT_EQ(p.GetPixels(), nullptr);
  ASSERT_TRUE(p.Fill(0x11223344, 2, 4));
  ASSERT_TRUE(p.Allocate(4, 2));
  EXPECT_EQ(p.GetWidth(), 4);
  EXPECT_EQ(p.GetHeight(), 2);
  EXPECT_EQ(Pixels(p), std::vector<uint32_t>(8, 0x11223344));
  ASSERT_TRUE(p.Allocate(3, 3));  // a new count: zeroed
  EXPECT_EQ(Pixels(p), std::vector<uint32_t>(9, 0));
}

TEST(Picture, SizesBelowOneAreRefusedAndChangeNothing) {
  struct Case {
    int32_t w, h;
  };
  for (const Case& c : {Case{0, 1}, Case{1, 0}, Case{-1, 5}, Case{5, -1}, Case{INT32_MIN, INT32_MIN}}) {
    SCOPED_TRACE(testing::Message() << c.w << " x " << c.h);
    cPicture p;
    ASSERT_TRUE(p.Fill(7, 2, 1));
    const uint32_t src[2] = {1, 2};
    EXPECT_FALSE(p.Allocate(c.w, c.h));
    EXPECT_FALSE(p.SetPixels(src, c.w, c.h, false));
    EXPECT_FALSE(p.Fill(9, c.w, c.h));
    EXPECT_EQ(p.GetWidth(), 2);
    EXPECT_EQ(Pixels(p), (std::vector<uint32_t>{7, 7}));
  }
}

// Sizes whose pixel count reaches 2^30: several wrap in 32 bits to a small
// count (65536 x 65537 to 65536) and would give a short buffer.
TEST(Picture, HugeSizesThrowBeforeAllocating) {
  struct Case {
    int32_t w, h;
  };
  for (const Case& c : {Case{70000, 70000}, Case{65536, 65537}, Case{32768, 32768}, Case{1 << 30, 1},
                        Case{1, 1 << 30}, Case{INT32_MAX, INT32_MAX}, Case{INT32_MAX, 2}}) {
    SCOPED_TRACE(testing::Message() << c.w << " x " << c.h);
    cPicture p;
    ASSERT_TRUE(p.Fill(5, 3, 1));
    const uint32_t* before = p.GetPixels();
    EXPECT_THROW(p.Allocate(c.w, c.h), std::bad_alloc);
    EXPECT_THROW(p.Fill(0, c.w, c.h), std::bad_alloc);
    const uint32_t one = 0;
    EXPECT_THROW(p.SetPixels(&one, c.w, c.h, false), std::bad_alloc);
    cPicture target;
    EXPECT_THROW(p.ResizeTo(c.w, c.h, &target), std::bad_alloc);
    EXPECT_THROW(p.ResizeAreaAverage(c.w, c.h, &target), std::bad_alloc);
    EXPECT_EQ(p.GetPixels(), before);
    EXPECT_EQ(p.GetWidth(), 3);
    EXPECT_EQ(p.GetHeight(), 1);
    EXPECT_EQ(Pixels(p), (std::vector<uint32_t>{5, 5, 5}));
    EXPECT_EQ(target.GetPixels(), nullptr);
  }
}

// When both sides change, the rows are resampled into a picture of the new
// width and the old height first. Small source and target sizes can make
// that one huge: 1 x 65537 to 65536 x 1 passes through 65536 x 65537, which
// wraps in 32 bits to 65536 pixels; 1 x 60000 to 40000 x 1 wraps negative;
// 1 x 40000 to 30000 x 1 does not wrap but reaches 2^30 pixels.
TEST(Picture, ResizeToRefusesAHugePictureBetweenThePasses) {
  struct Case {
    int32_t w, h, newW, newH;
  };
  for (const Case& c : {Case{1, 65537, 65536, 1}, Case{1, 60000, 40000, 1}, Case{1, 40000, 30000, 1}}) {
    SCOPED_TRACE(testing::Message() << c.w << " x " << c.h << " to " << c.newW << " x " << c.newH);
    cPicture p, target;
    ASSERT_TRUE(p.Fill(Grey(9), c.w, c.h));
    ASSERT_TRUE(target.Fill(3, 1, 1));
    EXPECT_THROW(p.ResizeTo(c.newW, c.newH, &target), std::bad_alloc);
    EXPECT_EQ(Pixels(target), (std::vector<uint32_t>{3}));
    EXPECT_EQ(p.GetWidth(), c.w);
  }
  // Below the limit between the passes the same shapes work.
  cPicture p, target;
  ASSERT_TRUE(p.Fill(Grey(9), 1, 300));
  ASSERT_TRUE(p.ResizeTo(200, 1, &target));
  EXPECT_EQ(Pixels(target), std::vector<uint32_t>(200, Grey(9)));
}

TEST(Picture, SetPixelsCopiesOrFlipsRows) {
  // Three rows of two pixels, top row first (as a top-down file gives them).
  const uint32_t topDown[6] = {1, 2, 3, 4, 5, 6};
  cPicture plain, flipped;
  ASSERT_TRUE(plain.SetPixels(topDown, 2, 3, false));
  ASSERT_TRUE(flipped.SetPixels(topDown, 2, 3, true));
  EXPECT_EQ(Pixels(plain), (std::vector<uint32_t>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(Pixels(flipped), (std::vector<uint32_t>{5, 6, 3, 4, 1, 2}));
  EXPECT_FALSE(plain.SetPixels(nullptr, 2, 3, false));
  // From its own buffer (a sub-picture of itself) without reading freed memory.
  ASSERT_TRUE(plain.SetPixels(plain.GetPixels() + 2, 2, 2, true));
  EXPECT_EQ(Pixels(plain), (std::vector<uint32_t>{5, 6, 3, 4}));
}

TEST(Picture, AdoptPixelsTakesTheBufferOnlyWhenItFits) {
  cPicture p;
  _typebuf<uint32_t> buf(6);
  for (int i = 0; i < 6; ++i) buf[i] = 10 + i;
  EXPECT_FALSE(p.AdoptPixels(buf, 4, 2));  // count 6 is not 4 x 2
  EXPECT_FALSE(p.AdoptPixels(buf, 0, 6));
  EXPECT_EQ(buf.count, 6);
  ASSERT_TRUE(p.AdoptPixels(buf, 3, 2));
  EXPECT_EQ(buf.data, nullptr);
  EXPECT_EQ(buf.count, 0);
  EXPECT_EQ(p.GetWidth(), 3);
  EXPECT_EQ(Pixels(p), (std::vector<uint32_t>{10, 11, 12, 13, 14, 15}));
  _typebuf<uint32_t> empty;
  EXPECT_FALSE(p.AdoptPixels(empty, 1, 1));
}

struct LineCase {
  std::vector<uint32_t> in;
  std::vector<uint32_t> out;
};

TEST(Picture, ResampleLineBoxAndLinear) {
  const LineCase cases[] = {
      {{0, 100, 200, 250}, {50, 225}},     // box: two whole pixels each
      {{0, 90, 180}, {30, 150}},           // box: the middle pixel weighs 0.5 in both
      {{0, 200}, {0, 0, 100, 200}},        // linear: positions 0, 0.5, 1.0, 1.5
      {{10, 20, 30}, {10, 20, 30}},        // same length: copy
      {{100, 201, 50, 11, 7}, {73}},       // all into one: 73.8 truncated
      {{40}, {40, 40, 40}},                // one pixel enlarged
      {{0, 100, 200, 100}, {0, 0, 50, 100, 150, 200, 150, 100}},
  };
  for (const LineCase& c : cases) {
    std::vector<uint32_t> in, out(c.out.size());
    for (uint32_t v : c.in) in.push_back(Grey(v));
    cPicture::ResampleLine(in.data(), static_cast<int32_t>(in.size()), 1, out.data(),
                           static_cast<int32_t>(out.size()), 1);
    std::vector<uint32_t> expected;
    for (uint32_t v : c.out) expected.push_back(Grey(v));
    EXPECT_EQ(out, expected) << "from " << c.in.size() << " to " << c.out.size();
  }
}

TEST(Picture, ResampleKeepsChannelsApart) {
  // B, G, R, A each with its own ramp: one channel must not bleed into another.
  const uint32_t in[4] = {0xFF000000, 0x00FF0000, 0x0000FF00, 0x000000FF};
  uint32_t out[2];
  cPicture::ResampleLine(in, 4, 1, out, 2, 1);
  EXPECT_EQ(out[0], 0x7F7F0000u);
  EXPECT_EQ(out[1], 0x00007F7Fu);
}

TEST(Picture, ResizeToRowsThenColumns) {
  // 4 x 2 (bottom row first) to 2 x 1: rows 4 -> 2, then the column 2 -> 1.
  const uint32_t src[8] = {Grey(0), Grey(100), Grey(200), Grey(250), Grey(10), Grey(11), Grey(20), Grey(21)};
  cPicture p, t;
  ASSERT_TRUE(p.SetPixels(src, 4, 2, false));
  ASSERT_TRUE(p.ResizeTo(2, 1, &t));
  EXPECT_EQ(t.GetWidth(), 2);
  EXPECT_EQ(t.GetHeight(), 1);
  // rows: (50, 225) and (10, 20); columns: (50 + 10) / 2, (225 + 20) / 2 truncated
  EXPECT_EQ(Pixels(t), (std::vector<uint32_t>{Grey(30), Grey(122)}));

  // Height only: each column 2 -> 4 by interpolation.
  const uint32_t col[2] = {Grey(0), Grey(200)};
  ASSERT_TRUE(p.SetPixels(col, 1, 2, false));
  ASSERT_TRUE(p.ResizeTo(1, 4, &t));
  EXPECT_EQ(Pixels(t), (std::vector<uint32_t>{Grey(0), Grey(0), Grey(100), Grey(200)}));

  // Into itself.
  ASSERT_TRUE(p.ResizeTo(1, 4, &p));
  EXPECT_EQ(Pixels(p), (std::vector<uint32_t>{Grey(0), Grey(0), Grey(100), Grey(200)}));
  ASSERT_TRUE(p.ResizeTo(1, 4, &t));  // same size: a copy
  EXPECT_EQ(Pixels(t), Pixels(p));
}

TEST(Picture, ResizeRefusalsLeaveTheTargetAlone) {
  cPicture empty, p, t;
  ASSERT_TRUE(t.Fill(3, 1, 1));
  ASSERT_TRUE(p.Fill(9, 2, 2));
  for (int32_t filter : {0, 1}) {
    EXPECT_FALSE(empty.Resize(filter, 4, 4, &t));
    EXPECT_FALSE(p.Resize(filter, 0, 4, &t));
    EXPECT_FALSE(p.Resize(filter, 4, -1, &t));
    EXPECT_FALSE(p.Resize(filter, 4, 4, nullptr));
  }
  EXPECT_FALSE(p.Resize(2, 4, 4, &t));
  EXPECT_FALSE(p.Resize(-1, 4, 4, &t));
  EXPECT_EQ(t.GetWidth(), 1);
  EXPECT_EQ(Pixels(t), (std::vector<uint32_t>{3}));
}

TEST(Picture, AreaAverage) {
  // 4 x 4 to 2 x 2: each output is the mean of a 2 x 2 block.
  std::vector<uint32_t> src(16);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) src[y * 4 + x] = Grey(static_cast<uint32_t>(y * 40 + x * 10));
  cPicture p, t;
  ASSERT_TRUE(p.SetPixels(src.data(), 4, 4, false));
  ASSERT_TRUE(p.Resize(1, 2, 2, &t));
  EXPECT_EQ(Pixels(t), (std::vector<uint32_t>{Grey(25), Grey(45), Grey(105), Grey(125)}));

  // 4 -> 3 across: output areas [0, 4/3], [4/3, 8/3], [8/3, 4], weight 3/4.
  const uint32_t row[4] = {Grey(100), Grey(201), Grey(50), Grey(11)};
  ASSERT_TRUE(p.SetPixels(row, 4, 1, false));
  ASSERT_TRUE(p.Resize(1, 3, 1, &t));
  EXPECT_EQ(Pixels(t), (std::vector<uint32_t>{Grey(125), Grey(125), Grey(20)}));

  // Enlarging: one pixel everywhere.
  const uint32_t one = 0x80402010;
  ASSERT_TRUE(p.SetPixels(&one, 1, 1, false));
  ASSERT_TRUE(p.Resize(1, 3, 2, &t));
  EXPECT_EQ(Pixels(t), std::vector<uint32_t>(6, 0x80402010));

  // Ratios that are not exact (10 -> 3, 7 -> 3) cover the source without a
  // sliver past its end: a uniform picture stays uniform.
  std::vector<uint32_t> flat(70, Grey(200));
  ASSERT_TRUE(p.SetPixels(flat.data(), 10, 7, false));
  ASSERT_TRUE(p.Resize(1, 3, 3, &t));
  for (uint32_t v : Pixels(t)) EXPECT_GE(v & 0xFF, 199u);
}

TEST(PictureHolder, OwnsBorrowsAndDeletes) {
  int deaths = 0;
  cPicture borrowed;
  {
    cPictureHolder h;
    EXPECT_EQ(h.Get(), nullptr);
    auto* owned = new CountedPicture(&deaths);
    h.SetOwned(std::unique_ptr<cPicture>(owned));
    EXPECT_EQ(h.Get(), owned);
    EXPECT_TRUE(h.Owns());
    EXPECT_TRUE(h.SetBorrowed(&borrowed));  // deletes the owned one
    EXPECT_EQ(deaths, 1);
    EXPECT_EQ(h.Get(), &borrowed);
    EXPECT_FALSE(h.Owns());
    h.SetOwned(std::make_unique<CountedPicture>(&deaths));
    EXPECT_TRUE(h.SetBorrowed(nullptr));
    EXPECT_EQ(deaths, 2);
    EXPECT_EQ(h.Get(), nullptr);
    h.SetOwned(std::make_unique<CountedPicture>(&deaths));
  }
  EXPECT_EQ(deaths, 3);  // the holder's destruction deletes what it owns
}

TEST(ImageStore, AddSetFindAndRemove) {
  cImageStore store;
  const uint32_t px[2] = {0xFF0000FF, 0xFF00FF00};
  EXPECT_TRUE(store.Set(5, nullptr));  // absent id: still true
  EXPECT_EQ(store.Find(5), nullptr);

  ASSERT_TRUE(store.AddPixels(1, px, 2, 1, true));
  cPicture* added = store.Find(1);
  ASSERT_NE(added, nullptr);
  EXPECT_EQ(Pixels(*added), (std::vector<uint32_t>{px[0], px[1]}));
  ASSERT_TRUE(store.AddPixels(2, px, 1, 2, true));  // flip is not applied
  EXPECT_EQ(Pixels(*store.Find(2)), (std::vector<uint32_t>{px[0], px[1]}));

  // A failed AddPixels removes the id, old picture included.
  EXPECT_FALSE(store.AddPixels(1, px, 0, 1, false));
  EXPECT_FALSE(store.Has(1));
  EXPECT_FALSE(store.AddPixels(3, nullptr, 1, 1, false));
  EXPECT_FALSE(store.Has(3));

  cPicture borrowed;
  ASSERT_TRUE(store.Set(2, &borrowed));  // replaces (and deletes) the owned one
  EXPECT_EQ(store.Find(2), &borrowed);
  EXPECT_TRUE(store.Set(2, nullptr));
  EXPECT_FALSE(store.Has(2));
  EXPECT_TRUE(store.IsEmpty());

  cPictureHolder h;
  ASSERT_TRUE(store.AddPixels(7, px, 2, 1, false));
  EXPECT_TRUE(h.SetFromStore(&store, 7));
  EXPECT_EQ(h.Get(), store.Find(7));
  EXPECT_FALSE(h.Owns());
  EXPECT_TRUE(h.SetFromStore(&store, 8));
  EXPECT_EQ(h.Get(), nullptr);
  EXPECT_TRUE(h.SetFromStore(nullptr, 7));
  EXPECT_EQ(h.Get(), nullptr);
}

TEST(ImageStore, DestroyingTheStoreDeletesOwnedPicturesOnly) {
  int deaths = 0;
  CountedPicture borrowed(&deaths);
  {
    cImageStore store;
    const uint32_t px = 1;
    ASSERT_TRUE(store.AddPixels(1, &px, 1, 1, false));
    ASSERT_TRUE(store.Set(2, &borrowed));
  }
  EXPECT_EQ(deaths, 0);  // the borrowed one survives; the owned one freed (the leak check sees it)
}

TEST(ImageStore, SharedStoresStartEmpty) {
  for (int32_t i = 0; i < static_cast<int32_t>(tw::eSharedStore::kCount); ++i)
    EXPECT_TRUE(tw::SharedImageStore(static_cast<tw::eSharedStore>(i)).IsEmpty()) << i;
  cImageStore& a = tw::SharedImageStore(tw::eSharedStore::kMessageBox);
  EXPECT_EQ(&a, &tw::SharedImageStore(tw::eSharedStore::kMessageBox));
  EXPECT_NE(&a, &tw::SharedImageStore(tw::eSharedStore::kProgressForm));
}

}  // namespace
