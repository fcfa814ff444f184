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
  // The last group is filled up to 16 bytes, as the cameras write it.
  while (out.size() % 16 != 0) out.push_back(0);
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

// ---- Format generators ----

std::vector<uint8_t> MakeDng(const sDngFile& f) {
  sCameraTiff t = f.tiff;
  auto user = t.extraTags;
  t.extraTags = [f, user](cTiffBuilder& b, int ifd0, int raw) {
    if (!f.version.empty()) b.AddBytes(ifd0, 50706, 1, f.version);
    if (!f.uniqueCameraModel.empty()) b.AddAscii(ifd0, 50708, f.uniqueCameraModel);
    if (!f.asShotNeutral.empty()) b.AddRationals(ifd0, 50728, f.asShotNeutral);
    if (f.writeBlack) {
      if (f.blackRational) b.AddRationals(raw, 50714, {{f.black, f.blackDenominator}});
      else b.AddLong(raw, 50714, f.black);
    }
    if (f.whiteLevel != 0) b.AddLong(raw, 50717, f.whiteLevel);
    if (!f.cropOrigin.empty()) b.AddLongs(raw, 50719, f.cropOrigin);
    if (!f.cropSize.empty()) b.AddLongs(raw, 50720, f.cropSize);
    if (!f.activeArea.empty()) b.AddLongs(raw, 50829, f.activeArea);
    if (user) user(b, ifd0, raw);
  };
  return MakeCameraTiff(t);
}

std::vector<uint8_t> Make3FR(sDngFile f) {
  f.version.clear();
  if (f.uniqueCameraModel.empty()) f.uniqueCameraModel = "Hasselblad H6D-100c";
  if (f.tiff.make.empty()) f.tiff.make = "Hasselblad";
  if (f.tiff.sensor.compression == 7) {
    // The strips carry the Hasselblad scan instead of a standard one.
    const sRawSensor& s = f.tiff.sensor;
    cTiffBuilder b(f.tiff.bigEndian, false);
    const int ifd0 = b.AddIfd();
    b.AddAscii(ifd0, 271, f.tiff.make);
    if (!f.tiff.model.empty()) b.AddAscii(ifd0, 272, f.tiff.model);
    b.AddAscii(ifd0, 50708, f.uniqueCameraModel);
    const int raw = f.tiff.sensorInIfd0 ? ifd0 : b.AddIfd();
    if (!f.tiff.sensorInIfd0) {
      AddRgbPreview(b, ifd0, f.tiff.preview);
      b.AddIfdPointer(ifd0, 330, raw);
    }
    b.AddLong(raw, 254, 0);
    b.AddLong(raw, 256, static_cast<uint32_t>(s.width));
    b.AddLong(raw, 257, static_cast<uint32_t>(s.height));
    b.AddShort(raw, 258, 16);
    b.AddShort(raw, 259, 7);
    b.AddShort(raw, 262, s.photometric);
    b.AddShort(raw, 277, 1);
    if (s.writePattern) {
      b.AddShorts(raw, 33421, {s.patternRows, s.patternColumns});
      b.AddBytes(raw, 33422, 1, s.pattern);
    }
    const int block = b.AddBlock(Encode3FRScan(s.samples, s.width, s.height));
    b.AddBlockOffsets(raw, 273, {block});
    b.AddLong(raw, 278, static_cast<uint32_t>(s.height));
    b.AddBlockSizes(raw, 279, {block});
    return b.Build();
  }
  return MakeDng(f);
}

void PatchSubIfdList(std::vector<uint8_t>& bytes, bool be, uint64_t ifd0Offset, const std::vector<uint32_t>& offsets) {
  // The list entry has a fixed size, so rewriting it does not move
  // anything: the value bytes are replaced in place.
  auto rd16 = [&](uint64_t at) {
    return be ? (bytes[at] << 8 | bytes[at + 1]) : (bytes[at + 1] << 8 | bytes[at]);
  };
  auto rd32 = [&](uint64_t at) -> uint32_t {
    return be ? (static_cast<uint32_t>(bytes[at]) << 24 | bytes[at + 1] << 16 | bytes[at + 2] << 8 | bytes[at + 3])
              : (static_cast<uint32_t>(bytes[at + 3]) << 24 | bytes[at + 2] << 16 | bytes[at + 1] << 8 | bytes[at]);
  };
  auto wr32 = [&](uint64_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(be ? v >> (24 - 8 * i) : v >> (8 * i));
  };
  const int n = rd16(ifd0Offset);
  for (int i = 0; i < n; ++i) {
    const uint64_t e = ifd0Offset + 2 + 12 * static_cast<uint64_t>(i);
    if (rd16(e) != 330) continue;
    const uint64_t at = offsets.size() == 1 ? e + 8 : rd32(e + 8);
    for (size_t k = 0; k < offsets.size(); ++k) wr32(at + 4 * k, offsets[k]);
  }
}

std::vector<uint8_t> MakeTiffEp(const sTiffEpFile& f) {
  cTiffBuilder b(f.tiff.bigEndian, false);
  const int ifd0 = b.AddIfd();
  if (!f.tiff.make.empty()) b.AddAscii(ifd0, 271, f.tiff.make);
  if (!f.tiff.model.empty()) b.AddAscii(ifd0, 272, f.tiff.model);
  if (f.writeStandardId) b.AddBytes(ifd0, 37398, 1, {1, 0, 0, 0});
  AddRgbPreview(b, ifd0, f.tiff.preview);
  std::vector<int> subs;
  subs.push_back(b.AddIfd());
  AddRawSensor(b, subs.back(), f.tiff.sensor);
  for (const sRawSensor& s : f.moreSensors) {
    subs.push_back(b.AddIfd());
    AddRawSensor(b, subs.back(), s);
  }
  // The sub-IFD list as LONG offsets of the IFDs.
  std::vector<uint32_t> zeros(subs.size(), 0);
  b.AddLongs(ifd0, 330, zeros);
  if (f.tiff.extraTags) f.tiff.extraTags(b, ifd0, subs[0]);
  // Patch the offsets in: build once to learn where the IFDs land.
  std::vector<uint8_t> bytes = b.Build();
  std::vector<uint32_t> offsets;
  for (int s : subs) offsets.push_back(static_cast<uint32_t>(b.IfdOffset(s)));
  PatchSubIfdList(bytes, f.tiff.bigEndian, b.IfdOffset(ifd0), offsets);
  return bytes;
}

std::vector<uint8_t> PktsRecord(bool be, const std::string& name, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> out;
  auto put32 = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(be ? v >> (24 - 8 * i) : v >> (8 * i)));
  };
  put32(0x504B5453);
  put32(0);
  for (size_t i = 0; i < 40; ++i) out.push_back(i < name.size() ? static_cast<uint8_t>(name[i]) : 0);
  put32(static_cast<uint32_t>(data.size()));
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

std::vector<uint8_t> MosaicDigits(const char* four) {
  std::vector<uint8_t> d(8, ' ');
  for (int i = 0; i < 4; ++i) d[2 * i] = static_cast<uint8_t>(four[i]);
  return d;
}

std::vector<uint8_t> MakeMos(const sMosFile& f) {
  sCameraTiff t = f.tiff;
  t.sensorInIfd0 = true;
  auto user = t.extraTags;
  const std::vector<uint8_t> records = f.records;
  t.extraTags = [records, user](cTiffBuilder& b, int ifd0, int raw) {
    b.AddBytes(ifd0, 34310, 7, records);
    if (user) user(b, ifd0, raw);
  };
  return MakeCameraTiff(t);
}

std::vector<uint8_t> StoreInZip(const std::string& name, const std::vector<uint8_t>& data, uint16_t extraBytes) {
  uint32_t crc = 0xFFFFFFFFu;
  for (uint8_t byte : data) {
    crc ^= byte;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  crc ^= 0xFFFFFFFFu;
  std::vector<uint8_t> out;
  auto p16 = [&](uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
  };
  auto p32 = [&](uint32_t v) {
    p16(v & 0xFFFF);
    p16(v >> 16);
  };
  const uint32_t size = static_cast<uint32_t>(data.size());
  p32(0x04034B50);
  p16(10);
  p16(0);
  p16(0);  // stored
  p16(0);
  p16(0x21);
  p32(crc);
  p32(size);
  p32(size);
  p16(static_cast<uint32_t>(name.size()));
  p16(extraBytes);
  out.insert(out.end(), name.begin(), name.end());
  out.insert(out.end(), extraBytes, 0);
  out.insert(out.end(), data.begin(), data.end());
  const uint32_t cd = static_cast<uint32_t>(out.size());
  p32(0x02014B50);
  p16(20);
  p16(10);
  p16(0);
  p16(0);
  p16(0);
  p16(0x21);
  p32(crc);
  p32(size);
  p32(size);
  p16(static_cast<uint32_t>(name.size()));
  p16(0);
  p16(0);
  p16(0);
  p16(0);
  p32(0);
  p32(0);
  out.insert(out.end(), name.begin(), name.end());
  const uint32_t cdSize = static_cast<uint32_t>(out.size()) - cd;
  p32(0x06054B50);
  p16(0);
  p16(0);
  p16(1);
  p16(1);
  p32(cdSize);
  p32(cd);
  p16(0);
  return out;
}

std::vector<uint8_t> Encode3FRScan(const std::vector<uint16_t>& samples, int32_t width, int32_t height) {
  // One fixed Huffman table: categories 0..16 with 5-bit codes 0..16.
  std::vector<uint8_t> out = {0xFF, 0xD8, 0xFF, 0xC4, 0, 3 + 16 + 17, 0x00};
  for (int l = 1; l <= 16; ++l) out.push_back(l == 5 ? 17 : 0);
  for (int s = 0; s <= 16; ++s) out.push_back(static_cast<uint8_t>(s));
  const uint8_t sof[] = {0xFF, 0xC3, 0, 11, 16, static_cast<uint8_t>(height >> 8), static_cast<uint8_t>(height),
                         static_cast<uint8_t>(width >> 8), static_cast<uint8_t>(width), 1, 1, 0x11, 0};
  out.insert(out.end(), sof, sof + sizeof sof);
  const uint8_t sos[] = {0xFF, 0xDA, 0, 8, 1, 1, 0x00, 1, 0, 0};
  out.insert(out.end(), sos, sos + sizeof sos);
  uint64_t acc = 0;
  int held = 0;
  auto flushWord = [&]() {
    const uint32_t w = static_cast<uint32_t>(acc >> (held - 32));
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(w >> (8 * i)));
    held -= 32;
  };
  auto put = [&](uint32_t v, int n) {
    for (int i = n - 1; i >= 0; --i) {
      acc = acc << 1 | ((v >> i) & 1);
      if (++held == 32) flushWord();
    }
  };
  auto category = [](int32_t d) {
    uint32_t a = static_cast<uint32_t>(d < 0 ? -d : d);
    int n = 0;
    while (a) {
      ++n;
      a >>= 1;
    }
    return n;
  };
  for (int32_t y = 0; y < height; ++y) {
    int32_t pred[2] = {0x8000, 0x8000};
    for (int32_t x = 0; x < width; x += 2) {
      int32_t d[2];
      for (int k = 0; k < 2; ++k) {
        const int32_t s = x + k < width ? samples[static_cast<size_t>(y) * width + x + k] : pred[k];
        int32_t diff = (s - pred[k]) & 0xFFFF;
        if (diff >= 32768) diff -= 65536;
        d[k] = diff;
        pred[k] = s;
      }
      const int n0 = category(d[0]), n1 = category(d[1]);
      put(static_cast<uint32_t>(n0), 5);
      put(static_cast<uint32_t>(n1), 5);
      for (int k = 0; k < 2; ++k) {
        const int n = k == 0 ? n0 : n1;
        if (n == 0) continue;
        const uint32_t v = d[k] >= 0 ? static_cast<uint32_t>(d[k]) : static_cast<uint32_t>(d[k] + (1 << n) - 1);
        put(v & ((1u << n) - 1), n);
      }
    }
  }
  while (held != 0) put(0, 1);
  // Two words of slack: the reader fills its buffer ahead.
  for (int i = 0; i < 8; ++i) out.push_back(0);
  out.push_back(0xFF);
  out.push_back(0xD9);
  return out;
}

std::vector<uint16_t> ExpectedRaster(const sRawSensor& s, bool eightBitShifted) {
  const int32_t w4 = s.width & ~3;
  std::vector<uint16_t> out;
  for (int32_t y = 0; y < s.height; ++y)
    for (int32_t x = 0; x < w4; ++x) {
      uint32_t v = s.samples[static_cast<size_t>(y) * s.width + x];
      if (s.compression == 1 && s.bits == 8) {
        v &= 0xFF;
        if (eightBitShifted) v <<= 8;
      } else if (s.compression == 1 && s.bits > 8 && s.bits < 16) {
        v = (v & ((1u << s.bits) - 1)) << (16 - s.bits);
      }
      out.push_back(static_cast<uint16_t>(v));
    }
  return out;
}
