// See raw_preview.h.
#include "picture/raw/raw_preview.h"

#include "base/memio.h"
#include "picture/pict_base.h"
#include "picture/pict_jpeg.h"

bool FittedPreviewSize(int32_t w, int32_t h, int32_t maxWidth, int32_t maxHeight, int32_t& outWidth,
                       int32_t& outHeight) {
  if (w <= 0 || h <= 0) return false;
  if (maxWidth <= 0) maxWidth = w;
  if (maxHeight <= 0) maxHeight = h;
  if (maxWidth >= w && maxHeight >= h) {
    outWidth = w;
    outHeight = h;
    return true;
  }
  double s = static_cast<double>(maxHeight) / h;
  const double sx = static_cast<double>(maxWidth) / w;
  if (sx < s) s = sx;
  if (s > 1.0) s = 1.0;
  const int32_t tw = static_cast<int32_t>(w * s + 0.5), th = static_cast<int32_t>(h * s + 0.5);
  if (tw <= 0 || th <= 0) return false;
  outWidth = tw;
  outHeight = th;
  return true;
}

bool FitRawPreview(cPictBase& preview, cPictBase* destination, int32_t maxWidth, int32_t maxHeight) {
  if (destination == nullptr || !preview.HasPixels()) return false;
  const int32_t w = preview.GetWidth(), h = preview.GetHeight();
  int32_t tw = 0, th = 0;
  if (!FittedPreviewSize(w, h, maxWidth, maxHeight, tw, th)) return false;
  if (tw == w && th == h) {
    destination->TakePixels(&preview);
    return true;
  }
  cPictDummy blank;
  if (!blank.CreateBlank(tw, th)) return false;
  sPictCanvas canvas;
  sPictCanvas::FromPicture(canvas, &blank);
  if (!RenderPictureToCanvas(&canvas, &preview)) return false;
  destination->TakePixels(&blank);
  return true;
}

bool LoadFittedJpegPreview(cFileIOTarget* stream, uint64_t offset, uint64_t length, cPictBase* destination,
                           int32_t maxWidth, int32_t maxHeight) {
  if (stream == nullptr || destination == nullptr || length == 0) return false;
  const uint64_t size = stream->GetSize();
  if (offset >= size || length > size - offset) return false;
  cFileIOSubRange window(stream, offset, length);
  sPictInfo info;
  if (!window.Seek(0) || !cPictJPEG::Detect(&window, &info)) return false;
  int32_t tw = 0, th = 0;
  if (!FittedPreviewSize(info.width, info.height, maxWidth, maxHeight, tw, th)) return false;
  cPictJPEG jpeg;
  if (tw == info.width && th == info.height) {
    if (!window.Seek(0) || !jpeg.Load(&window)) return false;
    destination->TakePixels(&jpeg);
    return true;
  }
  cPictDummy blank;
  if (!blank.CreateBlank(tw, th)) return false;
  sPictCanvas canvas;
  sPictCanvas::FromPicture(canvas, &blank);
  if (!jpeg.AttachCanvas(&canvas)) return false;
  const bool ok = window.Seek(0) && jpeg.Load(&window);
  // The canvas lives on this stack: a decoder that failed before it began
  // its output must not keep it.
  if (jpeg.GetAttachedCanvas() == &canvas) jpeg.DetachCanvas();
  if (!ok) return false;
  destination->TakePixels(&blank);
  return true;
}
