// See payload.h.
#include "package/payload.h"

#include <zlib.h>

#include <cstring>
#include <new>

#include "base/decompress_stream.h"
#include "base/memio.h"
#include "package/package_internal.h"

using tw::pkg::cPkgInput;

namespace {

constexpr uint32_t kPieceSize = 4096;
constexpr uint32_t kPieceOutputSize = 8192;
// Stored lengths from here on are refused (a buffer holds at most 2^31 - 1).
constexpr uint32_t kMaxStoredLength = 0x80000000u;

// The stream OpenPayloadStream hands out: the decoded bytes of the inner
// stream with the digest checked on the way (payload.h, rule c). Bytes are
// hashed in order from 0; a seek skips forward by reading, and a seek back
// starts the hash again, so every position is reached through hashed bytes.
class cPayloadStream final : public cFileIOTarget {
public:
  cPayloadStream(std::unique_ptr<cFileIOTarget> inner, uint64_t size, const uint8_t (&digest)[kSha256Size])
      : inner_(std::move(inner)), size_(size) {
    std::memcpy(digest_, digest, sizeof digest_);
    Sha256Init(&hash_);
  }

  uint64_t GetSize() override { return size_; }

  uint32_t Read(void* destination, uint32_t count) override {
    if (failed_ || destination == nullptr) return 0;
    if (count > size_ - position_) count = static_cast<uint32_t>(size_ - position_);
    if (count == 0) return 0;
    const uint32_t n = inner_->Read(destination, count);
    Sha256Update(&hash_, destination, n);
    position_ += n;
    if (position_ == size_ && !Verified()) {
      std::memset(destination, 0, n);  // damaged bytes are not handed out
      return 0;
    }
    return n;
  }

  bool Seek(uint64_t position) override {
    if (failed_ || position > size_) return false;
    if (position < position_) {
      if (!inner_->Seek(0)) return Fail();
      Sha256Init(&hash_);
      position_ = 0;
    }
    char scratch[kPieceSize];
    while (position_ < position) {
      const uint64_t want = position - position_;
      const uint32_t n = inner_->Read(scratch, want < sizeof scratch ? static_cast<uint32_t>(want) : kPieceSize);
      if (n == 0) return Fail();
      Sha256Update(&hash_, scratch, n);
      position_ += n;
    }
    return position_ != size_ || Verified();
  }

  bool SeekFromEnd(uint64_t distance) override { return Seek(distance >= size_ ? 0 : size_ - distance); }
  bool SetSize(uint64_t) override { return false; }
  void Close() override {
    inner_.reset();
    failed_ = true;
  }
  bool IsOpen() override { return inner_ != nullptr && !failed_; }

  std::unique_ptr<cFileIOTarget> Clone(bool independent) override {
    if (failed_ || inner_ == nullptr) return nullptr;
    std::unique_ptr<cFileIOTarget> inner = inner_->Clone(independent);
    if (inner == nullptr || !inner->Seek(0)) return nullptr;
    return std::make_unique<cPayloadStream>(std::move(inner), size_, digest_);
  }

private:
  bool Fail() {
    failed_ = true;
    return false;
  }
  // At the end: compares the digest; a mismatch fails the stream for good.
  bool Verified() {
    uint8_t got[kSha256Size];
    Sha256Final(&hash_, got);
    Sha256Init(&hash_);
    if (std::memcmp(got, digest_, sizeof got) == 0) return true;
    return Fail();
  }

  std::unique_ptr<cFileIOTarget> inner_;
  uint64_t size_;
  uint64_t position_ = 0;
  uint8_t digest_[kSha256Size];
  sSha256Ctx hash_;
  bool failed_ = false;
};

// Releases the deflate stream on every way out.
struct sDeflater {
  z_stream z{};
  bool live = false;
  ~sDeflater() {
    if (live) deflateEnd(&z);
  }
};

}  // namespace

sPayload* cPayloadList::At(uint32_t index) const {
  if (index >= count) return nullptr;
  auto* n = items.head;
  for (uint32_t i = 0; n != nullptr && i < index; ++i) n = n->next;
  return n != nullptr ? &n->value : nullptr;
}

namespace tw::pkg {

// The body of ReadPayloadList on a counting input; also used by the package
// reader.
bool ReadPayloadRecords(cPayloadList& list, cPkgInput& in) {
  list.Clear();
  uint32_t size = 0, stored = 0;
  if (!in.U32(size)) return false;
  for (;;) {
    if (!in.U32(stored)) return false;
    if (stored == 0) return size == 0;
    // Compared before the buffer is made: a length the data cannot hold
    // must not allocate.
    if (stored >= kMaxStoredLength || !in.Fits(uint64_t{stored} + kSha256Size)) return false;
    sPayload& p = list.Append();
    p.uncompressedSize = size;
    p.stored.Reallocate(static_cast<int32_t>(stored));
    if (!in.Bytes(p.digest, kSha256Size) || !in.Bytes(p.stored.data, stored)) return false;
    if (!in.U32(size)) return false;
  }
}

}  // namespace tw::pkg

bool ReadPayloadList(cPayloadList& list, cFileIOTarget* stream) {
  list.Clear();
  if (stream == nullptr) return false;
  cPkgInput in(stream);
  try {
    return tw::pkg::ReadPayloadRecords(list, in);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool WritePayloadList(const cPayloadList& list, cFileIOTarget* stream) {
  if (stream == nullptr || list.count == 0) return false;
  for (auto* n = list.items.head; n != nullptr; n = n->next) {
    const sPayload& p = n->value;
    if (!tw::pkg::WriteU32(stream, p.uncompressedSize) ||
        !tw::pkg::WriteU32(stream, static_cast<uint32_t>(p.stored.count)) ||
        !stream->WriteExact(p.digest, kSha256Size) ||
        !stream->WriteExact(p.stored.data, static_cast<uint32_t>(p.stored.count)))
      return false;
  }
  const uint8_t end[8] = {};
  return stream->WriteExact(end, sizeof end);
}

int32_t AddPayloadFromStream(cFileIOTarget* source, cPayloadList& list) {
  if (source == nullptr) return -1;
  const uint64_t size = source->GetSize();
  if (size >= (uint64_t{1} << 32)) return -1;
  if (size == 0) return kEmptyPayload;
  if (!source->Seek(0)) return -1;
  try {
    sSha256Ctx hash;
    Sha256Init(&hash);
    _typebuf<unsigned char> piece(kPieceSize);
    _typebuf<unsigned char> out(kPieceOutputSize);
    cMemIOTarget stored;
    sDeflater d;
    if (deflateInit2(&d.z, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return -1;
    d.live = true;
    uint64_t total = 0;
    bool finished = false;
    for (;;) {
      const uint32_t n = source->Read(piece.data, kPieceSize);
      if (n == 0) break;
      // Bytes after the finishing piece, or beyond the size: the source is
      // not what its size says.
      if (finished || total + n > size) return -1;
      total += n;
      Sha256Update(&hash, piece.data, n);
      finished = n < kPieceSize || total == size;
      const int flush = finished ? Z_FINISH : Z_PARTIAL_FLUSH;
      d.z.next_in = piece.data;
      d.z.avail_in = n;
      // One call fills less than the output buffer; loop only for safety.
      do {
        const uLong before = d.z.total_out;
        d.z.next_out = out.data;
        d.z.avail_out = kPieceOutputSize;
        const int rc = deflate(&d.z, flush);
        if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) return -1;
        if (d.z.total_out == 0) return -1;
        const uint32_t produced = static_cast<uint32_t>(d.z.total_out - before);
        if (!stored.WriteExact(out.data, produced)) return -1;
        if (rc == Z_STREAM_END) break;
      } while (d.z.avail_out == 0 || d.z.avail_in != 0 || flush == Z_FINISH);
    }
    if (!finished || total != size) return -1;
    _typebuf<char> bytes;
    if (!stored.CopyToBuffer(bytes)) return -1;
    sPayload& p = list.Append();
    p.stored = std::move(bytes);
    p.uncompressedSize = static_cast<uint32_t>(size);
    Sha256Final(&hash, p.digest);
    return static_cast<int32_t>(list.count - 1);
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

std::unique_ptr<cFileIOTarget> OpenPayloadStream(uint32_t index, const cPayloadList& list) {
  const sPayload* p = list.At(index);
  if (p == nullptr || p->stored.count <= 0) return nullptr;
  try {
    auto buffer = std::make_unique<cBufWrapperIO>(p->stored.data, static_cast<uint32_t>(p->stored.count));
    if (!buffer->IsOpen()) return nullptr;
    if (p->uncompressedSize == 0)
      return std::make_unique<cPayloadStream>(std::move(buffer), static_cast<uint64_t>(p->stored.count), p->digest);
    auto z = std::make_unique<cZStream>();
    // The stream owns the buffer stream from here on, also when it fails.
    if (!z->OpenDeflate(buffer.release(), p->uncompressedSize, kPieceSize, true, 15)) return nullptr;
    return std::make_unique<cPayloadStream>(std::move(z), p->uncompressedSize, p->digest);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

bool Sha256OfStream(cFileIOTarget* stream, uint8_t (&digest)[kSha256Size]) {
  if (stream == nullptr) return false;
  sSha256Ctx hash;
  Sha256Init(&hash);
  char piece[kPieceSize];
  for (;;) {
    const uint32_t n = stream->Read(piece, kPieceSize);
    if (n == 0) break;
    Sha256Update(&hash, piece, n);
  }
  Sha256Final(&hash, digest);
  return true;
}
