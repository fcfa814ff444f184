// See pict_icns.h.
#include "picture/pict_icns.h"

#include <cstring>
#include <memory>

#include "base/memio.h"
#include "picture/pict_jp2.h"
#include "picture/pict_png.h"

namespace {

constexpr uint32_t Tag(const char (&s)[5]) {
  return static_cast<uint32_t>(static_cast<uint8_t>(s[0])) << 24 |
         static_cast<uint32_t>(static_cast<uint8_t>(s[1])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(s[2])) << 8 | static_cast<uint8_t>(s[3]);
}

uint32_t Be32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 |
         p[3];
}

constexpr uint32_t kHeaderSize = 8;
// A smaller total length cannot hold one element header.
constexpr uint32_t kMinTotalLength = 16;

// The classic element types. length 0: any length (24-bit, raw when it is
// 8 + width * height * 3, else run-length coded). mask: the element type
// that may follow with an 8-bit mask of maskBytes; ICN# holds its own 1-bit
// mask, and the 48 x 48 types also take the 1-bit mask plane of ich#.
struct sClassic {
  uint32_t type;
  int32_t size;
  int32_t bits;
  uint32_t length;
  uint32_t mask;
  uint32_t maskBytes;
};

constexpr sClassic kClassic[] = {
    {Tag("ICON"), 32, 1, 136, 0, 0},
    {Tag("ICN#"), 32, 1, 264, 0, 0},
    {Tag("ics4"), 16, 4, 136, Tag("s8mk"), 256},
    {Tag("icl4"), 32, 4, 520, Tag("l8mk"), 1024},
    {Tag("ich4"), 48, 4, 1160, Tag("h8mk"), 2304},
    {Tag("ics8"), 16, 8, 264, Tag("s8mk"), 256},
    {Tag("icl8"), 32, 8, 1032, Tag("l8mk"), 1024},
    {Tag("ich8"), 48, 8, 2312, Tag("h8mk"), 2304},
    {Tag("is32"), 16, 24, 0, Tag("s8mk"), 256},
    {Tag("il32"), 32, 24, 0, Tag("l8mk"), 1024},
    {Tag("ih32"), 48, 24, 0, Tag("h8mk"), 2304},
    {Tag("it32"), 128, 24, 0, Tag("t8mk"), 16384},
};

constexpr uint32_t kEmbedded[] = {Tag("ic07"), Tag("ic08"), Tag("ic09"), Tag("ic10"), Tag("ic11"), Tag("ic12"),
                                  Tag("ic13"), Tag("ic14"), Tag("icp4"), Tag("icp5"), Tag("icp6")};

const sClassic* FindClassic(uint32_t type) {
  for (const sClassic& c : kClassic)
    if (c.type == type) return &c;
  return nullptr;
}

bool IsEmbedded(uint32_t type) {
  for (uint32_t t : kEmbedded)
    if (t == type) return true;
  return false;
}

// The Mac OS 16-colour system palette: white, yellow, orange, red, magenta,
// purple, blue, cyan, green, dark green, brown, tan, light, medium and dark
// grey, black.
constexpr uint32_t kPalette16[16] = {0xFFFFFF, 0xFCF305, 0xFF6402, 0xDD0806, 0xF20884, 0x4600A5,
                                     0x0000D4, 0x02ABEA, 0x1FB714, 0x006411, 0x562C05, 0x90713A,
                                     0xC0C0C0, 0x808080, 0x404040, 0x000000};

// The Mac OS 256-colour system palette: the 6 x 6 x 6 cube without black,
// then ramps of red, green, blue and grey, then black.
struct sPalette256 {
  uint32_t c[256];
  constexpr sPalette256() : c() {
    constexpr uint32_t cube[6] = {0xFF, 0xCC, 0x99, 0x66, 0x33, 0x00};
    constexpr uint32_t ramp[10] = {0xEE, 0xDD, 0xBB, 0xAA, 0x88, 0x77, 0x55, 0x44, 0x22, 0x11};
    int n = 0;
    for (int r = 0; r < 6; ++r)
      for (int g = 0; g < 6; ++g)
        for (int b = 0; b < 6; ++b)
          if (n < 215) c[n++] = cube[r] << 16 | cube[g] << 8 | cube[b];
    for (int i = 0; i < 10; ++i) c[215 + i] = ramp[i] << 16;
    for (int i = 0; i < 10; ++i) c[225 + i] = ramp[i] << 8;
    for (int i = 0; i < 10; ++i) c[235 + i] = ramp[i];
    for (int i = 0; i < 10; ++i) c[245 + i] = ramp[i] * 0x010101u;
    c[255] = 0;
  }
};
constexpr sPalette256 kPalette256;

// The embedded image's kind and size from the first probe that accepts it:
// PNG, then a JP2 file, then a JPEG 2000 codestream.
enum class eEmbedded { kNone, kPng, kJp2, kJ2k };

// A JP2 file: the signature box, then the image header box (inside the
// header superbox) gives the size.
bool ProbeJp2(cFileIOTarget* window, int32_t& w, int32_t& h) {
  static constexpr uint8_t kSignature[12] = {0, 0, 0, 12, 'j', 'P', ' ', ' ', 0x0D, 0x0A, 0x87, 0x0A};
  uint8_t sig[12];
  if (!window->Seek(0) || !window->ReadExact(sig, 12) || std::memcmp(sig, kSignature, 12) != 0) return false;
  const uint64_t size = window->GetSize();
  uint64_t at = 12, end = size;
  for (int guard = 0; guard < 64 && at + 8 <= end; ++guard) {
    uint8_t box[8];
    if (!window->Seek(at) || !window->ReadExact(box, 8)) return false;
    uint64_t length = Be32(box);
    const uint32_t type = Be32(box + 4);
    uint64_t headerLength = 8;
    if (length == 1) {
      uint8_t xl[8];
      if (!window->ReadExact(xl, 8)) return false;
      length = uint64_t{Be32(xl)} << 32 | Be32(xl + 4);
      headerLength = 16;
    } else if (length == 0) {
      length = end - at;
    }
    if (length < headerLength || length > end - at) return false;
    if (type == Tag("jp2h")) {
      // Into the superbox.
      end = at + length;
      at += headerLength;
      continue;
    }
    if (type == Tag("ihdr")) {
      uint8_t ihdr[8];
      if (length < headerLength + 8 || !window->ReadExact(ihdr, 8)) return false;
      const uint32_t hh = Be32(ihdr), ww = Be32(ihdr + 4);
      if (ww == 0 || hh == 0 || ww > 0x7FFFFFFFu || hh > 0x7FFFFFFFu) return false;
      w = static_cast<int32_t>(ww);
      h = static_cast<int32_t>(hh);
      return true;
    }
    at += length;
  }
  return false;
}

// A codestream: SOC, then SIZ with the reference grid and the image offset.
bool ProbeJ2k(cFileIOTarget* window, int32_t& w, int32_t& h) {
  uint8_t s[24];
  if (!window->Seek(0) || !window->ReadExact(s, 24)) return false;
  if (s[0] != 0xFF || s[1] != 0x4F || s[2] != 0xFF || s[3] != 0x51) return false;
  const uint32_t xs = Be32(s + 8), ys = Be32(s + 12), xo = Be32(s + 16), yo = Be32(s + 20);
  if (xo >= xs || yo >= ys || xs - xo > 0x7FFFFFFFu || ys - yo > 0x7FFFFFFFu) return false;
  w = static_cast<int32_t>(xs - xo);
  h = static_cast<int32_t>(ys - yo);
  return true;
}

eEmbedded ProbeEmbedded(cFileIOTarget* window, int32_t& w, int32_t& h) {
  sPictInfo info;
  window->Seek(0);
  if (cPictPNG::Detect(window, &info)) {
    w = info.width;
    h = info.height;
    return eEmbedded::kPng;
  }
  if (ProbeJp2(window, w, h)) return eEmbedded::kJp2;
  if (ProbeJ2k(window, w, h)) return eEmbedded::kJ2k;
  return eEmbedded::kNone;
}

// The walk over the elements. Visit(offset, length, type) answers false to
// stop early (the walk then counts as clean).
template <class F>
bool Walk(cFileIOTarget* stream, F&& visit) {
  uint8_t h[kHeaderSize];
  if (stream == nullptr || !stream->Seek(0) || !stream->ReadExact(h, kHeaderSize)) return false;
  if (Be32(h) != Tag("icns")) return false;
  const uint64_t total = Be32(h + 4);
  if (total < kMinTotalLength) return false;
  uint64_t offset = kHeaderSize;
  while (offset < total) {
    uint8_t e[kHeaderSize];
    if (!stream->Seek(offset) || !stream->ReadExact(e, kHeaderSize)) return false;
    const uint64_t length = Be32(e + 4);
    // A length below the header's own would make the next offset go back
    // or stand still.
    if (length < kHeaderSize || offset + length > total) return false;
    if (!visit(static_cast<uint32_t>(offset), static_cast<uint32_t>(length), Be32(e))) return true;
    offset += length;
  }
  return true;
}

// The size of a usable element; false for an element that is not usable.
bool ElementSize(cFileIOTarget* stream, uint32_t offset, uint32_t length, uint32_t type, int32_t& w, int32_t& h) {
  if (const sClassic* c = FindClassic(type)) {
    w = h = c->size;
    return true;
  }
  if (!IsEmbedded(type)) return false;
  cFileIOSubRange window(stream, uint64_t{offset} + kHeaderSize, length - kHeaderSize);
  return ProbeEmbedded(&window, w, h) != eEmbedded::kNone;
}

// Reads count bytes at offset into out, refusing before allocating when the
// stream does not hold them.
bool ReadBytes(cFileIOTarget* stream, uint64_t offset, uint32_t count, _typebuf<uint8_t>& out) {
  const uint64_t size = stream->GetSize();
  if (offset > size || count > size - offset || count > 0x7FFFFFFFu) return false;
  out.Reallocate(static_cast<int32_t>(count));
  if (count > 0 && out.data == nullptr) return false;
  return stream->Seek(offset) && stream->ReadExact(out.data, count);
}

}  // namespace

void cPictICNS::UnpackRle(const uint8_t* data, uint32_t length, _typebuf<uint8_t>& out) {
  if (out.data == nullptr || out.count <= 0) return;
  std::memset(out.data, 0, static_cast<size_t>(out.count));
  if (data == nullptr || length == 0) return;
  const uint32_t pixels = static_cast<uint32_t>(out.count) / 3;
  uint32_t at = length >= 4 && Be32(data) == 0 ? 4 : 0;
  for (uint32_t c = 0; c < 3; ++c) {
    uint32_t p = 0;
    while (p < pixels && at < length) {
      const uint8_t h = data[at++];
      if (h >= 0x80) {
        if (at >= length) break;
        const uint8_t v = data[at++];
        for (uint32_t n = h - 125u; n > 0 && p < pixels; --n) out.data[3 * p++ + c] = v;
      } else {
        for (uint32_t n = h + 1u; n > 0 && p < pixels && at < length; --n) out.data[3 * p++ + c] = data[at++];
      }
    }
  }
}

bool cPictICNS::FindBestElement(cFileIOTarget* stream, int64_t maxWidth, int64_t maxHeight, sElement& found) {
  if (maxWidth < 16 || maxHeight < 16) return false;
  bool any = false;
  int64_t bestArea = -1;
  const bool clean = Walk(stream, [&](uint32_t offset, uint32_t length, uint32_t type) {
    int32_t w, h;
    if (!ElementSize(stream, offset, length, type, w, h)) return true;
    if (w > maxWidth || h > maxHeight) return true;
    const int64_t area = int64_t{w} * h;
    if (area > bestArea) {
      bestArea = area;
      found = {offset, length, w, h};
      any = true;
    }
    return true;
  });
  return clean && any;
}

bool cPictICNS::FindElementByIndex(cFileIOTarget* stream, int32_t index, sElement& found) {
  if (index < 0) return false;
  int32_t seen = 0;
  bool hit = false;
  Walk(stream, [&](uint32_t offset, uint32_t length, uint32_t type) {
    int32_t w, h;
    if (!ElementSize(stream, offset, length, type, w, h)) return true;
    if (seen++ == index) {
      found = {offset, length, w, h};
      hit = true;
      return false;
    }
    return true;
  });
  return hit;
}

int32_t cPictICNS::GetImageCount(cFileIOTarget* stream) {
  try {
    int32_t count = 0;
    const bool clean = Walk(stream, [&](uint32_t offset, uint32_t length, uint32_t type) {
      int32_t w, h;
      if (ElementSize(stream, offset, length, type, w, h)) ++count;
      return true;
    });
    return clean ? count : 0;
  } catch (...) {
    return 0;
  }
}

bool cPictICNS::GetImageInfo(cFileIOTarget* stream, int32_t index, int32_t& width, int32_t& height) {
  try {
    sElement e;
    if (!FindElementByIndex(stream, index, e)) return false;
    width = e.width;
    height = e.height;
    return true;
  } catch (...) {
    return false;
  }
}

bool cPictICNS::DrawElement(const uint8_t* data, int32_t width, int32_t height, int32_t bits, const uint8_t* mask,
                            int32_t maskBits) {
  if (data == nullptr || width <= 0 || height <= 0 || bits <= 0) return false;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24) return false;
  SetSize(width, height);
  const bool streaming = BeginCanvasOutput();
  if (!streaming && !AllocatePixels32(width, height)) return false;
  auto bitAt = [](const uint8_t* p, size_t i) { return static_cast<uint32_t>(p[i >> 3] >> (7 - (i & 7)) & 1); };
  for (int32_t j = 0; j < height; ++j) {
    const int32_t y = height - 1 - j;
    for (int32_t x = 0; x < width; ++x) {
      const size_t i = static_cast<size_t>(j) * width + x;
      uint32_t colour;
      switch (bits) {
        // Classic Mac 1-bit icons draw a set bit black.
        case 1: colour = bitAt(data, i) ? 0x000000u : 0xFFFFFFu; break;
        case 4: colour = kPalette16[(data[i >> 1] >> ((i & 1) ? 0 : 4)) & 15]; break;
        case 8: colour = kPalette256.c[data[i]]; break;
        default:
          colour = static_cast<uint32_t>(data[3 * i]) << 16 | static_cast<uint32_t>(data[3 * i + 1]) << 8 |
                   data[3 * i + 2];
          break;
      }
      uint32_t alpha = 0xFF;
      if (mask != nullptr) alpha = maskBits == 1 ? (bitAt(mask, i) ? 0xFFu : 0u) : mask[i];
      const uint32_t px = alpha << 24 | colour;
      if (streaming)
        PutCanvasPixel(x, y, px);
      else
        Pixels32().data[static_cast<size_t>(y) * width + x] = px;
    }
  }
  if (streaming) EndCanvasOutput();
  return true;
}

bool cPictICNS::LoadElement(cFileIOTarget* stream, uint32_t offset, uint32_t length) {
  uint8_t e[kHeaderSize];
  if (!stream->Seek(offset) || !stream->ReadExact(e, kHeaderSize) || length < kHeaderSize) return false;
  const uint32_t type = Be32(e);
  const uint32_t dataLength = length - kHeaderSize;
  if (const sClassic* c = FindClassic(type)) {
    if (c->length != 0 && length != c->length) return false;
    _typebuf<uint8_t> data;
    if (!ReadBytes(stream, uint64_t{offset} + kHeaderSize, dataLength, data)) return false;
    const uint32_t n = static_cast<uint32_t>(c->size * c->size);
    _typebuf<uint8_t> pixels;
    const uint8_t* image = data.data;
    if (c->bits == 24) {
      if (dataLength == 3 * n) {
        image = data.data;
      } else {
        pixels.Reallocate(static_cast<int32_t>(3 * n));
        if (pixels.data == nullptr) return false;
        UnpackRle(data.data, dataLength, pixels);
        image = pixels.data;
      }
    }
    // The mask: the element's own second half (ICN#), or the element that
    // follows when it is of the named type.
    _typebuf<uint8_t> mask;
    int32_t maskBits = 0;
    const uint8_t* maskData = nullptr;
    if (type == Tag("ICN#")) {
      maskData = data.data + 128;
      maskBits = 1;
    } else if (c->mask != 0) {
      uint8_t next[kHeaderSize];
      const uint64_t at = uint64_t{offset} + length;
      if (stream->Seek(at) && stream->ReadExact(next, kHeaderSize)) {
        const uint32_t nextType = Be32(next);
        if (nextType == c->mask) {
          if (ReadBytes(stream, at + kHeaderSize, c->maskBytes, mask)) {
            maskData = mask.data;
            maskBits = 8;
          }
        } else if (c->size == 48 && nextType == Tag("ich#")) {
          // The mask plane follows the 1-bit image plane of 48 x 48 / 8.
          if (ReadBytes(stream, at + kHeaderSize + 288, 288, mask)) {
            maskData = mask.data;
            maskBits = 1;
          }
        }
      }
    }
    return DrawElement(image, c->size, c->size, c->bits, maskData, maskBits);
  }
  if (!IsEmbedded(type)) return false;
  cFileIOSubRange window(stream, uint64_t{offset} + kHeaderSize, dataLength);
  int32_t w, h;
  const eEmbedded kind = ProbeEmbedded(&window, w, h);
  if (kind == eEmbedded::kNone) return false;
  window.Seek(0);
  std::unique_ptr<cPictBase> inner;
  if (kind == eEmbedded::kPng) {
    auto png = std::make_unique<cPictPNG>();
    png->SetHeaderOnly(false);
    inner = std::move(png);
  } else if (kind == eEmbedded::kJp2) {
    inner = std::make_unique<cPictJP2>();
  } else {
    inner = std::make_unique<cPictJ2K>();
  }
  auto decode = [&]() {
    window.Seek(0);
    if (kind == eEmbedded::kPng) return static_cast<cPictPNG*>(inner.get())->ReadChunks(&window);
    return inner->Load(&window);
  };
  sPictCanvas* canvas = GetAttachedCanvas();
  if (canvas != nullptr && canvas->width != 0 && canvas->height != 0) {
    DetachCanvas();
    inner->AttachCanvas(canvas);
    const bool ok = decode();
    // A decoder that failed before its output began still holds the canvas.
    if (inner->GetAttachedCanvas() != nullptr) inner->DetachCanvas();
    SetSize(inner->GetWidth(), inner->GetHeight());
    return ok;
  }
  if (!decode()) return false;
  TakePixels(inner.get());
  return true;
}

bool cPictICNS::ReadInfo(cFileIOTarget* stream, sPictInfo* info) {
  try {
    sElement e;
    if (!FindBestElement(stream, INT32_MAX, INT32_MAX, e)) {
      selectedOffset_ = -1;
      selectedLength_ = 0;
      return false;
    }
    selectedOffset_ = static_cast<int32_t>(e.offset);
    selectedLength_ = e.length;
    if (info != nullptr) {
      info->width = e.width;
      info->height = e.height;
      info->hasPreview = true;
    }
    return true;
  } catch (...) {
    return false;
  }
}

bool cPictICNS::Detect(cFileIOTarget* stream, sPictInfo* info) {
  cPictICNS probe;
  return probe.ReadInfo(stream, info);
}

bool cPictICNS::Load(cFileIOTarget* stream) {
  bool ok = false;
  try {
    if (selectedOffset_ < 0) {
      sElement e;
      if (FindBestElement(stream, INT32_MAX, INT32_MAX, e)) {
        selectedOffset_ = static_cast<int32_t>(e.offset);
        selectedLength_ = e.length;
      }
    }
    if (selectedOffset_ >= 0) ok = LoadElement(stream, static_cast<uint32_t>(selectedOffset_), selectedLength_);
  } catch (...) {
    ok = false;
  }
  if (GetAttachedCanvas() != nullptr) DetachCanvas();
  return ok;
}

bool cPictICNS::LoadImage(cFileIOTarget* stream, int32_t index) {
  bool ok = false;
  try {
    sElement e;
    ok = FindElementByIndex(stream, index, e) && LoadElement(stream, e.offset, e.length);
  } catch (...) {
    ok = false;
  }
  if (GetAttachedCanvas() != nullptr) DetachCanvas();
  return ok;
}

bool cPictICNS::LoadImageFitted(cFileIOTarget* stream, cPictBase* destination, int32_t maxWidth, int32_t maxHeight,
                                int32_t index, bool, uint32_t background) {
  if (destination == nullptr) return false;
  bool ok = false;
  sPictCanvas canvas;
  try {
    sElement e;
    if (FindElementByIndex(stream, index, e) && e.width > 0 && e.height > 0) {
      if (e.width <= maxWidth && e.height <= maxHeight) {
        if (LoadElement(stream, e.offset, e.length)) {
          destination->TakePixels(this);
          ok = true;
        }
      } else {
        double s = static_cast<double>(maxHeight) / e.height;
        const double sx = static_cast<double>(maxWidth) / e.width;
        if (sx < s) s = sx;
        int32_t fw = static_cast<int32_t>(e.width * s + 0.5), fh = static_cast<int32_t>(e.height * s + 0.5);
        if (fw < 1) fw = 1;
        if (fh < 1) fh = 1;
        if (destination->CreateBlank(fw, fh)) {
          sPictCanvas::FromPicture(canvas, destination);
          canvas.background = background;
          if (AttachCanvas(&canvas)) ok = LoadElement(stream, e.offset, e.length);
        }
      }
    }
  } catch (...) {
    ok = false;
  }
  if (GetAttachedCanvas() != nullptr) DetachCanvas();
  return ok;
}

bool cPictICNS::LoadPreview(cFileIOTarget* stream, cPictBase* destination, int32_t& width, int32_t& height) {
  if (destination == nullptr) return false;
  if (width <= 0 && height <= 0) {
    if (!Load(stream)) return false;
    destination->TakePixels(this);
    return true;
  }
  try {
    sElement e;
    if (!FindBestElement(stream, width > 0 ? width : INT32_MAX, height > 0 ? height : INT32_MAX, e)) return false;
    if (GetAttachedCanvas() != nullptr) DetachCanvas();
    if (!LoadElement(stream, e.offset, e.length)) return false;
    destination->TakePixels(this);
    return true;
  } catch (...) {
    return false;
  }
}
