// See gui/theme.h.
#include "gui/theme.h"

#include <cstring>
#include <memory>
#include <new>

cCITheme::cCITheme(const sThemeTables* tables) {
  const sThemeTables none{nullptr, nullptr, nullptr};
  const sThemeTables& t = tables != nullptr ? *tables : none;
  metrics_.Reallocate(kMetricCount * kMetricValues);
  colours_.Reallocate(kColourCount);
  if (t.metrics != nullptr)
    std::memcpy(metrics_.data, t.metrics, sizeof(int32_t) * kMetricCount * kMetricValues);
  else
    std::memset(metrics_.data, 0, sizeof(int32_t) * kMetricCount * kMetricValues);
  if (t.colours != nullptr)
    std::memcpy(colours_.data, t.colours, sizeof(uint32_t) * kColourCount);
  else
    std::memset(colours_.data, 0, sizeof(uint32_t) * kColourCount);
  pictures_.Allocate(kPictureCount);  // 0 x 0, value -1
  if (t.pictures == nullptr) return;
  for (int32_t i = 0; i < kPictureCount; ++i) {
    const sThemePictureEntry& e = t.pictures[i];
    sThemePicture& p = pictures_[i];
    p.width = e.width;
    p.height = e.height;
    p.value = e.value;
    if (e.pixels != nullptr) p.picture.SetPixels(e.pixels, e.width, e.height, false);
  }
}

uint32_t cCITheme::GetColour(int32_t index) const {
  if (index < 0 || index >= colours_.count) tw::ThrowClassbufBounds();
  return colours_.data[index];
}

int32_t cCITheme::GetMetric(uint32_t index, uint32_t valueNo) const {
  if (index >= static_cast<uint32_t>(kMetricCount) || valueNo >= static_cast<uint32_t>(kMetricValues)) return 0;
  const int64_t at = static_cast<int64_t>(index) * kMetricValues + valueNo;
  if (at >= metrics_.count) tw::ThrowClassbufBounds();
  return metrics_.data[at];
}

const sThemePicture* cCITheme::GetPictureEntry(uint32_t index) const {
  if (index >= static_cast<uint32_t>(kPictureCount)) return nullptr;
  if (index >= static_cast<uint32_t>(pictures_.count)) tw::ThrowClassbufBounds();
  return &pictures_.data[index];
}

cPicture* cCITheme::GetPicture(uint32_t index) {
  if (GetPictureEntry(index) == nullptr) return nullptr;
  cPicture& picture = pictures_.data[index].picture;
  return picture.GetPixels() != nullptr ? &picture : nullptr;
}

const uint32_t* cCITheme::GetPictureData(uint32_t index, sPictureSize* size) {
  const sThemePicture* e = GetPictureEntry(index);
  if (e == nullptr) return nullptr;
  if (size != nullptr) *size = sPictureSize{e->width, e->height};
  if (e->width == 1 && e->height == 1) return &e->value;
  return e->picture.GetPixels();
}

namespace {
// Deleted at program exit.
std::unique_ptr<cCITheme> gTheme;
}  // namespace

bool SetTheme(const sThemeTables* tables) {
  gTheme.reset();
  try {
    gTheme = std::make_unique<cCITheme>(tables);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

cCITheme* GetTheme() {
  if (gTheme == nullptr) gTheme = std::make_unique<cCITheme>(&DefaultThemeTables());
  return gTheme.get();
}
