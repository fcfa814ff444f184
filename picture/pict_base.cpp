// See pict_base.h.
#include "picture/pict_base.h"

#include <cstring>
#include <new>
#include <utility>

namespace {

// The item count of a width x height picture, or -1 when a side is below 1
// or the count reaches the limit. 64-bit: two 32-bit sides can wrap.
int64_t PixelCount(int32_t width, int32_t height) {
  if (width < 1 || height < 1) return -1;
  const int64_t n = static_cast<int64_t>(width) * height;
  return n < cPictBase::kMaxPixelCount ? n : -1;
}

template <class T>
bool AllocateBuffer(_typebuf<T>& buffer, int32_t width, int32_t height) {
  const int64_t n = PixelCount(width, height);
  if (n < 0) {
    buffer.Reset();
    return false;
  }
  if (buffer.count == n && buffer.data != nullptr) return true;
  try {
    buffer.Reallocate(static_cast<int32_t>(n));
  } catch (const std::bad_alloc&) {
    buffer.Reset();
    return false;
  }
  return buffer.data != nullptr;
}

template <class T>
void FlipRows(T* p, int32_t width, int32_t height) {
  for (int32_t i = 0; i < height / 2; ++i) {
    T* a = p + static_cast<int64_t>(i) * width;
    T* b = p + static_cast<int64_t>(height - 1 - i) * width;
    for (int32_t x = 0; x < width; ++x) std::swap(a[x], b[x]);
  }
}

}  // namespace

bool cStreamGuardProgressTarget::SetProgress(double) { return stream_ != nullptr && stream_->IsOpen(); }

void sPictCanvas::FromPicture(sPictCanvas& canvas, cPictBase* picture) {
  canvas = sPictCanvas{};
  if (picture == nullptr) return;
  canvas.pixels = picture->Pixels32().data;
  canvas.width = picture->GetWidth();
  canvas.height = picture->GetHeight();
}

cPictBase::~cPictBase() {
  FreeAccumulators();
  props_.Clear();
}

uint32_t cPictBase::Channel16To8(uint32_t v) const {
  if (divisor_ == 256.0 && offset_ == 0) return v >> 8;
  const double d = (static_cast<double>(v) + offset_) * (1.0 / divisor_);
  if (!(d > 0.0)) return 0;
  if (d >= 255.0) return 255;
  return static_cast<uint32_t>(d);
}

uint32_t cPictBase::Pixel64To32(uint64_t p) const {
  if (divisor_ == 256.0 && offset_ == 0) {
    return static_cast<uint32_t>((p >> 8) & 0xFF) | static_cast<uint32_t>((p >> 16) & 0xFF00) |
           static_cast<uint32_t>((p >> 24) & 0xFF0000) | static_cast<uint32_t>((p >> 32) & 0xFF000000);
  }
  uint32_t out = 0;
  for (int c = 0; c < 4; ++c) out |= Channel16To8(static_cast<uint32_t>((p >> (16 * c)) & 0xFFFF)) << (8 * c);
  return out;
}

bool cPictBase::HasPixels() const {
  const int64_t n = PixelCount(width_, height_);
  if (n < 0) return false;
  if (highDepth_) return pixels64_.data != nullptr && pixels64_.count == n;
  return pixels32_.data != nullptr && pixels32_.count == n;
}

bool cPictBase::GetPixels32(_typebuf<uint32_t>& out) {
  if (!HasPixels()) return false;
  const int32_t n = highDepth_ ? pixels64_.count : pixels32_.count;
  if (!highDepth_ && out.data == pixels32_.data) return true;  // the picture's own buffer
  _typebuf<uint32_t> fresh;
  try {
    fresh.Reallocate(n);
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (highDepth_) {
    for (int32_t i = 0; i < n; ++i) fresh.data[i] = Pixel64To32(pixels64_.data[i]);
  } else {
    std::memcpy(fresh.data, pixels32_.data, static_cast<size_t>(n) * sizeof(uint32_t));
  }
  out = std::move(fresh);
  return true;
}

int32_t cPictBase::GetImageCount(cFileIOTarget*) { return 1; }

bool cPictBase::GetImageInfo(cFileIOTarget* stream, int32_t index, int32_t& width, int32_t& height) {
  if (index != 0 || stream == nullptr) return false;
  sPictInfo info;
  if (!ReadInfo(stream, &info)) return false;
  width = info.width;
  height = info.height;
  return true;
}

bool cPictBase::LoadImage(cFileIOTarget* stream, int32_t index) {
  if (index != 0) return false;
  return Load(stream);
}

bool cPictBase::LoadImageFitted(cFileIOTarget* stream, cPictBase* destination, int32_t maxWidth,
                                int32_t maxHeight, int32_t index, bool allowFullDecode, uint32_t background) {
  if (index != 0 || stream == nullptr) return false;
  sPictInfo info;
  if (!stream->Seek(0) || !ReadInfo(stream, &info)) return false;
  stream->Seek(0);
  return LoadFitted(info, this, stream, destination, maxWidth, maxHeight, allowFullDecode, background) == 0;
}

bool cPictBase::LoadPreview(cFileIOTarget*, cPictBase*, int32_t&, int32_t&) { return false; }

bool cPictBase::DetachPixels32(_typebuf<uint32_t>& out) {
  if (!HasPixels()) return false;
  if (highDepth_) {
    if (!GetPixels32(out)) return false;
    pixels64_.Reset();
  } else {
    std::swap(pixels32_.data, out.data);
    std::swap(pixels32_.count, out.count);
  }
  pixels32_.Reset();
  width_ = 0;
  height_ = 0;
  return true;
}

void cPictBase::TakePixels(cPictBase* source) {
  if (source == nullptr || source == this) return;
  width_ = source->width_;
  height_ = source->height_;
  highDepth_ = source->highDepth_;
  if (source->highDepth_) {
    divisor_ = source->divisor_;
    offset_ = source->offset_;
    std::swap(pixels64_.data, source->pixels64_.data);
    std::swap(pixels64_.count, source->pixels64_.count);
  } else {
    std::swap(pixels32_.data, source->pixels32_.data);
    std::swap(pixels32_.count, source->pixels32_.count);
  }
  source->pixels32_.Reset();
  source->pixels64_.Reset();
}

void cPictBase::ReleasePixels() {
  pixels32_.Reset();
  pixels64_.Reset();
  width_ = 0;
  height_ = 0;
}

bool cPictBase::AllocatePixels32(int32_t width, int32_t height) {
  width_ = width;
  height_ = height;
  highDepth_ = false;
  pixels64_.Reset();
  return AllocateBuffer(pixels32_, width, height);
}

bool cPictBase::AllocatePixels64(int32_t width, int32_t height) {
  width_ = width;
  height_ = height;
  highDepth_ = true;
  pixels32_.Reset();
  return AllocateBuffer(pixels64_, width, height);
}

bool cPictBase::CreateBlank(int32_t width, int32_t height) {
  if (!AllocatePixels32(width, height)) return false;
  std::memset(pixels32_.data, 0, static_cast<size_t>(pixels32_.count) * sizeof(uint32_t));
  return true;
}

bool cPictBase::FlipVertical() {
  if (!HasPixels()) return false;
  if (highDepth_) {
    FlipRows(pixels64_.data, width_, height_);
  } else {
    FlipRows(pixels32_.data, width_, height_);
  }
  return true;
}

cPictProp* cPictBase::GetOrAddProp(int32_t id, bool create) {
  const int32_t kind = cPictProp::KindOfId(id);
  if (kind < 0) return nullptr;
  cPictProp* found = props_.Find(id);
  if (found != nullptr || !create) return found;
  return props_.Insert(id, cPictProp::Create(kind));
}

cPictPropString* cPictBase::FindStringProp(int32_t id) {
  cPictProp* p = props_.Find(id);
  return p != nullptr && p->GetType() == kPropString ? static_cast<cPictPropString*>(p) : nullptr;
}

cPictPropInt* cPictBase::FindIntProp(int32_t id) {
  cPictProp* p = props_.Find(id);
  return p != nullptr && p->GetType() == kPropInt ? static_cast<cPictPropInt*>(p) : nullptr;
}

cPictPropImage* cPictBase::FindThumbnailProp() {
  cPictProp* p = props_.Find(kPropIdThumbnail);
  return p != nullptr && p->GetType() == kPropImage ? static_cast<cPictPropImage*>(p) : nullptr;
}
