// See raw_fixture.h.
#include "tests/support/raw_fixture.h"

#include "tests/support/ljpeg_encoder.h"

std::vector<uint16_t> SyntheticMosaic(int32_t width, int32_t height, int32_t bits, uint32_t seed) {
  std::vector<uint16_t> out(static_cast<size_t>(width) * height);
  const uint32_t top = bits >= 16 ? 0xFFFFu : (1u << bits) - 1;
  uint32_t state = seed * 2654435761u + 1;
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      state = state * 1664525u + 1013904223u;
      const uint32_t site = static_cast<uint32_t>((y & 1) * 2 + (x & 1));
      // A diagonal ramp, a different level per site, 1/64 of noise.
      const double ramp = (static_cast<double>(x) / width + static_cast<double>(y) / height) * 0.4;
      const double level = 0.15 + 0.12 * site + ramp;
      double v = level * top + static_cast<double>(state >> 26) * top / 4096.0;
      if (v > top) v = top;
      out[static_cast<size_t>(y) * width + x] = static_cast<uint16_t>(v);
    }
  }
  return out;
}

std::vector<uint8_t> SampleBytes16(const std::vector<uint16_t>& samples, bool bigEndian) {
  std::vector<uint8_t> out;
  out.reserve(samples.size() * 2);
  for (uint16_t s : samples) {
    if (bigEndian) {
      out.push_back(static_cast<uint8_t>(s >> 8));
      out.push_back(static_cast<uint8_t>(s));
    } else {
      out.push_back(static_cast<uint8_t>(s));
      out.push_back(static_cast<uint8_t>(s >> 8));
    }
  }
  return out;
}

std::vector<uint8_t> SampleBytes8(const std::vector<uint16_t>& samples) {
  std::vector<uint8_t> out;
  out.reserve(samples.size());
  for (uint16_t s : samples) out.push_back(static_cast<uint8_t>(s));
  return out;
}

std::vector<uint8_t> PackBitsMsb(const std::vector<uint16_t>& samples, int32_t width, int32_t bits) {
  std::vector<uint8_t> out;
  const size_t rows = width > 0 ? samples.size() / static_cast<size_t>(width) : 0;
  for (size_t r = 0; r < rows; ++r) {
    uint32_t acc = 0;
    int32_t held = 0;
    for (int32_t x = 0; x < width; ++x) {
      const uint32_t v = samples[r * width + x] & ((1u << bits) - 1);
      for (int32_t i = bits - 1; i >= 0; --i) {
        acc = acc << 1 | ((v >> i) & 1);
        if (++held == 8) {
          out.push_back(static_cast<uint8_t>(acc));
          acc = 0;
          held = 0;
        }
      }
    }
    if (held != 0) out.push_back(static_cast<uint8_t>(acc << (8 - held)));
  }
  return out;
}

std::vector<uint8_t> Pack12Grouped(const std::vector<uint16_t>& samples) {
  std::vector<uint8_t> out;
  int32_t groups = 0;
  for (size_t i = 0; i < samples.size(); i += 2) {
    const uint32_t a = samples[i] & 0xFFF, b = i + 1 < samples.size() ? samples[i + 1] & 0xFFF : 0;
    out.push_back(static_cast<uint8_t>(a >> 4));
    out.push_back(static_cast<uint8_t>((a & 15) << 4 | b >> 8));
    out.push_back(static_cast<uint8_t>(b));
    if (++groups == 5) {
      out.push_back(0);
      groups = 0;
    }
  }
  return out;
}

namespace {

// The bytes of one strip or tile of w x h samples cut from the sensor at
// (x0, y0); samples outside the sensor are 0.
std::vector<uint16_t> Cut(const sRawSensor& s, int32_t x0, int32_t y0, int32_t w, int32_t h) {
  std::vector<uint16_t> out(static_cast<size_t>(w) * h, 0);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x)
      if (x0 + x < s.width && y0 + y < s.height)
        out[static_cast<size_t>(y) * w + x] = s.samples[static_cast<size_t>(y0 + y) * s.width + x0 + x];
  return out;
}

std::vector<uint8_t> Encode(const sRawSensor& s, const std::vector<uint16_t>& part, int32_t w, int32_t h,
                            bool bigEndian) {
  switch (s.compression) {
    case 7: {
      sLjpegImage im;
      const int32_t nc = s.ljpegComponents < 1 ? 1 : s.ljpegComponents;
      im.components = nc;
      im.width = w / nc;
      im.height = h;
      im.precision = s.bits;
      im.samples = part;
      im.restartInterval = s.restartInterval;
      return EncodeLosslessJpeg(im);
    }
    case 32769: return Pack12Grouped(part);
    default:
      if (s.bits == 16) return SampleBytes16(part, bigEndian);
      if (s.bits == 8) return SampleBytes8(part);
      return PackBitsMsb(part, w, s.bits);
  }
}

}  // namespace

void AddRawSensor(cTiffBuilder& b, int ifd, const sRawSensor& s) {
  b.AddLong(ifd, 254, s.newSubfileType);
  b.AddLong(ifd, 256, static_cast<uint32_t>(s.width));
  b.AddLong(ifd, 257, static_cast<uint32_t>(s.height));
  b.AddShort(ifd, 258, static_cast<uint16_t>(s.bits));
  b.AddShort(ifd, 259, s.compression);
  b.AddShort(ifd, 262, s.photometric);
  b.AddShort(ifd, 277, 1);
  b.AddShort(ifd, 284, 1);
  if (s.writePattern) {
    b.AddShorts(ifd, 33421, {s.patternRows, s.patternColumns});
    b.AddBytes(ifd, 33422, 1, s.pattern);
  }
  std::vector<int> blocks;
  if (s.tileWidth > 0 && s.tileHeight > 0) {
    for (int32_t y = 0; y < s.height; y += s.tileHeight)
      for (int32_t x = 0; x < s.width; x += s.tileWidth)
        blocks.push_back(b.AddBlock(
            Encode(s, Cut(s, x, y, s.tileWidth, s.tileHeight), s.tileWidth, s.tileHeight, b.BigEndian())));
    b.AddLong(ifd, 322, static_cast<uint32_t>(s.tileWidth));
    b.AddLong(ifd, 323, static_cast<uint32_t>(s.tileHeight));
    b.AddBlockOffsets(ifd, 324, blocks);
    if (s.writeByteCounts) b.AddBlockSizes(ifd, 325, blocks);
    return;
  }
  const int32_t rps = s.rowsPerStrip > 0 ? s.rowsPerStrip : s.height;
  for (int32_t y = 0; y < s.height; y += rps) {
    const int32_t h = y + rps <= s.height ? rps : s.height - y;
    blocks.push_back(b.AddBlock(Encode(s, Cut(s, 0, y, s.width, h), s.width, h, b.BigEndian())));
  }
  b.AddBlockOffsets(ifd, 273, blocks);
  b.AddLong(ifd, 278, static_cast<uint32_t>(rps));
  if (s.writeByteCounts) b.AddBlockSizes(ifd, 279, blocks);
}

void AddRgbPreview(cTiffBuilder& b, int ifd, const sRgbPreview& p) {
  std::vector<uint8_t> rgb = p.rgb;
  if (rgb.empty()) {
    for (int32_t y = 0; y < p.height; ++y)
      for (int32_t x = 0; x < p.width; ++x) {
        rgb.push_back(static_cast<uint8_t>(x * 255 / (p.width > 1 ? p.width - 1 : 1)));
        rgb.push_back(static_cast<uint8_t>(y * 255 / (p.height > 1 ? p.height - 1 : 1)));
        rgb.push_back(96);
      }
  }
  const int block = b.AddBlock(rgb);
  b.AddLong(ifd, 254, p.newSubfileType);
  b.AddLong(ifd, 256, static_cast<uint32_t>(p.width));
  b.AddLong(ifd, 257, static_cast<uint32_t>(p.height));
  b.AddShorts(ifd, 258, {8, 8, 8});
  b.AddShort(ifd, 259, 1);
  b.AddShort(ifd, 262, 2);
  b.AddShort(ifd, 277, 3);
  b.AddShort(ifd, 284, 1);
  b.AddBlockOffsets(ifd, 273, {block});
  b.AddLong(ifd, 278, static_cast<uint32_t>(p.height));
  b.AddBlockSizes(ifd, 279, {block});
}

std::vector<uint8_t> MakeCameraTiff(const sCameraTiff& f) {
  cTiffBuilder b(f.bigEndian, false);
  const int ifd0 = b.AddIfd();
  if (!f.make.empty()) b.AddAscii(ifd0, 271, f.make);
  if (!f.model.empty()) b.AddAscii(ifd0, 272, f.model);
  int sensorIfd = ifd0;
  if (f.sensorInIfd0) {
    AddRawSensor(b, ifd0, f.sensor);
  } else {
    if (f.previewInIfd0) AddRgbPreview(b, ifd0, f.preview);
    sensorIfd = b.AddIfd();
    AddRawSensor(b, sensorIfd, f.sensor);
    b.AddIfdPointer(ifd0, 330, sensorIfd);
  }
  if (f.extraTags) f.extraTags(b, ifd0, sensorIfd);
  return b.Build();
}
