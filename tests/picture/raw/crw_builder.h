// Test kit for CRW files: CIFF heaps of 10-byte records (data in the heap
// or in the record), nested heaps, and a whole camera file around coded raw
// data, with the knobs the decoder's faults need.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace crw_test {

using tBytes = std::vector<uint8_t>;

inline void PutLe16(tBytes& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
inline void PutLe32(tBytes& out, uint32_t v) {
  for (int s = 0; s < 32; s += 8) out.push_back(static_cast<uint8_t>(v >> s));
}
inline tBytes Le16s(std::initializer_list<uint32_t> v) {
  tBytes out;
  for (uint32_t x : v) PutLe16(out, x);
  return out;
}
inline tBytes Le32s(std::initializer_list<uint32_t> v) {
  tBytes out;
  for (uint32_t x : v) PutLe32(out, x);
  return out;
}

class cHeap {
public:
  // A record whose data lies in the heap.
  cHeap& Data(uint16_t tag, const tBytes& data) {
    records_.push_back({tag, data, false, {}});
    return *this;
  }
  // A record holding its 8 data bytes itself (location bits 01).
  cHeap& Inline(uint16_t tag, uint32_t first, uint32_t second = 0) {
    records_.push_back({static_cast<uint16_t>(tag | 0x4000), {}, true, Le32s({first, second})});
    return *this;
  }
  // A record with a raw tag word (for refused locations and types).
  cHeap& RawTag(uint16_t word) {
    records_.push_back({word, {}, true, tBytes(8, 0)});
    return *this;
  }
  // Only the record table of this many records written when not -1 (and a
  // table offset of choice).
  cHeap& ForceTableOffset(uint32_t t) {
    tableOffset_ = t;
    forced_ = true;
    return *this;
  }
  tBytes Build() const {
    tBytes out;
    std::vector<std::pair<uint32_t, uint32_t>> places;
    for (const auto& r : records_) {
      places.push_back({static_cast<uint32_t>(out.size()), static_cast<uint32_t>(r.data.size())});
      out.insert(out.end(), r.data.begin(), r.data.end());
      if (out.size() & 1) out.push_back(0);
    }
    const uint32_t table = static_cast<uint32_t>(out.size());
    PutLe16(out, static_cast<uint32_t>(records_.size()));
    for (size_t i = 0; i < records_.size(); ++i) {
      PutLe16(out, records_[i].tag);
      if (records_[i].inRecord) {
        out.insert(out.end(), records_[i].bytes.begin(), records_[i].bytes.end());
      } else {
        PutLe32(out, places[i].second);
        PutLe32(out, places[i].first);
      }
    }
    PutLe32(out, forced_ ? tableOffset_ : table);
    return out;
  }

private:
  struct sRecord {
    uint16_t tag;
    tBytes data;
    bool inRecord;
    tBytes bytes;
  };
  std::vector<sRecord> records_;
  uint32_t tableOffset_ = 0;
  bool forced_ = false;
};

// "II", the header length, "HEAPCCDR", a version word, then padding up to
// the root heap at 26.
inline tBytes CrwFile(const tBytes& root, const char* order = "II") {
  tBytes out = {static_cast<uint8_t>(order[0]), static_cast<uint8_t>(order[1])};
  PutLe32(out, 26);
  for (char c : std::string("HEAPCCDR")) out.push_back(static_cast<uint8_t>(c));
  PutLe32(out, 0x00010002);
  out.resize(26, 0);
  out.insert(out.end(), root.begin(), root.end());
  return out;
}

// What a camera file carries.
struct sCrwSpec {
  uint32_t modelId = 0x80000168;
  std::string makeModel = std::string("Canon") + '\0' + "EOS 10D" + '\0';
  uint32_t width = 64, height = 32;             // image info
  uint32_t sensorWidth = 72, sensorHeight = 36;  // sensor info
  uint32_t left = 4, top = 2;
  uint32_t tableIndex = 0;
  uint32_t dataSkip = 0;
  int32_t wbSetting = -1;                        // -1: no shot info record
  bool shotInfoFirst = true;
  uint32_t wbEntries = 10;                       // entries in the 0x10A9 table
  int32_t wbTableSize = -1;                      // override of its byte size
  tBytes raw;                                    // the coded data (after dataSkip filler)
  tBytes jpeg;                                   // preview, may be empty
  int32_t imageInfoSize = 28;
  int32_t fillerSize = -1;                       // bytes before the coded data; -1: dataSkip
  tBytes filler;                                 // their content when not empty (else zeros)
  float pixelAspect = 0.0f;                      // image info bytes 8-11
};

// WB entry e holds the levels 100 + e, 200 + e, 300 + e, 400 + e.
inline tBytes WbTable(const sCrwSpec& s) {
  tBytes t = Le16s({0});
  for (uint32_t e = 0; e < s.wbEntries; ++e) {
    const tBytes entry = Le16s({100 + e, 200 + e, 300 + e, 400 + e});
    t.insert(t.end(), entry.begin(), entry.end());
  }
  if (s.wbTableSize >= 0) t.resize(static_cast<size_t>(s.wbTableSize), 0xEE);
  return t;
}

inline tBytes CrwCamera(const sCrwSpec& s) {
  cHeap exif;
  tBytes shot(14, 0);
  if (s.wbSetting >= 0) {
    shot[12] = static_cast<uint8_t>(s.wbSetting);
    shot[13] = static_cast<uint8_t>(s.wbSetting >> 8);
  }
  if (s.wbSetting >= 0 && s.shotInfoFirst) exif.Data(0x102A, shot);
  exif.Data(0x10A9, WbTable(s));
  if (s.wbSetting >= 0 && !s.shotInfoFirst) exif.Data(0x102A, shot);
  exif.Data(0x1031, Le16s({0, s.sensorWidth, s.sensorHeight, 0, 0, s.left, s.top}));
  exif.Inline(0x1834, s.modelId);
  exif.Data(0x1835, Le32s({s.tableIndex, 0, s.dataSkip, 0}));
  uint32_t aspect = 0;
  std::memcpy(&aspect, &s.pixelAspect, 4);
  tBytes info = Le32s({s.width, s.height, aspect, 0, 0, 0, 0});
  info.resize(static_cast<size_t>(s.imageInfoSize), 0);
  cHeap props;
  props.Data(0x080A, tBytes(s.makeModel.begin(), s.makeModel.end()));
  props.Data(0x1810, info);
  props.Data(0x300B, exif.Build());
  tBytes raw(s.fillerSize >= 0 ? static_cast<size_t>(s.fillerSize) : s.dataSkip, 0);
  std::copy(s.filler.begin(), s.filler.begin() + static_cast<std::ptrdiff_t>(std::min(s.filler.size(), raw.size())),
            raw.begin());
  raw.insert(raw.end(), s.raw.begin(), s.raw.end());
  cHeap root;
  root.Data(0x2005, raw);
  if (!s.jpeg.empty()) root.Data(0x2007, s.jpeg);
  root.Data(0x300A, props.Build());
  return CrwFile(root.Build());
}

}  // namespace crw_test
