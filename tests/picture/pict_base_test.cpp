// cPictBase buffers, depth conversion, the default slots, and properties.
#include <gtest/gtest.h>

#include <cstring>

#include "base/memio.h"
#include "picture/pict_base.h"

namespace {

// A decoder whose ReadInfo reports a fixed size and counts its calls.
class cSizedPict : public cPictBase {
public:
  bool ReadInfo(cFileIOTarget*, sPictInfo* info) override {
    ++infoCalls;
    if (info != nullptr) *info = sPictInfo{7, 3, false};
    return true;
  }
  bool Load(cFileIOTarget*) override {
    ++loadCalls;
    return CreateBlank(7, 3);
  }
  int infoCalls = 0;
  int loadCalls = 0;
};

class cDeepPict : public cPictDummy {
public:
  bool Make(int32_t w, int32_t h, double divisor = 256.0, int32_t offset = 0) {
    SetConversion(divisor, offset);
    return AllocatePixels64(w, h);
  }
};

TEST(PictBase, EmptyPictureHasNothingToGive) {
  cPictDummy p;
  EXPECT_EQ(p.GetFormat(), 0);
  EXPECT_FALSE(p.IsHighDepth());
  EXPECT_EQ(p.GetDivisor(), 256.0);
  EXPECT_EQ(p.GetOffset(), 0);
  EXPECT_TRUE(p.GetDecodeThumbnails());
  EXPECT_EQ(p.GetOutputScale(), 1.0);
  _typebuf<uint32_t> out(3);
  uint32_t* before = out.data;
  EXPECT_FALSE(p.GetPixels32(out));
  EXPECT_EQ(out.data, before);
  EXPECT_EQ(out.count, 3);
  EXPECT_FALSE(p.DetachPixels32(out));
  EXPECT_FALSE(p.FlipVertical());
  cBufWrapperIO io("x", 1);
  EXPECT_FALSE(p.ReadInfo(&io, nullptr));
  EXPECT_FALSE(p.Load(&io));
}

TEST(PictBase, SixteenToEightBitRule) {
  cDeepPict p;
  ASSERT_TRUE(p.Make(1, 1));
  // B 255, G 256, R 65535, A 65535 -> B 0, G 1, R 255, A 255.
  p.Pixels64().data[0] = 255ull | 256ull << 16 | 65535ull << 32 | 65535ull << 48;
  _typebuf<uint32_t> out;
  ASSERT_TRUE(p.GetPixels32(out));
  EXPECT_EQ(out.data[0], 0xFFFF0100u);
  // Another divisor and offset: trunc((v + offset) / divisor) clamped.
  struct sCase {
    double divisor;
    int32_t offset;
    uint32_t v, want;
  };
  const sCase cases[] = {{256.0, 0, 65535, 255}, {16.0, 0, 100, 6}, {16.0, 0, 65535, 255},
                         {2.0, -100, 50, 0},     {1.0, 3, 10, 13},  {257.0, 0, 65535, 255}};
  for (const sCase& c : cases) {
    cDeepPict q;
    ASSERT_TRUE(q.Make(1, 1, c.divisor, c.offset));
    EXPECT_EQ(q.Channel16To8(c.v), c.want) << c.divisor << " " << c.offset << " " << c.v;
  }
}

TEST(PictBase, AllocationRules) {
  cPictDummy p;
  EXPECT_FALSE(p.CreateBlank(0, 5));
  EXPECT_FALSE(p.CreateBlank(5, -1));
  ASSERT_TRUE(p.CreateBlank(3, 2));
  ASSERT_EQ(p.Pixels32().count, 6);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(p.Pixels32().data[i], 0u);
  // The same count keeps the buffer (and its content).
  p.Pixels32().data[0] = 9;
  uint32_t* kept = p.Pixels32().data;
  ASSERT_TRUE(p.AllocatePixels32(2, 3));
  EXPECT_EQ(p.Pixels32().data, kept);
  EXPECT_EQ(p.Pixels32().data[0], 9u);
  // 2^30 pixels or more are refused before any allocation, also where the
  // 32-bit product would wrap to a small count (65536 * 65537 = 2^32 + 2^16).
  EXPECT_FALSE(p.AllocatePixels32(32768, 32768));
  EXPECT_FALSE(p.HasPixels());
  EXPECT_FALSE(p.AllocatePixels32(65536, 65537));
  EXPECT_FALSE(p.AllocatePixels64(65536, 65536));
  EXPECT_TRUE(p.AllocatePixels32(32767, 1));
}

TEST(PictBase, FlipTakeDetach) {
  cPictDummy p;
  ASSERT_TRUE(p.CreateBlank(2, 3));
  for (int i = 0; i < 6; ++i) p.Pixels32().data[i] = i;
  ASSERT_TRUE(p.FlipVertical());
  const uint32_t flipped[] = {4, 5, 2, 3, 0, 1};
  EXPECT_EQ(std::memcmp(p.Pixels32().data, flipped, sizeof flipped), 0);
  cPictDummy row;
  ASSERT_TRUE(row.CreateBlank(3, 1));
  row.Pixels32().data[1] = 7;
  EXPECT_TRUE(row.FlipVertical());
  EXPECT_EQ(row.Pixels32().data[1], 7u);

  // DetachPixels32 hands over the very buffer GetPixels32 would copy.
  _typebuf<uint32_t> copy, taken(4);
  ASSERT_TRUE(p.GetPixels32(copy));
  uint32_t* own = p.Pixels32().data;
  ASSERT_TRUE(p.DetachPixels32(taken));
  EXPECT_EQ(taken.data, own);
  ASSERT_EQ(taken.count, 6);
  EXPECT_EQ(std::memcmp(taken.data, copy.data, 6 * sizeof(uint32_t)), 0);
  EXPECT_EQ(p.GetWidth(), 0);
  EXPECT_EQ(p.GetHeight(), 0);
  EXPECT_FALSE(p.HasPixels());

  // TakePixels from a 64-bit picture: depth, divisor and offset come along;
  // the source keeps its size but no pixels.
  cDeepPict deep;
  ASSERT_TRUE(deep.Make(2, 2, 100.0, 5));
  deep.Pixels64().data[3] = 0x1234;
  cPictDummy dest;
  ASSERT_TRUE(dest.CreateBlank(9, 9));
  dest.TakePixels(&deep);
  EXPECT_TRUE(dest.IsHighDepth());
  EXPECT_EQ(dest.GetDivisor(), 100.0);
  EXPECT_EQ(dest.GetOffset(), 5);
  EXPECT_EQ(dest.GetWidth(), 2);
  ASSERT_TRUE(dest.HasPixels());
  EXPECT_EQ(dest.Pixels64().data[3], 0x1234u);
  EXPECT_EQ(deep.GetWidth(), 2);
  EXPECT_EQ(deep.GetHeight(), 2);
  EXPECT_FALSE(deep.HasPixels());
  EXPECT_EQ(deep.Pixels32().data, nullptr);
  EXPECT_EQ(deep.Pixels64().data, nullptr);

  // A 64-bit picture detaches as converted 32-bit pixels.
  _typebuf<uint32_t> conv;
  ASSERT_TRUE(dest.DetachPixels32(conv));
  EXPECT_EQ(conv.data[3], static_cast<uint32_t>((0x1234 + 5) / 100.0));
  EXPECT_EQ(dest.Pixels64().data, nullptr);
}

TEST(PictBase, DefaultImageSlots) {
  cSizedPict p;
  cBufWrapperIO io("abc", 3);
  EXPECT_EQ(p.GetImageCount(&io), 1);
  int32_t w = 0, h = 0;
  EXPECT_FALSE(p.GetImageInfo(&io, 1, w, h));
  EXPECT_FALSE(p.GetImageInfo(nullptr, 0, w, h));
  EXPECT_TRUE(p.GetImageInfo(&io, 0, w, h));
  EXPECT_EQ(w, 7);
  EXPECT_EQ(h, 3);
  EXPECT_FALSE(p.LoadImage(&io, 1));
  EXPECT_EQ(p.loadCalls, 0);
  EXPECT_TRUE(p.LoadImage(&io, 0));
  EXPECT_EQ(p.loadCalls, 1);
  cPictDummy dest;
  EXPECT_FALSE(p.LoadImageFitted(&io, &dest, 10, 10, 1, true, 0));
  EXPECT_TRUE(p.LoadImageFitted(&io, &dest, 10, 10, 0, true, 0));
  EXPECT_EQ(dest.GetWidth(), 7);
  EXPECT_EQ(dest.GetHeight(), 3);
  int32_t pw = 5, ph = 5;
  EXPECT_FALSE(p.LoadPreview(&io, &dest, pw, ph));
  EXPECT_FALSE(p.CanStreamToCanvas());
  EXPECT_FALSE(p.IsMultiImage());
}

TEST(PictBase, StreamGuardProgress) {
  cBufWrapperIO io("abc", 3);
  cStreamGuardProgressTarget open(&io), none(nullptr);
  EXPECT_TRUE(open.SetProgress(10));
  EXPECT_FALSE(none.SetProgress(10));
  io.Close();
  EXPECT_FALSE(open.SetProgress(20));
}

TEST(PictProps, KindsAndFinders) {
  struct sCase {
    int32_t id;
    int32_t kind;
  };
  const sCase cases[] = {{0, kPropString},  {1, kPropTimestamp}, {2, kPropTimestamp}, {3, kPropString},
                         {4, kPropString},  {5, kPropDouble},    {6, kPropDouble},    {7, kPropInt},
                         {8, kPropDouble},  {9, kPropDouble},    {10, kPropInt},      {11, kPropInt},
                         {12, kPropInt},    {13, kPropImage},    {14, kPropImage},    {15, kPropDouble},
                         {16, kPropDouble}, {17, kPropDouble},   {18, kPropInt},      {19, kPropInt},
                         {20, kPropInt},    {21, kPropRaw}};
  cPictDummy p;
  for (const sCase& c : cases) {
    EXPECT_EQ(p.GetOrAddProp(c.id, false), nullptr) << c.id;
    cPictProp* prop = p.GetOrAddProp(c.id, true);
    ASSERT_NE(prop, nullptr) << c.id;
    EXPECT_EQ(prop->GetType(), c.kind) << c.id;
    EXPECT_EQ(p.GetOrAddProp(c.id, true), prop) << "same object again, id " << c.id;
    EXPECT_EQ(p.FindIntProp(c.id) != nullptr, c.kind == kPropInt) << c.id;
    EXPECT_EQ(p.FindStringProp(c.id) != nullptr, c.kind == kPropString) << c.id;
  }
  EXPECT_EQ(p.GetOrAddProp(22, true), nullptr);
  EXPECT_EQ(p.GetOrAddProp(-1, true), nullptr);
  EXPECT_EQ(p.Props().Find(22), nullptr);
  auto* raw = static_cast<cPictPropRaw*>(p.GetOrAddProp(21, false));
  EXPECT_EQ(raw->offset, 0u);
  EXPECT_EQ(raw->bytes.count, 0);
  auto* ts = static_cast<cPictPropTimestamp*>(p.GetOrAddProp(1, false));
  EXPECT_EQ(ts->value.year, 0);
  EXPECT_EQ(ts->value.second, 0);
  EXPECT_EQ(p.FindIntProp(5), nullptr);
  cPictDummy none;
  EXPECT_EQ(none.FindThumbnailProp(), nullptr);
  EXPECT_NE(p.FindThumbnailProp(), nullptr);
}

// A picture that counts its destructions.
class cCountedPict : public cPictDummy {
public:
  explicit cCountedPict(int* counter) : counter_(counter) {}
  ~cCountedPict() override { ++*counter_; }

private:
  int* counter_;
};

TEST(PictProps, ImagePropertyOwnsItsPicture) {
  int deaths = 0;
  {
    cPictDummy p;
    auto* thumb = static_cast<cPictPropImage*>(p.GetOrAddProp(kPropIdThumbnail, true));
    thumb->SetPicture(new cCountedPict(&deaths));
    thumb->SetPicture(new cCountedPict(&deaths));  // the first one goes
    EXPECT_EQ(deaths, 1);
    EXPECT_EQ(p.FindThumbnailProp(), thumb);
  }
  EXPECT_EQ(deaths, 2);
}

}  // namespace
