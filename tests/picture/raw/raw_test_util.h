// Helpers of the camera-raw tests: running a decoder over bytes and
// catching the sensor frame its Load developed.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "base/memio.h"
#include "picture/pict_factory.h"
#include "picture/raw/raw_develop.h"

struct sCaughtFrame {
  std::vector<uint16_t> samples;
  int32_t width = 0;
  int32_t height = 0;
};

// Catches the frames of DevelopRaw while it lives.
class cFrameCatcher {
public:
  cFrameCatcher() {
    SetRawFrameHook(
        [](const uint16_t* raw, int32_t w, int32_t h, void* user) {
          auto* f = static_cast<sCaughtFrame*>(user);
          f->width = w;
          f->height = h;
          f->samples.assign(raw, raw + static_cast<size_t>(w) * h);
        },
        &frame);
  }
  ~cFrameCatcher() { SetRawFrameHook(nullptr, nullptr); }
  sCaughtFrame frame;
};

// The factory's answer for the bytes: the decoder it probes (info) or
// loads (no info), null when none.
inline std::unique_ptr<cPictBase> Probe(const std::vector<uint8_t>& bytes, sPictInfo* info) {
  cBufWrapperIO io(bytes.data(), static_cast<uint32_t>(bytes.size()));
  return std::unique_ptr<cPictBase>(CreatePicture(&io, info));
}

inline bool LoadWith(cPictBase& decoder, const std::vector<uint8_t>& bytes) {
  cBufWrapperIO io(bytes.data(), static_cast<uint32_t>(bytes.size()));
  return decoder.Load(&io);
}

inline bool AllOpaque(const cPictBase& p) {
  for (int32_t i = 0; i < p.Pixels64().count; ++i)
    if ((p.Pixels64().data[i] >> 48) != 0xFFFF) return false;
  return p.Pixels64().count > 0;
}
