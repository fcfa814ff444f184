// zlib side of decompress.h: cZDecompress and the one-shot helpers. See the
// header for the contracts.
#include <cstring>
#include <memory>
#include <new>

#include "base/decompress.h"
#include "base/memio.h"

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(z_stream) == 56, "the 32-bit z_stream layout");
#endif

namespace {

// zlib checks the version and structure size it was built with against the
// caller's; pass the real ones (the 32-bit z_stream is 56 bytes).
int InitInflate(z_stream* s, int windowBits) {
  return inflateInit2_(s, windowBits, ZLIB_VERSION, static_cast<int>(sizeof(z_stream)));
}

enum class eInflateEnd { kStreamEnd, kInputUsed, kDamage, kOverCap, kNoMemory };

constexpr int32_t kStepSize = 65536;

// Inflates count bytes at data with an initialised stream into out, 64 KiB
// at a time, until the stream ends, the input is used up, zlib reports
// damage or more than cap bytes would be produced (out is then cut to cap).
eInflateEnd InflateInto(z_stream& s, const void* data, int32_t count, cMemIOTarget& out, int32_t cap) {
  if (count == 0) return eInflateEnd::kInputUsed;
  std::unique_ptr<char[]> block(new (std::nothrow) char[kStepSize]);
  if (block == nullptr) return eInflateEnd::kNoMemory;
  s.next_in = static_cast<Bytef*>(const_cast<void*>(data));
  s.avail_in = static_cast<uInt>(count);
  for (;;) {
    // One byte beyond the cap is enough to tell that the data goes on, and
    // bounds what a bomb can make us allocate.
    const uint64_t limit = static_cast<uint64_t>(cap) - out.GetSize() + 1;
    const uint32_t room = limit < kStepSize ? static_cast<uint32_t>(limit) : kStepSize;
    s.next_out = reinterpret_cast<Bytef*>(block.get());
    s.avail_out = room;
    const int ret = inflate(&s, Z_PARTIAL_FLUSH);
    const uint32_t produced = room - s.avail_out;
    if (out.Write(block.get(), produced) != produced) return eInflateEnd::kNoMemory;
    if (out.GetSize() > static_cast<uint64_t>(cap)) {
      out.SetSize(static_cast<uint64_t>(cap));
      return eInflateEnd::kOverCap;
    }
    if (ret == Z_STREAM_END) return eInflateEnd::kStreamEnd;
    if (ret == Z_OK) continue;  // also with the input used up: output may still be pending
    if (ret == Z_BUF_ERROR && s.avail_in == 0) return eInflateEnd::kInputUsed;
    return eInflateEnd::kDamage;
  }
}

}  // namespace

cZDecompress::cZDecompress(int32_t windowBits) : windowBits_(windowBits) {}

cZDecompress::~cZDecompress() {
  if (initialised_) inflateEnd(&stream_);
}

bool cZDecompress::EnsureInitialised() {
  if (initialised_) return true;
  std::memset(&stream_, 0, sizeof stream_);
  if (InitInflate(&stream_, windowBits_) != Z_OK) return false;
  initialised_ = true;
  return inflateReset(&stream_) == Z_OK;
}

bool cZDecompress::Decompress(const _typebuf<char>& input, _typebuf<char>& output, int32_t outputCap) {
  endReached_ = false;
  if (outputCap < 0 || input.count < 0 || (input.count > 0 && input.data == nullptr)) return false;
  z_stream s;
  std::memset(&s, 0, sizeof s);
  if (InitInflate(&s, windowBits_) != Z_OK) return false;
  if (inflateReset(&s) != Z_OK) {
    inflateEnd(&s);
    return false;
  }
  cMemIOTarget out;
  const eInflateEnd end = InflateInto(s, input.data, input.count, out, outputCap);
  inflateEnd(&s);
  endReached_ = end == eInflateEnd::kStreamEnd;
  const bool copied = out.CopyToBuffer(output);
  return copied && end != eInflateEnd::kOverCap && end != eInflateEnd::kNoMemory;
}

bool cZDecompress::InflateWhole(const void* data, int32_t count, _typebuf<char>& output, int32_t outputCap) {
  endReached_ = false;
  if (outputCap < 0 || count < 0 || (count > 0 && data == nullptr)) return false;
  if (!EnsureInitialised()) return false;
  cMemIOTarget out;
  const eInflateEnd end = InflateInto(stream_, data, count, out, outputCap);
  endReached_ = end == eInflateEnd::kStreamEnd;
  const bool copied = out.CopyToBuffer(output);
  return copied && (end == eInflateEnd::kStreamEnd || end == eInflateEnd::kInputUsed);
}

bool cZDecompress::InflateStep(int32_t& outputCount, const void* data, int32_t& inputCount, void* output) {
  if (!EnsureInitialised()) return false;
  if (outputCount < 0) return false;
  if (data != nullptr) {
    if (inputCount < 0) return false;
    stream_.next_in = static_cast<Bytef*>(const_cast<void*>(data));
    stream_.avail_in = static_cast<uInt>(inputCount);
  } else if (stream_.avail_in == 0) {
    outputCount = 0;
    inputCount = 0;
    return true;
  }
  const uInt inBefore = stream_.avail_in;
  stream_.next_out = static_cast<Bytef*>(output);
  stream_.avail_out = static_cast<uInt>(outputCount);
  const int ret = inflate(&stream_, Z_FULL_FLUSH);  // inflate treats it as a sync flush
  inputCount = static_cast<int32_t>(inBefore - stream_.avail_in);
  outputCount -= static_cast<int32_t>(stream_.avail_out);
  if (ret == Z_STREAM_END) endReached_ = true;
  return ret == Z_OK || ret == Z_STREAM_END;
}

bool cZDecompress::Reset() {
  if (!initialised_) return false;
  endReached_ = false;
  return inflateReset(&stream_) == Z_OK;
}

uint32_t ZInflateWhole(z_stream* stream, const void* input, uint32_t count, void* output, uint32_t room) {
  if (stream == nullptr) return 0;
  stream->next_in = static_cast<Bytef*>(const_cast<void*>(input));
  stream->avail_in = count;
  stream->next_out = static_cast<Bytef*>(output);
  stream->avail_out = room;
  stream->total_in = 0;
  stream->total_out = 0;
  if (inflateReset(stream) != Z_OK) return 0;
  inflate(stream, Z_FINISH);
  return static_cast<uint32_t>(stream->total_out);
}

void ZInflateStop(z_stream* stream) {
  if (stream != nullptr) inflateEnd(stream);
}

bool ZDeflateStart(z_stream* stream, int32_t level) {
  if (stream == nullptr) return false;
  std::memset(stream, 0, sizeof *stream);
  return deflateInit2_(stream, level, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY, ZLIB_VERSION,
                       static_cast<int>(sizeof(z_stream))) == Z_OK;
}

uint32_t ZDeflateWhole(z_stream* stream, const void* input, uint32_t count, void* output, uint32_t room) {
  if (stream == nullptr) return 0;
  stream->next_in = static_cast<Bytef*>(const_cast<void*>(input));
  stream->avail_in = count;
  stream->next_out = static_cast<Bytef*>(output);
  stream->avail_out = room;
  if (deflateReset(stream) != Z_OK) return 0;
  deflate(stream, Z_FINISH);
  return static_cast<uint32_t>(stream->total_out);
}

void ZDeflateStop(z_stream* stream) {
  if (stream != nullptr) deflateEnd(stream);
}
