// Fuzz target for the picture factory: any bytes, recognised or not. The
// input's last byte chooses the fitted-loading box. Properties: nothing
// crashes or leaks; a stream that loads without a record is recognised with
// one, as the same format (and size, for single-image formats); fitted
// loading answers one of its codes and, on success, a picture inside the box.
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "base/memio.h"
#include "picture/pict_factory.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

constexpr int64_t kPixelLimit = int64_t{1} << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > (1 << 20)) return 0;
  const uint8_t option = data[size - 1];
  --size;
  cBufWrapperIO io(data, static_cast<uint32_t>(size));
  sPictInfo info;
  std::unique_ptr<cPictBase> probed(CreatePicture(&io, &info));
  if (probed == nullptr) {
    Check(CreatePicture(&io, nullptr) == nullptr);
    cPictDummy dest;
    Check(LoadPictureFitted(&io, &dest, 8, 8) == kFitUnknownFormat);
    return 0;
  }
  if (static_cast<int64_t>(info.width) * info.height > kPixelLimit) return 0;
  std::unique_ptr<cPictBase> loaded(CreatePicture(&io, nullptr));
  if (loaded != nullptr) {
    Check(loaded->GetFormat() == probed->GetFormat());
    // Multi-image formats report the largest image or the logical screen
    // and load their first image.
    if (!loaded->IsMultiImage()) Check(loaded->GetWidth() == info.width && loaded->GetHeight() == info.height);
  }
  const int32_t bw = 1 + option % 16, bh = 1 + option / 16;
  cPictDummy dest;
  const int32_t r = LoadPictureFitted(&io, &dest, bw, bh);
  Check(r >= 0 && r <= 5);
  if (r == 0) Check(dest.GetWidth() <= bw && dest.GetHeight() <= bh && dest.HasPixels());
  if (loaded != nullptr) Check(r == 0 || r == kFitBadArguments);
  return 0;
}
