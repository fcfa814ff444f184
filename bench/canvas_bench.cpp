// What a repaint costs on the memory canvas: filling (whole surface, and
// through the ragged clip an element tree leaves), blending pictures by
// their alpha, drawing a 4-megapixel picture scaled (fitted, and zoomed so
// that only a part shows), and laying out a paragraph of wrapped text.
// Pixel rates are reported as items per second.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "gui/mem_canvas.h"

namespace {

constexpr int32_t kW = 1280, kH = 1024;

void Pattern(cPicture& p, int32_t w, int32_t h) {
  p.Allocate(w, h);
  uint32_t* px = p.GetPixels();
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x)
      px[static_cast<size_t>(y) * w + x] = (uint32_t((x + y) & 0xFF) << 24) | (uint32_t(x & 0xFF) << 16) |
                                           (uint32_t(y & 0xFF) << 8) | uint32_t((x ^ y) & 0xFF);
}

void FillWhole(benchmark::State& state) {
  cMemCanvas canvas(kW, kH);
  const sRect all{0, 0, kW, kH};
  uint32_t colour = 0;
  for (auto _ : state) {
    canvas.DrawRect(&all, colour, colour);
    colour += 0x010101;
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * int64_t{kW} * kH);
}
BENCHMARK(FillWhole)->Unit(benchmark::kMicrosecond);

// A form with a grid of 8 x 6 children: the parent's fill goes around them
// (items count the whole surface, most of which the clip leaves out).
void FillAroundChildren(benchmark::State& state) {
  cMemCanvas canvas(kW, kH);
  for (int32_t r = 0; r < 6; ++r)
    for (int32_t c = 0; c < 8; ++c) {
      const sRect child{20 + c * 155, 20 + r * 165, 140, 150};
      canvas.ExcludeClipRect(&child);
    }
  canvas.ApplyClip();
  const sRect all{0, 0, kW, kH};
  for (auto _ : state) {
    canvas.DrawRect(&all, 0x336699, 0x336699);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * int64_t{kW} * kH);
  state.counters["clip boxes"] = static_cast<double>(canvas.ClipRegion().Boxes().size());
}
BENCHMARK(FillAroundChildren)->Unit(benchmark::kMicrosecond);

void BlendPicture(benchmark::State& state) {
  const int32_t side = static_cast<int32_t>(state.range(0));
  cMemCanvas canvas(kW, kH);
  const sRect all{0, 0, kW, kH};
  canvas.DrawRect(&all, 0x808080, 0x808080);
  cPicture p;
  Pattern(p, side, side);
  const sPoint at{7, 9};
  for (auto _ : state) {
    canvas.DrawPictureBlended(&at, &p, nullptr);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * int64_t{side} * side);
}
BENCHMARK(BlendPicture)->Arg(48)->Arg(256)->Arg(1024)->Unit(benchmark::kMicrosecond);

// A 2048 x 2048 picture (4.2 megapixels) fitted into 1024 x 1024 (filter 0:
// box/linear, 1: area average), and zoomed to 4096 x 4096 at (-1000, -1000)
// so that only the part inside the canvas is resampled.
void ScaledPicture(benchmark::State& state) {
  static cPicture* big = [] {
    auto* p = new cPicture();
    Pattern(*p, 2048, 2048);
    return p;
  }();
  const bool zoomed = state.range(0) == 2;
  const int32_t filter = zoomed ? 0 : static_cast<int32_t>(state.range(0));
  cMemCanvas canvas(kW, kH);
  const sScaledPicture s = zoomed ? sScaledPicture{big, 4096, 4096, -1000, -1000, filter}
                                  : sScaledPicture{big, 1024, 1024, 100, 0, filter};
  for (auto _ : state) {
    benchmark::DoNotOptimize(canvas.DrawPictureScaled(s));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * int64_t{2048} * 2048);
  state.SetLabel(zoomed ? "zoomed x2, part visible" : (filter == 0 ? "fit, box/linear" : "fit, area average"));
}
BENCHMARK(ScaledPicture)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// The share of the above that is the picture's own resampling.
void ResampleOnly(benchmark::State& state) {
  cPicture big, out;
  Pattern(big, 2048, 2048);
  const int32_t filter = static_cast<int32_t>(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(big.Resize(filter, 1024, 1024, &out));
  state.SetItemsProcessed(state.iterations() * int64_t{2048} * 2048);
}
BENCHMARK(ResampleOnly)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void WrappedText(benchmark::State& state) {
  cMemCanvas canvas(kW, kH);
  std::u16string text;
  for (int i = 0; i < 40; ++i) text += u"The quick brown fox jumps over the lazy dog. ";
  sSize size;
  for (auto _ : state) {
    benchmark::DoNotOptimize(canvas.DrawTextWrapped(10, 10, 600, 400, 3, text.c_str(), &size, true, 0));
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
BENCHMARK(WrappedText)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
