// See tiff_builder.h.
#include "tests/support/tiff_builder.h"

#include <algorithm>

namespace {

uint32_t TypeBytes(uint16_t type) {
  switch (type) {
    case 3: case 8: return 2;
    case 4: case 9: case 11: case 13: return 4;
    case 5: case 10: case 12: case 16: case 17: return 8;
    case 0: return 0;
    default: return 1;
  }
}

uint64_t Even(uint64_t v) { return (v + 1) & ~uint64_t{1}; }

}  // namespace

int cTiffBuilder::AddIfd() {
  ifds_.emplace_back();
  return static_cast<int>(ifds_.size()) - 1;
}

int cTiffBuilder::AddBlock(std::vector<uint8_t> bytes) {
  blocks_.push_back(std::move(bytes));
  return static_cast<int>(blocks_.size()) - 1;
}

void cTiffBuilder::PutN(std::vector<uint8_t>& out, uint64_t v, int width) const {
  for (int i = 0; i < width; ++i) {
    const int shift = be_ ? 8 * (width - 1 - i) : 8 * i;
    out.push_back(static_cast<uint8_t>(v >> shift));
  }
}
void cTiffBuilder::Put16(std::vector<uint8_t>& out, uint32_t v) const { PutN(out, v, 2); }
void cTiffBuilder::Put32(std::vector<uint8_t>& out, uint32_t v) const { PutN(out, v, 4); }
void cTiffBuilder::Put64(std::vector<uint8_t>& out, uint64_t v) const { PutN(out, v, 8); }

void cTiffBuilder::AddRaw(int ifd, uint16_t tag, uint16_t type, uint64_t count, std::vector<uint8_t> bytes) {
  sEntry e{tag, type, count, std::move(bytes), {}};
  ifds_[ifd].entries.push_back(std::move(e));
}

void cTiffBuilder::AddBytes(int ifd, uint16_t tag, uint16_t type, const std::vector<uint8_t>& v) {
  AddRaw(ifd, tag, type, v.size(), v);
}

void cTiffBuilder::AddAscii(int ifd, uint16_t tag, const std::string& text) {
  std::vector<uint8_t> v(text.begin(), text.end());
  v.push_back(0);
  AddRaw(ifd, tag, 2, v.size(), v);
}

void cTiffBuilder::AddShorts(int ifd, uint16_t tag, const std::vector<uint16_t>& v) {
  std::vector<uint8_t> bytes;
  for (uint16_t x : v) Put16(bytes, x);
  AddRaw(ifd, tag, 3, v.size(), bytes);
}

void cTiffBuilder::AddLongs(int ifd, uint16_t tag, const std::vector<uint32_t>& v, uint16_t type) {
  std::vector<uint8_t> bytes;
  for (uint32_t x : v) Put32(bytes, x);
  AddRaw(ifd, tag, type, v.size(), bytes);
}

void cTiffBuilder::AddLong8s(int ifd, uint16_t tag, const std::vector<uint64_t>& v) {
  std::vector<uint8_t> bytes;
  for (uint64_t x : v) Put64(bytes, x);
  AddRaw(ifd, tag, 16, v.size(), bytes);
}

void cTiffBuilder::AddRationals(int ifd, uint16_t tag, const std::vector<std::pair<uint32_t, uint32_t>>& v,
                                uint16_t type) {
  std::vector<uint8_t> bytes;
  for (auto [n, d] : v) {
    Put32(bytes, n);
    Put32(bytes, d);
  }
  AddRaw(ifd, tag, type, v.size(), bytes);
}

void cTiffBuilder::AddIfdPointer(int ifd, uint16_t tag, int target, uint16_t type) {
  const int width = static_cast<int>(TypeBytes(type));
  sEntry e{tag, type, 1, std::vector<uint8_t>(static_cast<size_t>(width), 0), {{0, 0, target, width}}};
  ifds_[ifd].entries.push_back(std::move(e));
}

void cTiffBuilder::AddBlockOffsets(int ifd, uint16_t tag, const std::vector<int>& blocks, uint16_t type) {
  const int width = static_cast<int>(TypeBytes(type));
  sEntry e{tag, type, blocks.size(), std::vector<uint8_t>(blocks.size() * static_cast<size_t>(width), 0), {}};
  for (size_t i = 0; i < blocks.size(); ++i) e.patches.push_back({i * width, 1, blocks[i], width});
  ifds_[ifd].entries.push_back(std::move(e));
}

void cTiffBuilder::AddBlockSizes(int ifd, uint16_t tag, const std::vector<int>& blocks, uint16_t type) {
  const int width = static_cast<int>(TypeBytes(type));
  sEntry e{tag, type, blocks.size(), std::vector<uint8_t>(blocks.size() * static_cast<size_t>(width), 0), {}};
  for (size_t i = 0; i < blocks.size(); ++i) e.patches.push_back({i * width, 2, blocks[i], width});
  ifds_[ifd].entries.push_back(std::move(e));
}

std::vector<cTiffBuilder::sEntry> cTiffBuilder::Ordered(const sIfd& d) const {
  std::vector<sEntry> v = d.entries;
  if (!keepOrder_)
    std::stable_sort(v.begin(), v.end(), [](const sEntry& a, const sEntry& b) { return a.tag < b.tag; });
  return v;
}

uint64_t cTiffBuilder::IfdTableSize(const sIfd& d) const {
  const uint64_t n = d.entries.size();
  return big_ ? 8 + n * 20 + 8 : 2 + n * 12 + 4;
}

uint64_t cTiffBuilder::OutOfLineSize(const sIfd& d) const {
  const uint64_t field = big_ ? 8 : 4;
  uint64_t s = 0;
  for (const sEntry& e : d.entries)
    if (e.value.size() > field) s += Even(e.value.size());
  return s;
}

cTiffBuilder::sLayout cTiffBuilder::Layout() const {
  sLayout l;
  uint64_t at = big_ ? 16 : 8;
  for (const auto& b : blocks_) {
    l.blocks.push_back(at);
    at = Even(at + b.size());
  }
  for (const sIfd& d : ifds_) {
    l.ifds.push_back(at);
    at = Even(at + IfdTableSize(d) + OutOfLineSize(d));
  }
  l.end = at;
  return l;
}

uint64_t cTiffBuilder::BlockOffset(int block) const { return Layout().blocks[block]; }
uint64_t cTiffBuilder::IfdOffset(int ifd) const { return Layout().ifds[ifd]; }

std::vector<uint8_t> cTiffBuilder::Build() const {
  const sLayout l = Layout();
  std::vector<uint8_t> out;
  out.push_back(be_ ? 'M' : 'I');
  out.push_back(be_ ? 'M' : 'I');
  const uint64_t first = first_ == -2 ? firstRaw_ : (ifds_.empty() ? 0 : l.ifds[first_]);
  if (big_) {
    Put16(out, 43);
    Put16(out, 8);
    Put16(out, 0);
    Put64(out, first);
  } else {
    Put16(out, 42);
    Put32(out, static_cast<uint32_t>(first));
  }
  for (size_t i = 0; i < blocks_.size(); ++i) {
    out.resize(l.blocks[i], 0);
    out.insert(out.end(), blocks_[i].begin(), blocks_[i].end());
  }
  const uint64_t field = big_ ? 8 : 4;
  for (size_t k = 0; k < ifds_.size(); ++k) {
    const sIfd& d = ifds_[k];
    out.resize(l.ifds[k], 0);
    std::vector<sEntry> entries = Ordered(d);
    uint64_t valueAt = l.ifds[k] + IfdTableSize(d);
    if (big_) Put64(out, entries.size());
    else Put16(out, static_cast<uint32_t>(entries.size()));
    std::vector<uint8_t> values;
    for (sEntry e : entries) {
      for (const sPatch& p : e.patches) {
        uint64_t v = p.kind == 0 ? l.ifds[p.index] : p.kind == 1 ? l.blocks[p.index] : blocks_[p.index].size();
        std::vector<uint8_t> bytes;
        PutN(bytes, v, p.width);
        std::copy(bytes.begin(), bytes.end(), e.value.begin() + static_cast<std::ptrdiff_t>(p.at));
      }
      Put16(out, e.tag);
      Put16(out, e.type);
      const uint64_t count = e.countOverride != ~uint64_t{0} ? e.countOverride : e.count;
      if (big_) Put64(out, count);
      else Put32(out, static_cast<uint32_t>(count));
      std::vector<uint8_t> f;
      if (e.hasFieldOverride) {
        PutN(f, e.fieldOverride, static_cast<int>(field));
      } else if (e.value.size() <= field) {
        f = e.value;
        f.resize(field, 0);
      } else {
        PutN(f, valueAt + values.size(), static_cast<int>(field));
        values.insert(values.end(), e.value.begin(), e.value.end());
        if (values.size() % 2) values.push_back(0);
      }
      out.insert(out.end(), f.begin(), f.end());
    }
    const uint64_t next = d.next == -2 ? d.nextRaw : d.next >= 0 ? l.ifds[d.next] : 0;
    if (big_) Put64(out, next);
    else Put32(out, static_cast<uint32_t>(next));
    out.insert(out.end(), values.begin(), values.end());
  }
  return out;
}

void AddTiffImage(cTiffBuilder& b, int ifd, const sTiffImage& im) {
  std::vector<int> blocks;
  for (const auto& s : im.strips) blocks.push_back(b.AddBlock(s));
  b.AddLong(ifd, 256, static_cast<uint32_t>(im.width));
  b.AddLong(ifd, 257, static_cast<uint32_t>(im.height));
  b.AddShorts(ifd, 258, std::vector<uint16_t>(im.samples, im.bits));
  b.AddShort(ifd, 259, im.compression);
  b.AddShort(ifd, 262, im.photometric);
  b.AddBlockOffsets(ifd, 273, blocks);
  b.AddShort(ifd, 277, im.samples);
  if (im.rowsPerStrip != 0) b.AddLong(ifd, 278, im.rowsPerStrip);
  if (im.writeByteCounts) b.AddBlockSizes(ifd, 279, blocks);
  if (im.planar != 1) b.AddShort(ifd, 284, im.planar);
  if (im.predictor != 0) b.AddShort(ifd, 317, im.predictor);
  if (!im.colorMap.empty()) b.AddShorts(ifd, 320, im.colorMap);
  if (im.sampleFormat != 0) b.AddShorts(ifd, 339, std::vector<uint16_t>(im.samples, im.sampleFormat));
}

std::vector<uint8_t> MakeTiff(const sTiffImage& image, bool bigEndian, bool bigTiff) {
  cTiffBuilder b(bigEndian, bigTiff);
  const int ifd = b.AddIfd();
  AddTiffImage(b, ifd, image);
  return b.Build();
}
