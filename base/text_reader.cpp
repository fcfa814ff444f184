// See base/text_reader.h.
#include "base/text_reader.h"

#include <cstring>

#include "base/strings.h"

namespace {

// A block of exactly bytes bytes, kept when it already has that size (the
// size changes only with the encoding).
void EnsureBlock(_typebuf<char>& block, int32_t bytes) {
  if (block.count != bytes || block.data == nullptr) block.Reallocate(bytes);
}

}  // namespace

cTextFileReader::~cTextFileReader() {
  block1_.Reset();
  block2_.Reset();
  block3_.Reset();
  cFileIO::Close();
}

void cTextFileReader::ForgetBlock() {
  blockStart_ = UINT64_MAX;
  bytesInBlock1_ = 0;
}

bool cTextFileReader::Open(const char16_t* path) {
  source_ = nullptr;
  ForgetBlock();
  if (!cFileIO::Open(path, kFileRead)) return false;
  source_ = this;
  SetEncoding(kDetect);
  return true;
}

bool cTextFileReader::Attach(cFileIOTarget* stream) {
  cFileIO::Close();
  source_ = stream;
  ForgetBlock();
  if (stream == nullptr) return false;
  return SetEncoding(kUtf8);
}

bool cTextFileReader::SetEncoding(int encoding) {
  if (source_ == nullptr || encoding < kDetect || encoding > kUtf16BeBom) return false;
  unsigned char m[3] = {0, 0, 0};
  switch (encoding) {
    case kDetect: {
      const uint32_t got = source_->Read(m, 3);
      if (got >= 2 && m[0] == 0xFF && m[1] == 0xFE) {
        encoding = kUtf16LeBom;
        markSize_ = 2;
      } else if (got >= 2 && m[0] == 0xFE && m[1] == 0xFF) {
        encoding = kUtf16BeBom;
        markSize_ = 2;
      } else if (got == 3 && m[0] == 0xEF && m[1] == 0xBB && m[2] == 0xBF) {
        encoding = kUtf8;
        markSize_ = 3;
      } else {
        encoding = kUtf16Le;  // no mark (or fewer than 2 bytes)
        markSize_ = 0;
      }
      break;
    }
    case kUtf8:
      markSize_ = source_->ReadExact(m, 3) && m[0] == 0xEF && m[1] == 0xBB && m[2] == 0xBF ? 3 : 0;
      break;
    case kUtf16LeBom:
      markSize_ = source_->ReadExact(m, 2) && m[0] == 0xFF && m[1] == 0xFE ? 2 : 0;
      break;
    case kUtf16BeBom:
      markSize_ = source_->ReadExact(m, 2) && m[0] == 0xFE && m[1] == 0xFF ? 2 : 0;
      break;
    default:  // kUtf16Le
      markSize_ = 0;
      break;
  }
  encoding_ = encoding;
  ForgetBlock();  // the block size follows the encoding
  return Rewind();
}

bool cTextFileReader::Rewind() {
  if (source_ == nullptr) return false;
  position_ = static_cast<uint64_t>(markSize_);
  return source_->Seek(position_);
}

int32_t cTextFileReader::ScanLine(const char* p, int32_t units, int32_t* terminator) const {
  const auto* b = reinterpret_cast<const unsigned char*>(p);
  auto unitAt = [&](int32_t i) -> uint32_t {
    switch (encoding_) {
      case kUtf8: return b[i];
      case kUtf16BeBom: return (uint32_t{b[2 * i]} << 8) | b[2 * i + 1];
      default: return b[2 * i] | (uint32_t{b[2 * i + 1]} << 8);
    }
  };
  for (int32_t i = 0; i < units; ++i) {
    const uint32_t u = unitAt(i);
    if (u == 0 || u == '\n' || u == '\r') {
      // CR LF is one end only when the LF lies in this block.
      *terminator = (u == '\r' && i + 1 < units && unitAt(i + 1) == '\n') ? 2 : 1;
      return i;
    }
  }
  *terminator = 0;
  return units;
}

void cTextFileReader::Convert(const char* p, int32_t units, _typebuf<char16_t>& out) const {
  if (encoding_ == kUtf8) {
    Utf8ToWordBuffer(units, out, p);
    return;
  }
  out.Reallocate(units);
  const auto* b = reinterpret_cast<const unsigned char*>(p);
  const bool big = encoding_ == kUtf16BeBom;
  for (int32_t i = 0; i < units; ++i) {
    const unsigned hi = big ? b[2 * i] : b[2 * i + 1];
    const unsigned lo = big ? b[2 * i + 1] : b[2 * i];
    out.data[i] = static_cast<char16_t>((hi << 8) | lo);
  }
}

bool cTextFileReader::ReadLine(_typebuf<char16_t>& out) {
  lineTooLong_ = false;
  if (source_ == nullptr) return false;
  const int32_t unit = UnitBytes();
  const int32_t blockBytes = BlockBytes();
  EnsureBlock(block1_, blockBytes);

  // Refill block 1 when the position lies outside its data.
  if (blockStart_ == UINT64_MAX || position_ < blockStart_ ||
      position_ - blockStart_ >= static_cast<uint64_t>(bytesInBlock1_)) {
    if (!source_->Seek(position_)) return false;
    const uint32_t got = source_->Read(block1_.data, static_cast<uint32_t>(blockBytes));
    bytesInBlock1_ = got > static_cast<uint32_t>(blockBytes) ? blockBytes : static_cast<int32_t>(got);
    blockStart_ = position_;
    if (bytesInBlock1_ == 0) return false;
  }
  const auto offset = static_cast<int32_t>(position_ - blockStart_);
  const int32_t units = (bytesInBlock1_ - offset) / unit;
  // Fewer bytes than one unit left: the end of the data, never an empty line
  // (the position could not advance past them).
  if (units == 0) return false;

  const char* start = block1_.data + offset;
  int32_t terminator = 0;
  const int32_t length = ScanLine(start, units, &terminator);
  position_ += static_cast<uint64_t>(length + terminator) * static_cast<uint64_t>(unit);
  if (terminator != 0) {
    Convert(start, length, out);
    return true;
  }

  // The line runs to the end of block 1: its continuation comes from block 2.
  EnsureBlock(block2_, blockBytes);
  if (!source_->Seek(position_)) return false;
  uint32_t got2 = source_->Read(block2_.data, static_cast<uint32_t>(blockBytes));
  if (got2 > static_cast<uint32_t>(blockBytes)) got2 = static_cast<uint32_t>(blockBytes);
  if (got2 == 0) {
    // The last line, without an end. Block 1 is spent: the next call reads
    // afresh and finds the end of the data.
    Convert(start, length, out);
    blockStart_ = position_;
    bytesInBlock1_ = 0;
    return true;
  }
  const int32_t units2 = static_cast<int32_t>(got2) / unit;
  int32_t terminator2 = 0;
  const int32_t length2 = ScanLine(block2_.data, units2, &terminator2);
  position_ += static_cast<uint64_t>(length2 + terminator2) * static_cast<uint64_t>(unit);
  if (length + length2 > kMaxLineUnits) {
    lineTooLong_ = true;
    return false;
  }
  EnsureBlock(block3_, blockBytes);
  std::memcpy(block3_.data, start, static_cast<size_t>(length) * unit);
  std::memcpy(block3_.data + length * unit, block2_.data, static_cast<size_t>(length2) * unit);
  Convert(block3_.data, length + length2, out);
  return true;
}
