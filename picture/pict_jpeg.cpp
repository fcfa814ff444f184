// See pict_jpeg.h.
#include "picture/pict_jpeg.h"

#include <cstring>

#include "base/memio.h"
#include "picture/exif.h"

bool cPictJPEG::RunParse(cFileIOTarget* stream, int32_t mode) {
  mode_ = mode;
  frameReached_ = false;
  streaming_ = false;
  bool ok;
  try {
    ok = ParseMarkers(stream);
  } catch (...) {
    ok = false;
  }
  if (streaming_) {
    EndCanvasOutput();
    streaming_ = false;
  }
  return ok;
}

bool cPictJPEG::ReadInfo(cFileIOTarget* stream, sPictInfo* info) {
  RunParse(stream, kModeInfo);
  if (!frameReached_) return false;
  if (info != nullptr) {
    info->width = FrameWidth();
    info->height = FrameHeight();
    info->hasPreview = FindThumbnailProp() != nullptr;
  }
  return true;
}

// A stream of tables only (SOI, tables, EOI) is well formed but holds no
// picture: without a frame the load fails, whatever an earlier load left.
bool cPictJPEG::Load(cFileIOTarget* stream) { return RunParse(stream, kModeLoad) && frameReached_; }

bool cPictJPEG::LoadPreview(cFileIOTarget* stream, cPictBase* destination, int32_t&, int32_t&) {
  RunParse(stream, kModeThumbnail);
  cPictPropImage* prop = FindThumbnailProp();
  if (prop == nullptr || destination == nullptr) return false;
  cPictBase* thumbnail = prop->GetPicture();
  if (thumbnail == nullptr || !thumbnail->HasPixels() || thumbnail->IsHighDepth()) return false;
  destination->TakePixels(thumbnail);
  return destination->HasPixels();
}

bool cPictJPEG::Detect(cFileIOTarget* stream, sPictInfo* info) {
  cPictJPEG probe;
  return probe.ReadInfo(stream, info);
}

bool cPictJPEG::PlausibleEmbeddedSize(cFileIOTarget* stream, uint64_t count) {
  cPictJPEG probe;
  probe.SetDecodeThumbnails(false);
  sPictInfo info;
  if (stream == nullptr || !stream->Seek(0) || !probe.ReadInfo(stream, &info)) return false;
  stream->Seek(0);
  const uint64_t pixels = static_cast<uint64_t>(info.width) * static_cast<uint64_t>(info.height);
  return pixels <= count * 256 + 4096;
}

bool cPictJPEG::OnExif(const uint8_t* data, uint32_t count) {
  // Start reads the header with the walker's own reader (the decoder's
  // ReadHeader override refuses); a failing block ends the parse.
  cBufWrapperIO io(data, count);
  cExifDecoder exif;
  exif.SetDecodeThumbnail(mode_ != kModeInfo && GetDecodeThumbnails());
  return exif.Start(this, &io, cExifDecoder::kIfd0);
}

bool cPictJPEG::OnFrame() {
  frameReached_ = true;
  if (mode_ == kModeInfo || mode_ == kModeThumbnail) return false;
  if (mode_ != kModeLoad) return true;
  const int32_t w = FrameWidth(), h = FrameHeight();
  const bool deep = Precision() > 8;
  SetHighDepth(deep);
  SetSize(w, h);
  if (BeginCanvasOutput()) {
    streaming_ = true;
    return true;
  }
  const int64_t n = static_cast<int64_t>(w) * h;
  if (deep) {
    const bool reuse = Pixels64().count == n;
    if (!AllocatePixels64(w, h)) return false;
    if (!reuse) std::memset(Pixels64().data, 0, static_cast<size_t>(n) * sizeof(uint64_t));
  } else {
    const bool reuse = Pixels32().count == n;
    if (!AllocatePixels32(w, h)) return false;
    if (!reuse) std::memset(Pixels32().data, 0, static_cast<size_t>(n) * sizeof(uint32_t));
  }
  return true;
}

bool cPictJPEG::DecodeLosslessScan() {
  // A plain picture is decoded with predictor 1 and without point transform
  // or subsampling only: anything else would come out silently wrong.
  if (ScanSs() != 1 || ScanAl() != 0) return false;
  for (int32_t i = 0; i < ComponentCount(); ++i)
    if (components_.data[i].h != 1 || components_.data[i].v != 1) return false;
  return cJPEGParser::DecodeLosslessScan();
}

bool cPictJPEG::OnMcu(int32_t column, int32_t row, sJpegBlock* const* blocks, int32_t count) {
  if (mode_ != kModeLoad) return true;
  const int32_t w = GetWidth(), h = GetHeight();
  const int32_t mw = MaxH() * 8, mh = MaxV() * 8;
  const int64_t x0 = static_cast<int64_t>(column) * mw, y0 = static_cast<int64_t>(row) * mh;
  if (x0 >= w || y0 >= h) return false;
  const int32_t x = static_cast<int32_t>(x0), y = static_cast<int32_t>(y0);
  int32_t rows = h - y < mh ? h - y : mh;
  int32_t columns = w - x;
  if (rowPointers_.count < mh) rowPointers_.Reallocate(mh);
  if (!streaming_) {
    if (IsHighDepth() || !HasPixels()) return false;
    uint32_t* pixels = Pixels32().data;
    for (int32_t k = 0; k < rows; ++k) rowPointers_.data[k] = pixels + static_cast<int64_t>(h - 1 - y - k) * w + x;
    return OutputMcu(blocks, count, rowPointers_.data, columns, rows);
  }
  // Canvas: the MCU is converted into a region buffer and put pixel by
  // pixel, unless it lies wholly outside the clip.
  if (!IsInsideClip(x, h - y - rows, h - 1 - y)) return true;
  if (row32_.count < mw * mh) row32_.Reallocate(mw * mh);
  for (int32_t k = 0; k < mh; ++k) rowPointers_.data[k] = row32_.data + k * mw;
  if (!OutputMcu(blocks, count, rowPointers_.data, columns, rows)) return false;
  for (int32_t k = 0; k < rows; ++k) {
    const uint32_t* src = rowPointers_.data[k];
    for (int32_t i = 0; i < columns; ++i) PutCanvasPixel(x + i, h - 1 - y - k, src[i] | 0xFF000000u);
  }
  return true;
}

bool cPictJPEG::OnLosslessRow(const uint16_t* const* rows, int32_t y, int32_t width) {
  if (mode_ != kModeLoad) return true;
  const int32_t w = GetWidth(), h = GetHeight();
  if (y < 0 || y >= h || width > w) return false;
  const int32_t r = h - 1 - y;
  const bool deep = Precision() > 8;
  const int32_t nf = ComponentCount();
  const uint8_t* bytes[256];
  for (int32_t i = 0; i < nf && i < 256; ++i) bytes[i] = reinterpret_cast<const uint8_t*>(rows[i]);
  if (!streaming_) {
    if (!HasPixels()) return false;
    if (deep) return WriteRow16(rows, Pixels64().data + static_cast<int64_t>(r) * w, width);
    return WriteRow(bytes, Pixels32().data + static_cast<int64_t>(r) * w, width, 1);
  }
  if (!IsInsideClip(0, r, r)) return true;
  if (deep) {
    if (row64_.count < width) row64_.Reallocate(width);
    if (!WriteRow16(rows, row64_.data, width)) return false;
    for (int32_t i = 0; i < width; ++i) PutCanvasPixel64(i, r, row64_.data[i] | uint64_t{0xFFFF} << 48);
  } else {
    if (row32_.count < width) row32_.Reallocate(width);
    if (!WriteRow(bytes, row32_.data, width, 1)) return false;
    for (int32_t i = 0; i < width; ++i) PutCanvasPixel(i, r, row32_.data[i] | 0xFF000000u);
  }
  return true;
}
