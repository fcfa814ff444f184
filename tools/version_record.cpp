// The own version and the version record. See version_record.h.
#include "tools/version_record.h"

#include "base/format.h"

namespace {
constexpr char16_t kOwnVersionText[] = u"1.11";
}

uint64_t ParseVersionText(const char16_t* text) {
  int parts[4] = {0, 0, 0, 0};
  if (text == nullptr || ScanW(text, u"%d.%d.%d.%d", &parts[0], &parts[1], &parts[2], &parts[3]) < 1) {
    return tw::kNoVersion;
  }
  uint64_t version = 0;
  for (int part : parts) version = version << 16 | (static_cast<uint32_t>(part) & 0xFFFFu);
  return version;
}

uint64_t GetOwnVersion() { return ParseVersionText(kOwnVersionText); }

void EncodeVersionRecord(uint64_t version, uint8_t out[16]) {
  const uint64_t words[2] = {
      static_cast<uint64_t>(tw::kVersionRecordKind) << 32 | tw::kVersionRecordMagic, version};
  for (int w = 0; w < 2; ++w) {
    for (int i = 0; i < 8; ++i) out[w * 8 + i] = static_cast<uint8_t>(words[w] >> (8 * i));
  }
}

uint64_t DecodeVersionRecord(const uint8_t* bytes) {
  uint64_t words[2] = {0, 0};
  for (int w = 0; w < 2; ++w) {
    for (int i = 7; i >= 0; --i) words[w] = words[w] << 8 | bytes[w * 8 + i];
  }
  if (static_cast<uint32_t>(words[0]) != tw::kVersionRecordMagic ||
      static_cast<uint32_t>(words[0] >> 32) != tw::kVersionRecordKind) {
    return tw::kNoVersion;
  }
  return words[1];
}
