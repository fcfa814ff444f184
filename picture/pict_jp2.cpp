// See pict_jp2.h.
#include "picture/pict_jp2.h"

#include <openjpeg.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

namespace {

// The library's view of a cJP2FileIOTarget: the stream and the position it
// was left at (cFileIOTarget has no position query).
struct sJP2Source {
  cJP2FileIOTarget* io = nullptr;
  uint64_t position = 0;
  uint64_t size = 0;
};

OPJ_SIZE_T ReadCallback(void* buffer, OPJ_SIZE_T count, void* user) {
  auto* s = static_cast<sJP2Source*>(user);
  OPJ_SIZE_T done = 0;
  auto* out = static_cast<uint8_t*>(buffer);
  while (done < count) {
    const OPJ_SIZE_T left = count - done;
    const uint32_t chunk = left > 0x7FFFFFFFu ? 0x7FFFFFFFu : static_cast<uint32_t>(left);
    const uint32_t got = s->io->Read(out + done, chunk);
    if (got == 0) break;
    done += got;
    s->position += got;
  }
  // The library takes (size_t)-1 as the end of the stream.
  return done == 0 ? static_cast<OPJ_SIZE_T>(-1) : done;
}

OPJ_OFF_T SkipCallback(OPJ_OFF_T count, void* user) {
  auto* s = static_cast<sJP2Source*>(user);
  if (count < 0) {
    const uint64_t back = static_cast<uint64_t>(-(count + 1)) + 1;
    if (back > s->position || !s->io->Seek(s->position - back)) return -1;
    s->position -= back;
    return count;
  }
  const uint64_t left = s->size - (s->position < s->size ? s->position : s->size);
  const uint64_t step = static_cast<uint64_t>(count) < left ? static_cast<uint64_t>(count) : left;
  if (count > 0 && step == 0) return -1;
  if (!s->io->Seek(s->position + step)) return -1;
  s->position += step;
  return static_cast<OPJ_OFF_T>(step);
}

OPJ_BOOL SeekCallback(OPJ_OFF_T position, void* user) {
  auto* s = static_cast<sJP2Source*>(user);
  if (position < 0 || static_cast<uint64_t>(position) > s->size) return OPJ_FALSE;
  if (!s->io->Seek(static_cast<uint64_t>(position))) return OPJ_FALSE;
  s->position = static_cast<uint64_t>(position);
  return OPJ_TRUE;
}

// Everything one call builds, freed in reverse order whatever the path.
struct sJP2Session {
  explicit sJP2Session(cFileIOTarget* stream) : io(stream) {
    source.io = &io;
    source.size = io.GetSize();
  }
  ~sJP2Session() {
    if (image != nullptr) opj_image_destroy(image);
    if (codec != nullptr) opj_destroy_codec(codec);
    if (libStream != nullptr) opj_stream_destroy(libStream);
  }
  sJP2Session(const sJP2Session&) = delete;
  sJP2Session& operator=(const sJP2Session&) = delete;

  // The decompressor and the library's stream; then the header.
  bool ReadHeader(int32_t format) {
    codec = opj_create_decompress(static_cast<OPJ_CODEC_FORMAT>(format));
    libStream = opj_stream_create(cJP2FileIOTarget::kBufferSize, OPJ_TRUE);
    if (codec == nullptr || libStream == nullptr) return false;
    opj_stream_set_user_data(libStream, &source, nullptr);
    opj_stream_set_user_data_length(libStream, source.size);
    opj_stream_set_read_function(libStream, &ReadCallback);
    opj_stream_set_skip_function(libStream, &SkipCallback);
    opj_stream_set_seek_function(libStream, &SeekCallback);
    return opj_read_header(libStream, codec, &image) == OPJ_TRUE && image != nullptr;
  }

  cJP2FileIOTarget io;
  sJP2Source source;
  opj_codec_t* codec = nullptr;
  opj_stream_t* libStream = nullptr;
  opj_image_t* image = nullptr;
};

bool AreaSize(const opj_image_t* image, int32_t& width, int32_t& height) {
  if (image->x1 <= image->x0 || image->y1 <= image->y0) return false;
  const uint32_t w = image->x1 - image->x0, h = image->y1 - image->y0;
  if (w > 0x7FFFFFFFu || h > 0x7FFFFFFFu) return false;
  width = static_cast<int32_t>(w);
  height = static_cast<int32_t>(h);
  return true;
}

// ---- Output ----

constexpr uint32_t kDefaultLabMark = 0x44454600;  // "DEF": no range and offset in the box

enum class eSpace { kOther, kSycc, kCmyk, kLab };

struct sLabAxis {
  double min = 0;
  double step = 0;
};

// Where output column x (or row) of a picture with origin 'origin' falls in
// a component subsampled by 'd' whose first sample sits at 'first' (in its
// own coordinates), within its 'count' samples. With the origin a multiple
// of d this is x / d; an odd origin would otherwise point before the first
// or past the last sample.
inline uint32_t SampleIndex(uint32_t origin, uint32_t x, uint32_t d, uint32_t first, uint32_t count) {
  const uint64_t grid = (static_cast<uint64_t>(origin) + x) / d;
  if (grid <= first) return 0;
  const uint64_t i = grid - first;
  return i >= count ? count - 1 : static_cast<uint32_t>(i);
}

inline uint32_t Clamp255(int64_t v) { return v < 0 ? 0 : (v > 255 ? 255 : static_cast<uint32_t>(v)); }

inline uint32_t LabToRgb(double L, double a, double b) {
  const double fy = (L + 16) * 0.0086206896551724;
  const double fx = fy + a * 0.002;
  const double fz = fy - b * 0.005;
  auto inv = [](double f) { return f > 0.2068965517241379 ? f * f * f : (f - 0.1379310344827586) * 0.1284185493460166; };
  const double X = inv(fx) * 235.875, Y = inv(fy) * 255, Z = inv(fz) * 266.03895;
  auto out = [](double v) {
    v += 0.5;
    if (!(v > 0)) return 0u;  // NaN too
    if (v >= 255) return 255u;
    return static_cast<uint32_t>(v);
  };
  const uint32_t R = out(3.240479 * X - 1.53715 * Y - 0.498535 * Z);
  const uint32_t G = out(-0.969256 * X + 1.875992 * Y + 0.041556 * Z);
  const uint32_t B = out(0.055648 * X - 0.204043 * Y + 1.057311 * Z);
  return R << 16 | G << 8 | B;
}

}  // namespace

cJP2FileIOTarget::cJP2FileIOTarget(cFileIOTarget* source) : cMemBufferedIO(source, kBufferSize) {}

cJP2FileIOTarget::~cJP2FileIOTarget() = default;

bool cPictJP2Base::StoreDecodedImage(cPictJP2Base* picture, opj_image* image) {
  if (picture == nullptr || image == nullptr) return false;
  const uint32_t n = image->numcomps;
  if (image->x1 == 0 || image->y1 == 0 || n == 0 || image->comps == nullptr) return false;
  int32_t width, height;
  if (!AreaSize(image, width, height)) return false;
  const opj_image_comp_t* comps = image->comps;
  const uint32_t p0 = comps[0].prec;
  if (p0 < 8 || p0 > 31) return false;
  const uint32_t shift = p0 - 8;

  picture->SetSize(width, height);
  const bool streaming = picture->BeginCanvasOutput();
  if (!streaming && !picture->AllocatePixels32(width, height)) return false;

  // The body may refuse; streaming output ends in every case.
  auto body = [&]() -> bool {
    if (n == 2 || n > 4) return false;
    for (uint32_t c = 0; c < n; ++c)
      if (comps[c].data == nullptr || comps[c].w == 0 || comps[c].h == 0 || comps[c].dx == 0 || comps[c].dy == 0)
        return false;

    eSpace space = eSpace::kOther;
    uint32_t* lab = nullptr;
    if (image->color_space == OPJ_CLRSPC_SYCC) {
      space = eSpace::kSycc;
    } else if (image->color_space == OPJ_CLRSPC_CMYK) {
      space = eSpace::kCmyk;
    } else if (image->icc_profile_buf != nullptr && image->icc_profile_len == 0) {
      lab = reinterpret_cast<uint32_t*>(image->icc_profile_buf);
      if (lab[0] == 14) space = eSpace::kLab;
    }
    sLabAxis axes[3];
    if (space == eSpace::kLab) {
      if (n < 3) return false;
      const uint32_t p1 = comps[1].prec, p2 = comps[2].prec;
      if (p1 == 0 || p1 > 31 || p2 < 3 || p2 > 31 || comps[0].prec > 31) return false;
      if (lab[1] == kDefaultLabMark) {
        lab[2] = 100;
        lab[3] = 0;
        lab[4] = 170;
        lab[5] = static_cast<uint32_t>(std::ldexp(1.0, static_cast<int>(p1) - 1));
        lab[6] = 200;
        lab[7] = static_cast<uint32_t>(std::ldexp(1.0, static_cast<int>(p2) - 2) +
                                       std::ldexp(1.0, static_cast<int>(p2) - 3));
      }
      for (int k = 0; k < 3; ++k) {
        const double range = lab[2 + 2 * k], offset = lab[3 + 2 * k];
        const double levels = std::ldexp(1.0, static_cast<int>(comps[k].prec)) - 1;
        axes[k].min = -(offset * range) / levels;
        axes[k].step = ((axes[k].min + range) - axes[k].min) / levels;
      }
    }
    if (n == 3 && space == eSpace::kCmyk) space = eSpace::kOther;
    if (n == 4 && space == eSpace::kSycc) space = eSpace::kOther;
    if (n == 1) space = eSpace::kOther;

    const double maxValue = std::ldexp(1.0, static_cast<int>(p0)) - 1;
    const int32_t half = static_cast<int32_t>(1u << (p0 - 1));
    const uint32_t ox = image->x0, oy = image->y0;
    uint32_t rowBase[4];
    uint32_t* pixels = streaming ? nullptr : picture->Pixels32().data;
    for (int32_t y = 0; y < height; ++y) {
      for (uint32_t c = 0; c < n; ++c)
        rowBase[c] = SampleIndex(oy, static_cast<uint32_t>(y), comps[c].dy, comps[c].y0, comps[c].h) * comps[c].w;
      const int32_t outRow = height - 1 - y;
      uint32_t* dst = pixels != nullptr ? pixels + static_cast<int64_t>(outRow) * width : nullptr;
      for (int32_t x = 0; x < width; ++x) {
        int32_t v[4];
        for (uint32_t c = 0; c < n; ++c)
          v[c] = comps[c].data[rowBase[c] + SampleIndex(ox, static_cast<uint32_t>(x), comps[c].dx, comps[c].x0,
                                                        comps[c].w)];
        uint32_t pixel;
        if (n == 1) {
          pixel = 0xFF000000u | ((static_cast<uint32_t>(v[0] >> shift) & 0xFF) * 0x010101u);
        } else if (space == eSpace::kSycc) {
          const float cb = static_cast<float>(v[1] - half), cr = static_cast<float>(v[2] - half);
          const int64_t r = v[0] + static_cast<int64_t>(1.402f * cr);
          const int64_t g = v[0] - static_cast<int64_t>(0.34414f * cb + 0.71414f * cr);
          const int64_t b = v[0] + static_cast<int64_t>(1.772f * cb);
          pixel = 0xFF000000u | Clamp255(r >> shift) << 16 | Clamp255(g >> shift) << 8 | Clamp255(b >> shift);
        } else if (space == eSpace::kLab) {
          pixel = LabToRgb(axes[0].min + v[0] * axes[0].step, axes[1].min + v[1] * axes[1].step,
                           axes[2].min + v[2] * axes[2].step);
          pixel |= n == 4 ? (static_cast<uint32_t>(v[3] >> shift) & 0xFF) << 24 : 0xFF000000u;
        } else if (space == eSpace::kCmyk) {
          const auto maxU = static_cast<uint32_t>(maxValue);
          const double k = static_cast<uint32_t>(maxU - static_cast<uint32_t>(v[3])) / maxValue;
          auto channel = [&](int32_t s) {
            const double t = 255.0 * (static_cast<uint32_t>(maxU - static_cast<uint32_t>(s)) / maxValue) * k;
            // A sample above the maximum wraps to a huge difference: keep it
            // in range instead of converting an out-of-range double.
            return t >= 255.0 ? 255u : static_cast<uint32_t>(t);
          };
          pixel = 0xFF000000u | channel(v[0]) << 16 | channel(v[1]) << 8 | channel(v[2]);
        } else {
          pixel = (static_cast<uint32_t>(v[0] >> shift) & 0xFF) << 16 |
                  (static_cast<uint32_t>(v[1] >> shift) & 0xFF) << 8 | (static_cast<uint32_t>(v[2] >> shift) & 0xFF);
          pixel |= n == 4 ? (static_cast<uint32_t>(v[3] >> shift) & 0xFF) << 24 : 0xFF000000u;
        }
        if (dst != nullptr)
          dst[x] = pixel;
        else
          picture->PutCanvasPixel(x, outRow, pixel);
      }
    }
    return true;
  };
  const bool ok = body();
  if (streaming) picture->EndCanvasOutput();
  return ok;
}

bool cPictJP2Base::ReadHeaderInfo(cFileIOTarget* stream, sPictInfo* info, int32_t codec) {
  if (stream == nullptr) return false;
  try {
    sJP2Session session(stream);
    if (!session.ReadHeader(codec)) return false;
    if (info != nullptr) {
      int32_t w = 0, h = 0;
      if (!AreaSize(session.image, w, h)) return false;
      info->width = w;
      info->height = h;
      info->hasPreview = false;
    }
    return true;
  } catch (...) {
    return false;
  }
}

bool cPictJP2Base::LoadWithCodec(cFileIOTarget* stream, int32_t codec, bool setDecodeArea) {
  if (stream == nullptr) return false;
  try {
    sJP2Session session(stream);
    if (!session.ReadHeader(codec)) return false;
    opj_image_t* image = session.image;
    int32_t w, h;
    if (!AreaSize(image, w, h) || static_cast<int64_t>(w) * h >= kMaxPixelCount) return false;
    if (setDecodeArea && !opj_set_decode_area(session.codec, image, static_cast<OPJ_INT32>(image->x0),
                                              static_cast<OPJ_INT32>(image->y0), static_cast<OPJ_INT32>(image->x1),
                                              static_cast<OPJ_INT32>(image->y1)))
      return false;
    if (!opj_decode(session.codec, session.libStream, image)) return false;
    return StoreDecodedImage(this, image);
  } catch (...) {
    return false;
  }
}

bool cPictJP2::ReadInfo(cFileIOTarget* stream, sPictInfo* info) { return ReadHeaderInfo(stream, info, OPJ_CODEC_JP2); }

bool cPictJP2::Load(cFileIOTarget* stream) { return LoadWithCodec(stream, OPJ_CODEC_JP2, true); }

bool cPictJP2::Detect(cFileIOTarget* stream, sPictInfo* info) {
  cPictJP2 probe;
  return probe.ReadInfo(stream, info);
}

bool cPictJ2K::ReadInfo(cFileIOTarget* stream, sPictInfo* info) { return ReadHeaderInfo(stream, info, OPJ_CODEC_J2K); }

bool cPictJ2K::Load(cFileIOTarget* stream) { return LoadWithCodec(stream, OPJ_CODEC_J2K, false); }

bool cPictJ2K::Detect(cFileIOTarget* stream, sPictInfo* info) {
  cPictJ2K probe;
  return probe.ReadInfo(stream, info);
}
