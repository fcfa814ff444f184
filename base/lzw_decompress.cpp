// LZW side of decompress.h. See the header for the contract.
//
// Codes: below the clear code a literal (its one byte), then the clear and
// end codes, then table strings from firstFree_ on. Every table string is
// stored whole (prefix plus its last byte) in the arena, so a code is written
// out with one copy; a clear code releases all strings at once.
#include <cstring>

#include "base/decompress.h"

namespace {

// The one-byte strings of the literal codes: byte i is i.
constexpr struct sLiteralBytes {
  unsigned char b[256];
  constexpr sLiteralBytes() : b() {
    for (int i = 0; i < 256; ++i) b[i] = static_cast<unsigned char>(i);
  }
} kLiterals;

}  // namespace

cLZWDecompress::cLZWDecompress(int32_t initialWidth, bool mostSignificantFirst, bool earlyChange)
    : mostSignificantFirst_(mostSignificantFirst), earlyChange_(earlyChange) {
  if (initialWidth < 1 || initialWidth > 9) initialWidth = 9;
  initialWidth_ = initialWidth;
  clearCode_ = static_cast<uint16_t>(1u << (initialWidth - 1));
  endCode_ = static_cast<uint16_t>(clearCode_ + 1);
  firstFree_ = static_cast<uint16_t>(clearCode_ + 2);
  width_ = static_cast<uint8_t>(initialWidth);
}

bool cLZWDecompress::ReadCode(uint32_t& code) {
  // Bits left from the current position; a code needing more ends the data.
  const int64_t bitsLeft = (static_cast<int64_t>(inputCount_) - bytePosition_) * 8 - bitOffset_;
  if (bitsLeft < width_) return false;
  // width <= 12 and offset <= 7: the code lies within three bytes.
  uint32_t b[3] = {0, 0, 0};
  for (int i = 0; i < 3 && bytePosition_ + i < inputCount_; ++i) b[i] = input_[bytePosition_ + i];
  const uint32_t mask = (1u << width_) - 1;
  if (mostSignificantFirst_) {
    const uint32_t v = (b[0] << 16) | (b[1] << 8) | b[2];
    code = (v >> (24 - bitOffset_ - width_)) & mask;
  } else {
    const uint32_t v = b[0] | (b[1] << 8) | (b[2] << 16);
    code = (v >> bitOffset_) & mask;
  }
  const uint32_t offset = bitOffset_ + width_;
  bytePosition_ += static_cast<int32_t>(offset / 8);
  bitOffset_ = static_cast<uint8_t>(offset % 8);
  return true;
}

bool cLZWDecompress::AddString(const sString& prefix, unsigned char last) {
  if (tableCount_ >= kMaxTableStrings) return true;  // a full table is kept as it is
  // Strings grow by one byte per entry, so a length stays below the table size.
  auto* bytes = static_cast<unsigned char*>(pool_.Alloc(static_cast<int32_t>(prefix.length) + 1));
  if (bytes == nullptr) return false;
  std::memcpy(bytes, prefix.bytes, prefix.length);
  bytes[prefix.length] = last;
  table_[tableCount_] = {bytes, prefix.length + 1};
  ++tableCount_;
  // The code that the next new string will take; TIFF's early change widens
  // the codes one string sooner than GIF does.
  const uint32_t next = firstFree_ + tableCount_ + (earlyChange_ ? 1u : 0u);
  if ((next & (next - 1)) == 0 && width_ < kMaxWidth) ++width_;
  return true;
}

void cLZWDecompress::ClearTable() {
  tableCount_ = 0;
  width_ = static_cast<uint8_t>(initialWidth_);
  pool_.FreeAll();
}

bool cLZWDecompress::Decompress(const _typebuf<char>& input, _typebuf<char>& output, int32_t outputCap) {
  endReached_ = false;
  ClearTable();
  bytePosition_ = 0;  // each call decodes its buffer from the start
  bitOffset_ = 0;
  if (input.data == nullptr || input.count <= 0 || outputCap < 0) return false;
  input_ = reinterpret_cast<const unsigned char*>(input.data);
  inputCount_ = input.count;

  output_.Close();
  bool result = true;
  sString previous = {kLiterals.b, 1};
  // At the start of the data and after every clear code no string precedes
  // the next code: it must be a literal (or the end code) and adds nothing.
  bool fresh = true;
  bool afterClear = false;
  // Writes a string, as far as the cap allows; false when it did not fit.
  auto emit = [&](const unsigned char* p, uint32_t n) {
    const uint64_t room = static_cast<uint64_t>(outputCap) - output_.GetSize();
    const uint32_t take = n < room ? n : static_cast<uint32_t>(room);
    return output_.Write(p, take) == take && take == n;
  };

  uint32_t code = 0;
  while (ReadCode(code)) {
    if (code == endCode_) {
      endReached_ = true;
      break;
    }
    if (fresh && (code > clearCode_ || (afterClear && code == clearCode_))) {
      break;  // neither a literal nor the end code where one must come: result unchanged
    }
    if (code == clearCode_) {
      ClearTable();
      fresh = afterClear = true;
      continue;
    }
    if (fresh) {
      previous = {kLiterals.b + code, 1};
      if (!emit(previous.bytes, 1)) {
        result = false;
        break;
      }
      fresh = afterClear = false;
      continue;
    }
    const uint32_t next = static_cast<uint32_t>(firstFree_) + tableCount_;
    if (code > next) {
      result = false;
      break;
    }
    if (code == next) {
      // The string being defined by this very code: previous plus its own
      // first byte.
      if (tableCount_ >= kMaxTableStrings) {
        result = false;
        break;
      }
      const unsigned char first = previous.bytes[0];
      if (!AddString(previous, first)) {
        result = false;
        break;
      }
      previous = table_[tableCount_ - 1];
      if (!emit(previous.bytes, previous.length)) {
        result = false;
        break;
      }
      continue;
    }
    const sString current = code < clearCode_ ? sString{kLiterals.b + code, 1} : table_[code - firstFree_];
    if (!emit(current.bytes, current.length) || !AddString(previous, current.bytes[0])) {
      result = false;
      break;
    }
    previous = current;
  }
  input_ = nullptr;
  inputCount_ = 0;
  if (!output_.CopyToBuffer(output)) result = false;
  output_.Close();
  pool_.FreeAll();
  return result;
}
