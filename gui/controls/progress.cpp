// See gui/controls/progress.h.
#include "gui/controls/progress.h"

#include <algorithm>

#include "gui/canvas.h"
#include "gui/theme.h"

namespace {

constexpr int32_t kColourBackground = 14;
constexpr int32_t kColourFrame = 21;
constexpr int32_t kColumnHeight = 20;
constexpr uint8_t kFrameRgb[3] = {241, 213, 198};

struct sRgb {
  uint8_t r, g, b;
};

// The built-in columns, bottom row first.
constexpr sRgb kFilled[kColumnHeight] = {
    {169, 239, 158}, {154, 229, 135}, {151, 227, 131}, {143, 224, 120}, {135, 222, 109},
    {132, 221, 105}, {132, 221, 105}, {132, 221, 105}, {132, 221, 105}, {132, 221, 105},
    {132, 221, 105}, {132, 221, 105}, {132, 221, 105}, {132, 221, 105}, {198, 235, 183},
    {200, 235, 186}, {204, 237, 191}, {213, 239, 204}, {214, 242, 207}, {226, 252, 224}};
constexpr sRgb kEmpty[kColumnHeight] = {
    {243, 241, 240}, {230, 225, 221}, {228, 223, 219}, {226, 221, 217}, {225, 221, 217},
    {224, 220, 216}, {224, 220, 216}, {224, 220, 216}, {224, 220, 216}, {224, 220, 217},
    {224, 220, 217}, {224, 220, 217}, {224, 221, 217}, {225, 221, 218}, {233, 230, 227},
    {235, 232, 228}, {240, 236, 233}, {244, 240, 237}, {250, 247, 243}, {248, 248, 247}};

uint32_t Pixel(uint32_t r, uint32_t g, uint32_t b) { return 0xFF000000u | (r << 16) | (g << 8) | b; }

void FillColumn(const sRgb (&rows)[kColumnHeight], cPicture* column, int32_t height) {
  uint32_t source[kColumnHeight];
  for (int32_t i = 0; i < kColumnHeight; ++i) source[i] = Pixel(rows[i].r, rows[i].g, rows[i].b);
  if (height == kColumnHeight) {
    column->SetPixels(source, 1, kColumnHeight, false);
    return;
  }
  if (height < 1 || !column->Allocate(1, height)) return;
  cPicture::ResampleLine(source, kColumnHeight, 1, column->GetPixels(), height, 1);
}

}  // namespace

// ---- cProgressViewUpdateJob ------------------------------------------------------------

cProgressViewUpdateJob::~cProgressViewUpdateJob() { cJob::Stop(kStopTimeoutMs); }

bool cProgressViewUpdateJob::WaitSlice() {
  for (int32_t i = 0; i < 6; ++i) {
    SleepMs(5);
    if (IsStopRequested()) return false;
  }
  return true;
}

void cProgressViewUpdateJob::Post(int32_t kind, int32_t value, double opacity) {
  if (owner_ == nullptr) return;
  if (kind == 7)
    owner_->PostAction(new cProgressChild::cSetProgressRequestAction(value));
  else
    owner_->PostAction(new cProgressChild::cSetOpacityRequestAction(opacity));
}

int32_t cProgressViewUpdateJob::Run() {
  running_.store(1);
  struct sClear {
    std::atomic<uint8_t>& flag;
    ~sClear() { flag.store(0); }
  } clear{running_};
  int32_t fade = 10;
  while (!IsStopRequested()) {
    if (!WaitSlice()) return 0;
    const int32_t command = command_.load();
    if (command == kCommandNone) continue;
    if (command == kCommandStart) {
      command_.store(kCommandNone);
      while (fade > 0) {
        Post(8, 0, fade / 10.0);
        if (!WaitSlice()) return 0;
        --fade;
        if (command_.load() != kCommandNone) fade = 0;
      }
      Post(8, 0, 0.0);
    } else if (command == kCommandStop) {
      command_.store(kCommandNone);
      while (fade < 10) {
        Post(8, 0, fade / 10.0);
        if (!WaitSlice()) return 0;
        ++fade;
        if (fade > 9 || command_.load() != kCommandNone) fade = 10;
      }
      Post(8, 0, 1.0);
    } else if (command == kCommandValue) {
      command_.store(kCommandNone);
      int32_t target, start;
      {
        cSafeCriticalSectionAccess guard(&fieldLock_);
        target_ = requested_;
        target = target_;
        start = current_;
      }
      // A smaller value glides up from 0 rather than back.
      if (target < start) start = 0;
      if (fade != 0) {
        fade = 0;
        Post(8, 0, 0.0);
      }
      if (target == start) continue;
      const double step = (static_cast<double>(target) - start) / 10.0;
      double v = start;
      for (int32_t i = 0; i < 10; ++i) {
        Post(7, static_cast<int32_t>(v), 0.0);
        if (!WaitSlice()) return 0;
        if (command_.load() != kCommandNone) break;
        v += step;
      }
      Post(7, target, 0.0);
      cSafeCriticalSectionAccess guard(&fieldLock_);
      current_ = target;
    } else {
      command_.store(kCommandNone);
    }
  }
  return 0;
}

void cProgressViewUpdateJob::Start() {
  if (active_.load() != 0) return;
  Post(7, 0, 0.0);
  cSafeCriticalSectionAccess guard(&fieldLock_);
  current_ = 0;
  command_.store(kCommandStart);
  active_.store(1);
}

void cProgressViewUpdateJob::SetValue(int32_t value, bool noWait) {
  Start();
  if (!noWait) {
    // A pending start or stop is taken first; without a running animation
    // thread nobody would take it, so do not wait then, and never for ever.
    for (int32_t waited = 0; waited < kMaxCommandWaitMs && running_.load() != 0 && !IsStopRequested();
         waited += 10) {
      const int32_t command = command_.load();
      if (command == kCommandNone || command == kCommandValue) break;
      SleepMs(10);
    }
  }
  cSafeCriticalSectionAccess guard(&fieldLock_);
  command_.store(kCommandValue);
  requested_ = value;
}

void cProgressViewUpdateJob::Stop(bool immediate) {
  if (active_.load() == 0) return;
  if (!immediate) {
    int32_t maximum;
    {
      cSafeCriticalSectionAccess guard(&fieldLock_);
      maximum = maximum_;
    }
    SetValue(maximum, false);
    for (int32_t i = 0; i < 40 && running_.load() != 0; ++i) {
      if (IsStopRequested()) return;
      SleepMs(5);
    }
  }
  cSafeCriticalSectionAccess guard(&fieldLock_);
  command_.store(kCommandStop);
  active_.store(0);
}

// ---- cProgressChild --------------------------------------------------------------------

cProgressChild::~cProgressChild() {
  // The job posts to this element: its thread ends before anything goes.
  job_.cJob::Stop(cJob::kStopTimeoutMs);
}

int32_t cProgressChild::FillWidth(int32_t value, int32_t maximum, int32_t width) {
  if (maximum < 1) return 0;
  const int64_t v = std::clamp(value, 0, maximum);
  return static_cast<int32_t>(v * width / maximum);
}

void cProgressChild::InitDefaults() {
  cChildElement::InitDefaults();
  job_.owner_ = this;
  if (!job_.IsRunning()) job_.cJob::Start();
  opacity_ = 1.0;
  maximum_ = 0;
  value_ = 0;
  barBackground_ = GetTheme()->GetColour(kColourBackground);
  frameColour_ = GetTheme()->GetColour(kColourFrame);
  RebuildPicture();
}

void cProgressChild::SetRange(int32_t maximum) {
  if (maximum <= 0) return;
  maximum_ = maximum;
  value_ = std::min(value_, maximum_);
  cSafeCriticalSectionAccess guard(&job_.fieldLock_);
  job_.maximum_ = maximum_;
  job_.current_ = value_;
}

void cProgressChild::SetPos(int32_t value, bool noWait) {
  job_.SetValue(std::clamp(value, 0, std::max(maximum_, 0)), noWait);
}

void cProgressChild::SetBackgroundColour(uint32_t colour, bool redraw) {
  barBackground_ = colour & 0xFFFFFF;
  RebuildPicture();
  if (redraw) Invalidate(nullptr);
}

void cProgressChild::RebuildPicture() {
  const int32_t w = GetWidth(), h = GetHeight();
  if (w < 3 || h < 3) return;
  const int32_t fill = FillWidth(value_, maximum_, w);
  if (h != columnHeight_) {
    FillColumn(kFilled, &filledColumn_, h - 2);
    FillColumn(kEmpty, &emptyColumn_, h - 2);
    columnHeight_ = h;
  }
  if (!bar_.Allocate(w, h) || filledColumn_.GetHeight() != h - 2 || emptyColumn_.GetHeight() != h - 2) return;
  uint32_t* px = bar_.GetPixels();
  const uint32_t frame = Pixel(kFrameRgb[0], kFrameRgb[1], kFrameRgb[2]);
  const double a = std::clamp(opacity_, 0.0, 1.0);
  const double bg[3] = {static_cast<double>(barBackground_ & 0xFF), static_cast<double>((barBackground_ >> 8) & 0xFF),
                        static_cast<double>((barBackground_ >> 16) & 0xFF)};
  for (int32_t y = 0; y < h; ++y) {
    uint32_t* row = px + static_cast<int64_t>(y) * w;
    if (y == 0 || y == h - 1) {
      std::fill(row, row + w, frame);
      continue;
    }
    row[0] = row[w - 1] = frame;
    const uint32_t filled = filledColumn_.GetPixels()[y - 1];
    const uint32_t empty = emptyColumn_.GetPixels()[y - 1];
    auto blend = [&](uint32_t c) {
      const double r = static_cast<double>((c >> 16) & 0xFF), g = static_cast<double>((c >> 8) & 0xFF),
                   b = static_cast<double>(c & 0xFF);
      return Pixel(static_cast<uint32_t>((1 - a) * r + a * bg[0]), static_cast<uint32_t>((1 - a) * g + a * bg[1]),
                   static_cast<uint32_t>((1 - a) * b + a * bg[2]));
    };
    const uint32_t filledOut = blend(filled), emptyOut = blend(empty);
    for (int32_t x = 1; x < w - 1; ++x) row[x] = x < fill ? filledOut : emptyOut;
  }
}

void cProgressChild::OnResize() { RebuildPicture(); }

void cProgressChild::Paint(cCanvas* canvas) {
  if (canvas == nullptr) return;
  const int32_t w = GetWidth(), h = GetHeight();
  if (job_.IsAnimating() && w > 2 && h > 2 && job_.IsActive() && bar_.GetWidth() == w && bar_.GetHeight() == h) {
    canvas->DrawPicture(0, 0, &bar_, -1, -1);
    return;
  }
  const sRect all{0, 0, w, h};
  canvas->DrawRect(&all, barBackground_, frameColour_);
}

bool cProgressChild::PaintOwnBg(cCanvas* canvas, const sRect* rect) {
  if (canvas == nullptr) return false;
  const int32_t ox = rect != nullptr ? rect->x : 0, oy = rect != nullptr ? rect->y : 0;
  const int32_t w = GetWidth(), h = GetHeight();
  if (job_.IsAnimating() && w > 2 && h > 2 && job_.IsActive() && bar_.GetWidth() == w && bar_.GetHeight() == h) {
    canvas->DrawPicture(-ox, -oy, &bar_, -1, -1);
  } else {
    const sRect all{-ox, -oy, w, h};
    canvas->DrawRect(&all, barBackground_, GetTheme()->GetColour(kColourFrame));
  }
  return true;
}

bool cProgressChild::OnAction(cChildElement* sender, cChildAction* action) {
  if (sender == this && action != nullptr) {
    if (action->kind == 7) {
      value_ = static_cast<cSetProgressRequestAction*>(action)->value;
      RebuildPicture();
      Invalidate(nullptr);
      return true;
    }
    if (action->kind == 8) {
      opacity_ = static_cast<cSetOpacityRequestAction*>(action)->opacity;
      RebuildPicture();
      Invalidate(nullptr);
      return true;
    }
  }
  return cChildElement::OnAction(sender, action);
}
