// Fuzz target for the TIFF decoder through the picture factory. The input is
// a file followed by one option byte: the page to load (low 2 bits) and
// whether to fit it into a small box (bit 2). Properties: nothing crashes;
// a decoder the factory recognises counts at least one page; a page past
// the count does not load; a loaded page has pixels of the size
// GetImageInfo reports; loading again gives the same
// pixels; a fitted load stays inside its box.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "base/memio.h"
#include "picture/pict_factory.h"
#include "picture/pict_tiff.h"

namespace {

// Says which property broke before aborting.
void CheckAt(bool ok, int line) {
  if (ok) return;
  std::fprintf(stderr, "property at line %d broken\n", line);
  std::abort();
}
#define Check(ok) CheckAt((ok), __LINE__)

// Pages above this many pixels are left alone, so that the fuzzer spends its
// time on the format rather than on memory.
constexpr int64_t kPixelLimit = int64_t{1} << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > (1 << 20)) return 0;
  const uint8_t option = data[size - 1];
  --size;
  cBufWrapperIO io(data, static_cast<uint32_t>(size));
  sPictInfo info;
  std::unique_ptr<cPictBase> p(CreatePicture(&io, &info));
  if (p == nullptr || p->GetFormat() != kPictFormatTIFF) return 0;
  const int32_t pages = p->GetImageCount(&io);
  Check(pages >= 1);
  const int32_t page = option & 3;
  int32_t w = 0, h = 0;
  if (!p->GetImageInfo(&io, page, w, h)) {
    // A page past the end of the chain never loads. (A page without its
    // own size may: it inherits the size of the page before it, which
    // GetImageInfo does not let it do.)
    if (page >= pages) Check(!p->LoadImage(&io, page));
    return 0;
  }
  if (w <= 0 || h <= 0 || static_cast<int64_t>(w) * h > kPixelLimit) return 0;
  if (option & 4) {
    cPictDummy fitted;
    if (p->LoadImageFitted(&io, &fitted, 17, 9, page, true, 0xFFFFFF)) {
      Check(fitted.GetWidth() <= 17 && fitted.GetHeight() <= 9);
    }
    return 0;
  }
  if (!p->LoadImage(&io, page)) return 0;
  Check(p->HasPixels() && p->GetWidth() == w && p->GetHeight() == h);
  _typebuf<uint32_t> first, again;
  Check(p->GetPixels32(first));
  Check(p->LoadImage(&io, page));
  Check(p->GetPixels32(again));
  Check(first.count == again.count &&
        std::memcmp(first.data, again.data, static_cast<size_t>(first.count) * 4) == 0);
  return 0;
}
