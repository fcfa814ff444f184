// Fuzz target for the camera-raw decoders through the picture factory,
// seeded with the synthetic camera corpus (DNG, 3FR, TIFF/EP, MOS). The
// input's last byte chooses the preview box. Properties: nothing crashes,
// leaks or reads outside a buffer; a crafted file fails its probe or load
// and the factory goes on; a developed picture has 64-bit pixels of its
// size, all opaque; previews fit their box; every image of a multi-image
// file loads or fails cleanly.
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

bool IsRaw(int32_t format) {
  return format == kPictFormatDNG || format == kPictFormat3FR || format == kPictFormatTIFF_EP ||
         format == kPictFormatMOS;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > (1 << 20)) return 0;
  const uint8_t option = data[size - 1];
  --size;
  cBufWrapperIO io(data, static_cast<uint32_t>(size));
  sPictInfo info;
  std::unique_ptr<cPictBase> probed(CreatePicture(&io, &info));
  if (probed == nullptr || !IsRaw(probed->GetFormat())) return 0;
  if (static_cast<int64_t>(info.width) * info.height > kPixelLimit) return 0;
  io.Seek(0);
  const int32_t images = probed->GetImageCount(&io);
  Check(images >= 0);
  for (int32_t i = 0; i < images && i < 4; ++i) {
    int32_t w = 0, h = 0;
    io.Seek(0);
    if (!probed->GetImageInfo(&io, i, w, h) || static_cast<int64_t>(w) * h > kPixelLimit) continue;
    io.Seek(0);
    if (probed->LoadImage(&io, i) && probed->IsHighDepth()) {
      Check(probed->HasPixels());
      Check(probed->Pixels64().count == static_cast<int64_t>(probed->GetWidth()) * probed->GetHeight());
    }
  }
  io.Seek(0);
  if (probed->Load(&io) && probed->GetFormat() == kPictFormatMOS) {
    // MOS always develops CFA data: opaque everywhere.
    Check(probed->IsHighDepth());
    for (int32_t k = 0; k < probed->Pixels64().count; ++k) Check((probed->Pixels64().data[k] >> 48) == 0xFFFF);
  }
  const int32_t bw = 1 + option % 16, bh = 1 + option / 16;
  cPictDummy preview;
  int32_t pw = bw, ph = bh;
  io.Seek(0);
  if (probed->LoadPreview(&io, &preview, pw, ph)) {
    Check(preview.HasPixels());
    Check(preview.GetWidth() <= bw && preview.GetHeight() <= bh);
  }
  return 0;
}
