// A small DICOM data-set writer for the tests: explicit-VR little-endian
// elements after the 128-byte preamble and "DICM", or implicit-VR
// little-endian elements from offset 0 (the legacy layout). Sequences and
// items with defined or undefined lengths, and encapsulated pixel data.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace twtest {

class DicomWriter {
public:
  explicit DicomWriter(bool explicitVr) : explicit_(explicitVr) {
    if (explicit_) {
      bytes.assign(128, 0);
      bytes.insert(bytes.end(), {'D', 'I', 'C', 'M'});
    }
  }

  void Tag(uint16_t group, uint16_t element) {
    U16(group);
    U16(element);
  }
  // One element; vr is ignored in implicit mode.
  void Element(uint16_t group, uint16_t element, const char* vr, const std::vector<uint8_t>& value) {
    Tag(group, element);
    Length(vr, static_cast<uint32_t>(value.size()));
    bytes.insert(bytes.end(), value.begin(), value.end());
  }
  void US(uint16_t group, uint16_t element, uint16_t v) { Element(group, element, "US", {Lo(v), Hi(v)}); }
  void UL(uint16_t group, uint16_t element, uint32_t v) {
    Element(group, element, "UL",
            {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
             static_cast<uint8_t>(v >> 24)});
  }
  // Rows, columns, samples, planar configuration, bits allocated and stored.
  void Image(uint16_t rows, uint16_t columns, uint16_t samples, uint16_t bitsAllocated, uint16_t bitsStored,
             uint16_t planar = 0) {
    US(0x0028, 0x0002, samples);
    if (samples == 3) US(0x0028, 0x0006, planar);
    US(0x0028, 0x0010, rows);
    US(0x0028, 0x0011, columns);
    US(0x0028, 0x0100, bitsAllocated);
    US(0x0028, 0x0101, bitsStored);
  }
  void Pixels(const std::vector<uint8_t>& data, bool sixteen = false) {
    Element(0x7FE0, 0x0010, sixteen ? "OW" : "OB", data);
  }
  // Undefined-length sequence and item headers and their delimiters.
  void SequenceStart(uint16_t group, uint16_t element) {
    Tag(group, element);
    Length("SQ", 0xFFFFFFFFu);
  }
  void ItemStart(uint32_t length = 0xFFFFFFFFu) {
    Tag(0xFFFE, 0xE000);
    U32(length);
  }
  void ItemEnd() {
    Tag(0xFFFE, 0xE00D);
    U32(0);
  }
  void SequenceEnd() {
    Tag(0xFFFE, 0xE0DD);
    U32(0);
  }
  // Encapsulated pixel data: a basic offset table (empty, or one entry) and
  // one fragment, then the sequence delimiter.
  void Encapsulated(const std::vector<uint8_t>& fragment, bool offsetEntry) {
    Tag(0x7FE0, 0x0010);
    Length("OB", 0xFFFFFFFFu);
    ItemStart(offsetEntry ? 4 : 0);
    if (offsetEntry) U32(0);
    std::vector<uint8_t> f = fragment;
    if (f.size() % 2 == 1) f.push_back(0);
    ItemStart(static_cast<uint32_t>(f.size()));
    bytes.insert(bytes.end(), f.begin(), f.end());
    SequenceEnd();
  }

  void U16(uint16_t v) { bytes.insert(bytes.end(), {Lo(v), Hi(v)}); }
  void U32(uint32_t v) {
    U16(static_cast<uint16_t>(v));
    U16(static_cast<uint16_t>(v >> 16));
  }

  std::vector<uint8_t> bytes;

private:
  static uint8_t Lo(uint16_t v) { return static_cast<uint8_t>(v); }
  static uint8_t Hi(uint16_t v) { return static_cast<uint8_t>(v >> 8); }
  void Length(const char* vr, uint32_t length) {
    if (!explicit_) {
      U32(length);
      return;
    }
    bytes.push_back(static_cast<uint8_t>(vr[0]));
    bytes.push_back(static_cast<uint8_t>(vr[1]));
    static const char* const kLong[] = {"OB", "OD", "OF", "OW", "SQ", "UN", "UT"};
    for (const char* l : kLong) {
      if (std::strncmp(l, vr, 2) == 0) {
        U16(0);
        U32(length);
        return;
      }
    }
    U16(static_cast<uint16_t>(length));
  }

  bool explicit_;
};

}  // namespace twtest
