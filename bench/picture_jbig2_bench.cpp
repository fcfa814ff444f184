// JBIG2 decoding: ours against jbig2dec (Debian's jbig2dec program, run as a
// child process) over the same files, made by the tests' JBIG2 writer: four
// 300 dpi A4 pages (2480 x 3508) of text-like content as one generic region
// each, with the nominal template 0, template 1, template 2 with typical
// prediction, and template 0 with moved AT pixels (our generic decoder).
// Ours decodes every page of the file in memory; jbig2dec decodes the file
// to PBM on /dev/null, so its time includes starting and writing (a few
// milliseconds against pages of tens). Times are CPU seconds (ours of this
// thread, jbig2dec's of the finished child), medians of 5 runs; the ratio
// is jbig2dec's time over ours (at least 1.0: ours is as fast). Google
// Benchmark then reports ours alone.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "base/memio.h"
#include "picture/pict_jbig2.h"
#include "tests/picture/jbig2_writer.h"

namespace {

using namespace jbig2_writer;

// Lines of "words": runs of glyph-like blobs on a white page.
sBitmap TextPage(int w, int h, uint32_t seed) {
  sBitmap b(w, h);
  uint32_t s = seed;
  auto next = [&] {
    s = s * 1103515245u + 12345u;
    return s >> 16;
  };
  for (int line = 150; line + 40 < h - 150; line += 50)
    for (int x = 150; x < w - 150;) {
      const int word = 40 + static_cast<int>(next() % 160);
      for (int gx = x; gx < x + word && gx < w - 150; gx += 14) {
        const uint32_t glyph = next();
        for (int y = 0; y < 30; ++y)
          for (int dx = 0; dx < 11; ++dx)
            if ((glyph >> ((y / 4 * 3 + dx / 4) % 16)) & 1) b.Set(gx + dx, line + y, 1);
      }
      x += word + 20;
    }
  return b;
}

tBytes MakeFile() {
  std::vector<sPageSpec> pages;
  for (int p = 0; p < 4; ++p) {
    sRegion r;
    r.bitmap = TextPage(2480, 3508, 7 + p);
    r.options.tmpl = p == 1 ? 1 : p == 2 ? 2 : 0;
    r.options.at[0] = NominalA1x(r.options.tmpl);
    r.options.tpgdon = p == 2;
    if (p == 3) {
      const int8_t moved[8] = {-3, -1, 2, -2, -4, -1, 1, -3};
      for (int i = 0; i < 8; ++i) r.options.at[i] = moved[i];
    }
    pages.push_back({2480, 3508, {r}});
  }
  return Concat(FileHeader(4), Sequential(DocumentSegments(pages, true)));
}

double ThreadSeconds() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return ts.tv_sec + ts.tv_nsec * 1e-9;
}

double ChildSeconds() {
  rusage u{};
  getrusage(RUSAGE_CHILDREN, &u);
  return u.ru_utime.tv_sec + u.ru_utime.tv_usec * 1e-6 + u.ru_stime.tv_sec + u.ru_stime.tv_usec * 1e-6;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

bool OursDecode(const tBytes& file, int page, cPictJBIG2& d) {
  cBufWrapperIO io(file.data(), static_cast<uint32_t>(file.size()));
  return d.LoadImage(&io, page);
}

tBytes* gFile = nullptr;

void BM_OursPage(benchmark::State& state) {
  cPictJBIG2 d;
  for (auto _ : state) benchmark::DoNotOptimize(OursDecode(*gFile, static_cast<int>(state.range(0)), d));
  state.SetItemsProcessed(state.iterations() * 2480 * 3508);
}

}  // namespace

int main(int argc, char** argv) {
  tBytes file = MakeFile();
  gFile = &file;
  const std::string path = "/tmp/tw_jbig2_bench.jb2";
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(file.data(), 1, file.size(), f);
    std::fclose(f);
  }
  const bool peer = std::system("command -v jbig2dec >/dev/null 2>&1") == 0;
  std::vector<double> ours, theirs;
  bool ok = true;
  for (int run = 0; run < 5; ++run) {
    double t0 = ThreadSeconds();
    for (int p = 0; p < 4; ++p) {
      cPictJBIG2 d;
      ok = OursDecode(file, p, d) && ok;
    }
    ours.push_back(ThreadSeconds() - t0);
    if (peer) {
      t0 = ChildSeconds();
      ok = std::system(("jbig2dec -q -t pbm -o /dev/null " + path).c_str()) == 0 && ok;
      theirs.push_back(ChildSeconds() - t0);
    }
  }
  const double mpix = 4 * 2480.0 * 3508.0 / 1e6, mo = Median(ours);
  if (peer) {
    const double mp = Median(theirs);
    std::printf("4 A4 pages (%zu bytes): ours %.1f Mpixel/s, jbig2dec %.1f Mpixel/s, ratio %.2f%s\n", file.size(),
                mpix / mo, mpix / mp, mp / mo, ok ? "" : "  (A DECODE FAILED)");
  } else {
    std::printf("4 A4 pages (%zu bytes): ours %.1f Mpixel/s; jbig2dec missing, no ratio%s\n", file.size(), mpix / mo,
                ok ? "" : "  (A DECODE FAILED)");
  }
  std::remove(path.c_str());
  for (int p = 0; p < 4; ++p)
    benchmark::RegisterBenchmark("BM_OursPage", BM_OursPage)->Arg(p)->Unit(benchmark::kMillisecond);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
