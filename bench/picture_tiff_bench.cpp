// TIFF decoding: ours against libtiff over the same in-memory files, a
// 24-megapixel (6000 x 4000) 8-bit RGB picture uncompressed, LZW with
// horizontal predictor, Deflate, and tiled (256 x 256), and a 300 dpi A4
// page (2480 x 3508) in CCITT G4. libtiff reads through TIFFClientOpen over
// the same bytes, strip by strip (tile by tile), into the same 32-bit
// bottom-up pixels ours produces. The decoders alternate in one process and
// are timed by the CPU time of their thread (the machine is shared); the
// medians give the ratios printed first (libtiff's time over ours: at least
// 1.0 means ours is as fast). Then the peak of heap memory (operator new)
// while a 64-megapixel striped LZW TIFF is fitted into 256 x 256. Google
// Benchmark then reports ours alone.
#include <benchmark/benchmark.h>
#include <tiffio.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <string>
#include <vector>

#include "base/memio.h"
#include "picture/pict_factory.h"
#include "picture/pict_tiff.h"

// Heap accounting for the memory measurement (libtiff's malloc does not go
// through here).
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#pragma GCC diagnostic ignored "-Warray-bounds"
namespace {
std::atomic<int64_t> gLive{0};
std::atomic<int64_t> gPeak{0};
}  // namespace

void* operator new(size_t n) {
  void* p = std::malloc(n + 16);
  if (p == nullptr) throw std::bad_alloc();
  *static_cast<size_t*>(p) = n;
  const int64_t live = gLive += static_cast<int64_t>(n);
  int64_t peak = gPeak.load();
  while (live > peak && !gPeak.compare_exchange_weak(peak, live)) {
  }
  return static_cast<char*>(p) + 16;
}
void operator delete(void* p) noexcept {
  if (p == nullptr) return;
  char* base = static_cast<char*>(p) - 16;
  gLive -= static_cast<int64_t>(*reinterpret_cast<size_t*>(base));
  std::free(base);
}
void operator delete(void* p, size_t) noexcept { operator delete(p); }

namespace {

// ---- In-memory TIFF files through libtiff ----
struct sMem {
  std::vector<uint8_t> bytes;
  toff_t pos = 0;
};

tsize_t MemRead(thandle_t h, tdata_t buf, tsize_t n) {
  auto* m = static_cast<sMem*>(h);
  const toff_t left = m->pos < m->bytes.size() ? m->bytes.size() - m->pos : 0;
  const tsize_t k = static_cast<tsize_t>(std::min<toff_t>(left, static_cast<toff_t>(n)));
  std::memcpy(buf, m->bytes.data() + m->pos, static_cast<size_t>(k));
  m->pos += static_cast<toff_t>(k);
  return k;
}
tsize_t MemWrite(thandle_t h, tdata_t buf, tsize_t n) {
  auto* m = static_cast<sMem*>(h);
  if (m->pos + static_cast<toff_t>(n) > m->bytes.size()) m->bytes.resize(m->pos + static_cast<toff_t>(n));
  std::memcpy(m->bytes.data() + m->pos, buf, static_cast<size_t>(n));
  m->pos += static_cast<toff_t>(n);
  return n;
}
toff_t MemSeek(thandle_t h, toff_t off, int whence) {
  auto* m = static_cast<sMem*>(h);
  if (whence == SEEK_SET) m->pos = off;
  else if (whence == SEEK_CUR) m->pos += off;
  else m->pos = m->bytes.size() + off;
  return m->pos;
}
int MemClose(thandle_t) { return 0; }
toff_t MemSize(thandle_t h) { return static_cast<sMem*>(h)->bytes.size(); }
int MemMap(thandle_t, tdata_t*, toff_t*) { return 0; }
void MemUnmap(thandle_t, tdata_t, toff_t) {}

TIFF* Open(sMem& m, const char* mode) {
  m.pos = 0;
  return TIFFClientOpen("mem", mode, &m, MemRead, MemWrite, MemSeek, MemClose, MemSize, MemMap, MemUnmap);
}

void Silent(const char*, const char*, va_list) {}

enum eKind { kRgb, kBilevel };

// A picture with smooth areas and edges, so that compressors have work.
std::vector<uint8_t> MakeRgb(int w, int h) {
  std::vector<uint8_t> px(static_cast<size_t>(w) * h * 3);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = &px[(static_cast<size_t>(y) * w + x) * 3];
      const bool box = ((x / 300) + (y / 200)) % 3 == 0;
      p[0] = static_cast<uint8_t>(box ? 230 : x * 255 / w);
      p[1] = static_cast<uint8_t>(box ? 40 : y * 255 / h);
      p[2] = static_cast<uint8_t>((x ^ y) & (box ? 0x0F : 0x3F));
    }
  return px;
}

// Text-like bilevel page: rows of small black blocks on white.
std::vector<uint8_t> MakeBilevel(int w, int h) {
  const int rowBytes = (w + 7) / 8;
  std::vector<uint8_t> px(static_cast<size_t>(rowBytes) * h, 0);
  uint32_t seed = 12345;
  for (int line = 150; line + 40 < h - 150; line += 50)
    for (int x = 150; x < w - 150;) {
      seed = seed * 1103515245 + 12345;
      const int len = 8 + (seed >> 16) % 30;
      const int top = line + (seed >> 8) % 6, bottom = line + 30 + (seed >> 4) % 8;
      for (int y = top; y < bottom; ++y)
        for (int k = x; k < std::min(x + len, w - 150); ++k)
          if (((k * 7 + y * 3) % 11) != 0) px[static_cast<size_t>(y) * rowBytes + k / 8] |= static_cast<uint8_t>(0x80 >> (k & 7));
      x += len + 6 + (seed >> 20) % 12;
    }
  return px;
}

sMem Write(int w, int h, eKind kind, int compression, int predictor, int tile) {
  sMem m;
  TIFF* t = Open(m, "w");
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, w);
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, h);
  TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(t, TIFFTAG_COMPRESSION, compression);
  if (predictor != 0) TIFFSetField(t, TIFFTAG_PREDICTOR, predictor);
  std::vector<uint8_t> px;
  int rowBytes;
  if (kind == kRgb) {
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    px = MakeRgb(w, h);
    rowBytes = w * 3;
  } else {
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    px = MakeBilevel(w, h);
    rowBytes = (w + 7) / 8;
  }
  if (tile > 0) {
    TIFFSetField(t, TIFFTAG_TILEWIDTH, tile);
    TIFFSetField(t, TIFFTAG_TILELENGTH, tile);
    std::vector<uint8_t> buf(static_cast<size_t>(tile) * tile * 3, 0);
    for (int ty = 0; ty < h; ty += tile)
      for (int tx = 0; tx < w; tx += tile) {
        std::fill(buf.begin(), buf.end(), 0);
        for (int k = 0; k < tile && ty + k < h; ++k)
          std::memcpy(&buf[static_cast<size_t>(k) * tile * 3], &px[(static_cast<size_t>(ty + k) * w + tx) * 3],
                      static_cast<size_t>(std::min(tile, w - tx)) * 3);
        TIFFWriteTile(t, buf.data(), static_cast<uint32_t>(tx), static_cast<uint32_t>(ty), 0, 0);
      }
  } else {
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, kind == kBilevel ? h : 16);
    for (int y = 0; y < h; ++y) TIFFWriteScanline(t, &px[static_cast<size_t>(y) * rowBytes], static_cast<uint32_t>(y), 0);
  }
  TIFFClose(t);
  return m;
}

// libtiff: strips or tiles into 32-bit bottom-up pixels.
bool LibtiffDecode(sMem& m, std::vector<uint32_t>& out) {
  TIFF* t = Open(m, "r");
  if (t == nullptr) return false;
  uint32_t w = 0, h = 0;
  uint16_t spp = 1, bps = 1, photometric = 0;
  TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &w);
  TIFFGetField(t, TIFFTAG_IMAGELENGTH, &h);
  TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &spp);
  TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &bps);
  TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &photometric);
  out.resize(static_cast<size_t>(w) * h);
  if (TIFFIsTiled(t)) {
    uint32_t tw = 0, tl = 0;
    TIFFGetField(t, TIFFTAG_TILEWIDTH, &tw);
    TIFFGetField(t, TIFFTAG_TILELENGTH, &tl);
    std::vector<uint8_t> buf(TIFFTileSize(t));
    for (uint32_t ty = 0; ty < h; ty += tl)
      for (uint32_t tx = 0; tx < w; tx += tw) {
        TIFFReadEncodedTile(t, TIFFComputeTile(t, tx, ty, 0, 0), buf.data(), static_cast<tmsize_t>(buf.size()));
        for (uint32_t k = 0; k < tl && ty + k < h; ++k) {
          uint32_t* row = &out[static_cast<size_t>(h - 1 - ty - k) * w + tx];
          const uint8_t* s = &buf[static_cast<size_t>(k) * tw * 3];
          for (uint32_t x = 0; x < tw && tx + x < w; ++x)
            row[x] = 0xFF000000u | s[3 * x] << 16 | s[3 * x + 1] << 8 | s[3 * x + 2];
        }
      }
  } else {
    uint32_t rps = h;
    TIFFGetFieldDefaulted(t, TIFFTAG_ROWSPERSTRIP, &rps);
    std::vector<uint8_t> buf(TIFFStripSize(t));
    const tmsize_t scan = TIFFScanlineSize(t);
    for (tstrip_t s = 0; s < TIFFNumberOfStrips(t); ++s) {
      TIFFReadEncodedStrip(t, s, buf.data(), static_cast<tmsize_t>(buf.size()));
      for (uint32_t k = 0; k < rps && s * rps + k < h; ++k) {
        const uint32_t y = s * rps + k;
        uint32_t* row = &out[static_cast<size_t>(h - 1 - y) * w];
        const uint8_t* src = &buf[static_cast<size_t>(k) * scan];
        if (bps == 1) {
          for (uint32_t x = 0; x < w; ++x) {
            const bool set = (src[x >> 3] >> (7 - (x & 7))) & 1;
            row[x] = set != (photometric == 0) ? 0xFFFFFFFFu : 0xFF000000u;
          }
        } else {
          for (uint32_t x = 0; x < w; ++x) row[x] = 0xFF000000u | src[3 * x] << 16 | src[3 * x + 1] << 8 | src[3 * x + 2];
        }
      }
    }
  }
  TIFFClose(t);
  return true;
}

bool OursDecode(const sMem& m, cPictTIFF& t) {
  cBufWrapperIO io(m.bytes.data(), static_cast<uint32_t>(m.bytes.size()));
  return t.Load(&io);
}

double ThreadSeconds() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return ts.tv_sec + ts.tv_nsec * 1e-9;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

struct sFile {
  const char* name;
  sMem mem;
};
std::vector<sFile>* gFiles = nullptr;

void Compare(sFile& f, int runs) {
  std::vector<double> ours, peer;
  std::vector<uint32_t> ref;
  cPictTIFF t;
  bool same = true;
  for (int i = 0; i < runs; ++i) {
    double t0 = ThreadSeconds();
    const bool ok = OursDecode(f.mem, t);
    ours.push_back(ThreadSeconds() - t0);
    t0 = ThreadSeconds();
    LibtiffDecode(f.mem, ref);
    peer.push_back(ThreadSeconds() - t0);
    if (i == 0)
      same = ok && t.Pixels32().count == static_cast<int32_t>(ref.size()) &&
             std::memcmp(t.Pixels32().data, ref.data(), ref.size() * 4) == 0;
  }
  const double mo = Median(ours), mp = Median(peer);
  const double mpix = static_cast<double>(ref.size()) / 1e6;
  std::printf("%-26s %9zu bytes: ours %7.1f Mpixel/s, libtiff %7.1f Mpixel/s, ratio %.2f%s\n", f.name,
              f.mem.bytes.size(), mpix / mo, mpix / mp, mp / mo, same ? "" : "  (PIXELS DIFFER)");
}

void BM_Ours(benchmark::State& state) {
  sFile& f = (*gFiles)[static_cast<size_t>(state.range(0))];
  cPictTIFF t;
  for (auto _ : state) benchmark::DoNotOptimize(OursDecode(f.mem, t));
  state.SetLabel(f.name);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(f.mem.bytes.size()));
}

}  // namespace

int main(int argc, char** argv) {
  TIFFSetWarningHandler(Silent);
  TIFFSetErrorHandler(Silent);
  std::vector<sFile> files;
  files.push_back({"24 MP RGB uncompressed", Write(6000, 4000, kRgb, COMPRESSION_NONE, 0, 0)});
  files.push_back({"24 MP RGB LZW predictor", Write(6000, 4000, kRgb, COMPRESSION_LZW, 2, 0)});
  files.push_back({"24 MP RGB Deflate", Write(6000, 4000, kRgb, COMPRESSION_ADOBE_DEFLATE, 0, 0)});
  files.push_back({"24 MP RGB tiled 256", Write(6000, 4000, kRgb, COMPRESSION_NONE, 0, 256)});
  files.push_back({"A4 300 dpi G4 page", Write(2480, 3508, kBilevel, COMPRESSION_CCITTFAX4, 0, 0)});
  gFiles = &files;
  for (sFile& f : files) Compare(f, 5);

  sMem big = Write(8000, 8000, kRgb, COMPRESSION_LZW, 2, 0);
  {
    cBufWrapperIO io(big.bytes.data(), static_cast<uint32_t>(big.bytes.size()));
    cPictDummy fitted;
    const int64_t before = gLive.load();
    gPeak.store(before);
    const int32_t r = LoadPictureFitted(&io, &fitted, 256, 256);
    std::printf("fitted load of a 64-megapixel striped LZW TIFF (8000x8000, %zu bytes) into 256x256: result %d, "
                "%dx%d, peak heap %.1f MB above the start (goal below 32 MB)\n",
                big.bytes.size(), r, fitted.GetWidth(), fitted.GetHeight(), (gPeak.load() - before) / 1048576.0);
  }
  for (int i = 0; i < static_cast<int>(files.size()); ++i)
    benchmark::RegisterBenchmark("BM_Ours", BM_Ours)->Arg(i)->Unit(benchmark::kMillisecond);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
