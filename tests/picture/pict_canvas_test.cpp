// Canvas output: begin/put/end in both accumulation modes, margins, crops,
// scale clamping, channel puts, and RenderPictureToCanvas's box filter on
// 32- and 64-bit pictures. Expected values are worked out by hand from the
// output's defining formulas.
#include <gtest/gtest.h>

#include <vector>

#include "picture/pict_base.h"

namespace {

constexpr uint32_t kBg = 0xFFABCDEF;

struct sCanvasBox {
  std::vector<uint32_t> pixels;
  sPictCanvas canvas;
  sCanvasBox(int32_t w, int32_t h, int32_t mode = 0, double scale = 1.0, uint32_t fill = 0x11111111)
      : pixels(static_cast<size_t>(w) * h, fill) {
    canvas.pixels = pixels.data();
    canvas.width = w;
    canvas.height = h;
    canvas.background = kBg;
    canvas.mode = mode;
    canvas.scale = scale;
  }
  uint32_t At(int32_t x, int32_t y) const { return pixels[static_cast<size_t>(y) * canvas.width + x]; }
};

// A picture with a size but no pixels, to drive the streaming puts.
class cSized : public cPictDummy {
public:
  cSized(int32_t w, int32_t h) { SetSize(w, h); }
};

class cDeep : public cPictDummy {
public:
  bool Make(int32_t w, int32_t h) { return AllocatePixels64(w, h); }
};

uint32_t Px(uint32_t b, uint32_t g = 0, uint32_t r = 0, uint32_t a = 255) { return a << 24 | r << 16 | g << 8 | b; }

TEST(PictCanvas, AttachRefusesBadCanvases) {
  cSized p(4, 4);
  EXPECT_FALSE(p.AttachCanvas(nullptr));
  sPictCanvas c;
  EXPECT_FALSE(p.AttachCanvas(&c));
  sCanvasBox zero(0, 3);
  EXPECT_FALSE(p.AttachCanvas(&zero.canvas));
  EXPECT_FALSE(p.BeginCanvasOutput());  // nothing attached
  sCanvasBox ok(2, 2);
  EXPECT_TRUE(p.AttachCanvas(&ok.canvas));
  cSized empty(0, 0);
  EXPECT_TRUE(empty.AttachCanvas(&ok.canvas));
  EXPECT_FALSE(empty.BeginCanvasOutput());
  EXPECT_EQ(empty.GetAttachedCanvas(), nullptr);
  EXPECT_FALSE(empty.PutCanvasPixel(0, 0, 1));
  empty.EndCanvasOutput();  // no canvas: no effect
  EXPECT_EQ(ok.At(0, 0), 0x11111111u);
}

TEST(PictCanvas, FittingPictureIsCentredAtScaleOne) {
  // 100 x 50 into 200 x 200, mode 0: scale 1, margins 50 and 75.
  sCanvasBox box(200, 200);
  cSized p(100, 50);
  ASSERT_TRUE(p.AttachCanvas(&box.canvas));
  ASSERT_TRUE(p.BeginCanvasOutput());
  EXPECT_EQ(p.GetOutputScale(), 1.0);
  EXPECT_EQ(p.GetMarginX(), 50);
  EXPECT_EQ(p.GetMarginY(), 75);
  for (int y = 0; y < 50; ++y)
    for (int x = 0; x < 100; ++x) ASSERT_TRUE(p.PutCanvasPixel(x, y, Px(x, y)));
  EXPECT_TRUE(p.PutCanvasPixel(500, 0, 1));  // outside: dropped with true
  p.EndCanvasOutput();
  EXPECT_EQ(p.GetAttachedCanvas(), nullptr);
  for (int y = 0; y < 200; ++y) {
    for (int x = 0; x < 200; ++x) {
      const bool inside = x >= 50 && x < 150 && y >= 75 && y < 125;
      ASSERT_EQ(box.At(x, y), inside ? Px(x - 50, y - 75) : kBg) << x << "," << y;
    }
  }
}

TEST(PictCanvas, ShrinkToFitGeometry) {
  // 400 x 200 into 100 x 100: 100 x 50, y margin 25, scale 0.25, grid 100 x 50.
  sCanvasBox box(100, 100);
  cSized p(400, 200);
  p.AttachCanvas(&box.canvas);
  ASSERT_TRUE(p.BeginCanvasOutput());
  EXPECT_EQ(p.GetOutputScale(), 0.25);
  EXPECT_EQ(p.GetGridWidth(), 100);
  EXPECT_EQ(p.GetGridHeight(), 50);
  EXPECT_EQ(p.GetMarginX(), 0);
  EXPECT_EQ(p.GetMarginY(), 25);
  EXPECT_EQ(box.At(0, 24), kBg);
  EXPECT_EQ(box.At(99, 75), kBg);
  p.EndCanvasOutput();
  // No pixel was put: every grid cell comes out 0, not the background.
  EXPECT_EQ(box.At(0, 25), 0u);
  EXPECT_EQ(box.At(99, 74), 0u);
}

TEST(PictCanvas, NearestCellAccumulation) {
  // 8 x 2 into 3 x 3: s = 0.375, area 3 x 1 at row 1, grid 3 x 1. Columns
  // trunc(x * 0.375 + 0.5): 0,0,1,1,2,2,2,3 (the last is off the grid).
  sCanvasBox box(3, 3);
  cSized p(8, 2);
  p.AttachCanvas(&box.canvas);
  ASSERT_TRUE(p.BeginCanvasOutput());
  EXPECT_EQ(p.GetOutputScale(), 0.375);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 8; ++x) p.PutCanvasPixel(x, y, Px(x * 10 + y, 100));
  p.EndCanvasOutput();
  // (0+1+10+11)/4 = 5.5 -> 6; (20+21+30+31)/4 = 25.5 -> 26; 303/6 = 50.5 -> 51.
  EXPECT_EQ(box.At(0, 1), Px(6, 100));
  EXPECT_EQ(box.At(1, 1), Px(26, 100));
  EXPECT_EQ(box.At(2, 1), Px(51, 100));
  for (int x = 0; x < 3; ++x) {
    EXPECT_EQ(box.At(x, 0), kBg);
    EXPECT_EQ(box.At(x, 2), kBg);
  }
}

TEST(PictCanvas, SharedCellAccumulation) {
  // 4 x 1 into 3 x 3: s = 0.75, grid 3 x 1. Pixel 1 splits 0.25 / 0.75
  // between cells 0 and 1; pixels 2 and 3 would split into the last column,
  // which takes no split share, so they go whole to cells 1 and 2.
  sCanvasBox box(3, 3);
  cSized p(4, 1);
  p.AttachCanvas(&box.canvas);
  ASSERT_TRUE(p.BeginCanvasOutput());
  EXPECT_EQ(p.GetOutputScale(), 0.75);
  const uint32_t b[] = {100, 200, 40, 80};
  for (int x = 0; x < 4; ++x) p.PutCanvasPixel(x, 0, Px(b[x]));
  p.EndCanvasOutput();
  // (100 + 50) / 1.25 = 120; (150 + 40) / 1.75 = 108.57 -> 109; 80.
  EXPECT_EQ(box.At(0, 1), Px(120));
  EXPECT_EQ(box.At(1, 1), Px(109));
  EXPECT_EQ(box.At(2, 1), Px(80));
}

TEST(PictCanvas, SharedCellSplitsInBothDirections) {
  // 4 x 4 into 3 x 3: s = 0.75, grid 3 x 3. Pixel (1, 1) sits at 0.75, 0.75
  // and splits four ways: 1/16, 3/16, 3/16, 9/16 to cells (0,0), (1,0),
  // (0,1), (1,1).
  sCanvasBox box(3, 3);
  cSized p(4, 4);
  p.AttachCanvas(&box.canvas);
  ASSERT_TRUE(p.BeginCanvasOutput());
  p.PutCanvasPixel(0, 0, Px(0, 0, 0, 0));
  p.PutCanvasPixel(1, 1, Px(160, 0, 0, 0));
  p.EndCanvasOutput();
  // Cell (0,0): 0 * 1 + 160 * 0.0625 over weight 1.0625 = 9.41 -> 9.
  EXPECT_EQ(box.At(0, 0), 9u);
  EXPECT_EQ(box.At(1, 0), 160u);  // only the pixel's share: its own value
  EXPECT_EQ(box.At(0, 1), 160u);
  EXPECT_EQ(box.At(1, 1), 160u);
  EXPECT_EQ(box.At(2, 2), 0u);  // no pixel reached it
}

TEST(PictCanvas, ChannelPuts) {
  // Scale 1: OR-ed into the canvas byte of the channel.
  sCanvasBox box(2, 1, 0, 1.0, 0);
  box.canvas.background = 0;
  cSized p(2, 1);
  p.AttachCanvas(&box.canvas);
  ASSERT_TRUE(p.BeginCanvasOutput());
  p.PutCanvasChannel(1, 0, 0, 0x12);
  p.PutCanvasChannel(1, 0, 2, 0x34);
  p.PutCanvasChannel16(1, 0, 3, 0xFF80);
  EXPECT_TRUE(p.PutCanvasChannel(1, 0, 7, 0x55));  // no such channel: dropped
  p.EndCanvasOutput();
  EXPECT_EQ(box.At(1, 0), 0xFF340012u);
  // Nearest cell: two pixels of three colour channels into one cell.
  sCanvasBox small(1, 1);
  cSized q(3, 1);
  q.AttachCanvas(&small.canvas);
  ASSERT_TRUE(q.BeginCanvasOutput());
  ASSERT_LT(q.GetOutputScale(), 0.5);
  for (int x = 0; x < 2; ++x) {
    q.PutCanvasChannel(x, 0, 0, 30);
    q.PutCanvasChannel(x, 0, 1, 60);
    q.PutCanvasChannel(x, 0, 2, 90);
    q.PutCanvasChannel(x, 0, 3, 255);
  }
  q.EndCanvasOutput();
  // Weight 6 * float(0.3333333) = 1.99999988: 60 / w = 30.0000018 -> 30.
  EXPECT_EQ(small.At(0, 0), Px(30, 60, 90, 255));
}

TEST(PictCanvas, ExplicitScaleClampsAndCrops) {
  // A picture larger than the canvas: scale 2 becomes 1, written back.
  {
    sCanvasBox box(10, 10, 1, 2.0);
    cSized p(20, 20);
    p.AttachCanvas(&box.canvas);
    ASSERT_TRUE(p.BeginCanvasOutput());
    EXPECT_EQ(box.canvas.scale, 1.0);
    p.EndCanvasOutput();
  }
  for (double bad : {0.0, -1.0}) {
    sCanvasBox box(10, 10, 1, bad);
    cSized p(20, 20);
    p.AttachCanvas(&box.canvas);
    EXPECT_FALSE(p.BeginCanvasOutput()) << bad;
    EXPECT_EQ(p.GetAttachedCanvas(), nullptr);
  }
  {
    // A picture that fits: the scale is not looked at.
    sCanvasBox box(10, 10, 1, -1.0);
    cSized p(5, 5);
    p.AttachCanvas(&box.canvas);
    EXPECT_TRUE(p.BeginCanvasOutput());
    EXPECT_EQ(box.canvas.scale, -1.0);
    p.EndCanvasOutput();
  }
  {
    // Scale 0.5, 1000 columns, canvas 300: crop 900 becomes 400.
    sCanvasBox box(300, 10, 1, 0.5);
    box.canvas.cropX = 900;
    box.canvas.cropY = -3;
    cSized p(1000, 10);
    p.AttachCanvas(&box.canvas);
    ASSERT_TRUE(p.BeginCanvasOutput());
    EXPECT_EQ(box.canvas.cropX, 400);
    EXPECT_EQ(box.canvas.cropY, 0);
    EXPECT_EQ(p.GetGridWidth(), 300);
    EXPECT_EQ(p.GetGridHeight(), 5);
    EXPECT_TRUE(p.IsInsideClip(999, 0, 9));
    EXPECT_FALSE(p.IsInsideClip(1001, 0, 9));
    p.EndCanvasOutput();
  }
  {
    // Scale 1 with a crop: the canvas shows the picture from the crop on.
    sCanvasBox box(3, 1, 1, 1.0);
    box.canvas.cropX = 2;
    cSized p(6, 1);
    p.AttachCanvas(&box.canvas);
    ASSERT_TRUE(p.BeginCanvasOutput());
    for (int x = 0; x < 6; ++x) p.PutCanvasPixel(x, 0, Px(x));
    p.EndCanvasOutput();
    EXPECT_EQ(box.At(0, 0), Px(2));
    EXPECT_EQ(box.At(2, 0), Px(4));
  }
  {
    sCanvasBox box(3, 3, 2);
    cSized p(6, 6);
    p.AttachCanvas(&box.canvas);
    EXPECT_FALSE(p.BeginCanvasOutput());
  }
}

// Pictures for rendering.
void Fill(cPictDummy& p, int32_t w, int32_t h, uint32_t (*f)(int32_t, int32_t)) {
  ASSERT_TRUE(p.CreateBlank(w, h));
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) p.Pixels32().data[y * w + x] = f(x, y);
}

TEST(PictRender, CopiesAndBoxFilters) {
  struct sCase {
    const char* what;
    int32_t pw, ph;
    uint32_t (*f)(int32_t, int32_t);
    int32_t cw, ch, mode;
    double scale;
    int32_t cropX;
    std::vector<uint32_t> want;  // whole canvas, bottom row first
  };
  const uint32_t B = kBg;
  const sCase cases[] = {
      {"fits: copied and centred", 2, 1, [](int32_t x, int32_t) { return Px(x + 1); }, 4, 3, 0, 1.0, 0,
       {B, B, B, B, B, Px(1), Px(2), B, B, B, B, B}},
      // 4 x 2 into 2 x 2: step 2, means of 2 x 2 blocks, truncated.
      {"halving", 4, 2, [](int32_t x, int32_t y) { return Px(x * 10 + y * 100); }, 2, 2, 0, 1.0, 0,
       {Px(55), Px(75), B, B}},
      // 3 x 1 into 2 x 2: step 1.5; (10 + 22) / 1.5 = 21.3, (22 + 100) / 1.5 = 81.3.
      {"fractional step", 3, 1, [](int32_t x, int32_t) { return Px(x == 0 ? 10 : x == 1 ? 44 : 100); }, 2, 2, 0,
       1.0, 0, {Px(21), Px(81), B, B}},
      // Explicit scale 1 with a crop clamped from 6 to 4.
      {"scale 1 crop", 8, 1, [](int32_t x, int32_t) { return Px(x); }, 4, 1, 1, 1.0, 6,
       {Px(4), Px(5), Px(6), Px(7)}},
      // Explicit scale 0.5 of 4 x 1 into 1 x 1: the first two columns from crop 0.
      {"scale one half", 4, 1, [](int32_t x, int32_t) { return Px(x * 10); }, 1, 1, 1, 0.5, 0, {Px(5)}},
  };
  for (const sCase& c : cases) {
    cPictDummy p;
    Fill(p, c.pw, c.ph, c.f);
    sCanvasBox box(c.cw, c.ch, c.mode, c.scale);
    box.canvas.cropX = c.cropX;
    ASSERT_TRUE(RenderPictureToCanvas(&box.canvas, &p)) << c.what;
    EXPECT_EQ(box.pixels, c.want) << c.what;
  }
}

TEST(PictRender, SixtyFourBitAndRefusals) {
  cDeep deep;
  ASSERT_TRUE(deep.Make(2, 1));
  deep.Pixels64().data[0] = 0x1280 | 0xFFFFull << 48;  // B 18.5 on the 8-bit scale
  deep.Pixels64().data[1] = 0x1400 | 0xFFFFull << 48;  // B 20
  sCanvasBox box(1, 1);
  ASSERT_TRUE(RenderPictureToCanvas(&box.canvas, &deep));
  EXPECT_EQ(box.At(0, 0), Px(19, 0, 0, 255));  // trunc(19.25 + 0.5)
  sCanvasBox wide(2, 1);
  ASSERT_TRUE(RenderPictureToCanvas(&wide.canvas, &deep));
  EXPECT_EQ(wide.At(0, 0), Px(0x12, 0, 0, 255));
  EXPECT_EQ(wide.At(1, 0), Px(0x14, 0, 0, 255));

  cPictDummy empty;
  EXPECT_FALSE(RenderPictureToCanvas(&box.canvas, &empty));
  EXPECT_FALSE(RenderPictureToCanvas(nullptr, &deep));
  cPictDummy big;
  Fill(big, 4, 4, [](int32_t, int32_t) { return 0u; });
  sCanvasBox mode2(2, 2, 2);
  EXPECT_FALSE(RenderPictureToCanvas(&mode2.canvas, &big));
  sCanvasBox zeroScale(2, 2, 1, 0.0);
  EXPECT_FALSE(RenderPictureToCanvas(&zeroScale.canvas, &big));
  sCanvasBox upScale(2, 2, 1, 3.0);
  EXPECT_TRUE(RenderPictureToCanvas(&upScale.canvas, &big));
  EXPECT_EQ(upScale.canvas.scale, 1.0);
}

TEST(PictCanvas, FromPicture) {
  cPictDummy p;
  ASSERT_TRUE(p.CreateBlank(3, 2));
  sPictCanvas c;
  c.cropX = 5;
  sPictCanvas::FromPicture(c, &p);
  EXPECT_EQ(c.pixels, p.Pixels32().data);
  EXPECT_EQ(c.width, 3);
  EXPECT_EQ(c.height, 2);
  EXPECT_EQ(c.cropX, 0);
  EXPECT_EQ(c.scale, 1.0);
  EXPECT_EQ(c.mode, 0);
  sPictCanvas::FromPicture(c, nullptr);
  EXPECT_EQ(c.pixels, nullptr);
  EXPECT_EQ(c.width, 0);
  EXPECT_EQ(c.scale, 1.0);
}

}  // namespace
