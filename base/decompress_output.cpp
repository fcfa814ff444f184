// See decompress_output.h.
#include "base/decompress_output.h"

#include <cstring>
#include <new>

namespace tw {

char* cChunkedOutput::Room(int32_t limit, int32_t& room) {
  if (lastUsed_ == kChunkSize) {
    std::unique_ptr<char[]> chunk(new (std::nothrow) char[kChunkSize]);
    if (!chunk) return nullptr;
    try {
      chunks_.push_back(std::move(chunk));
    } catch (const std::bad_alloc&) {
      return nullptr;
    }
    lastUsed_ = 0;
  }
  room = kChunkSize - lastUsed_;
  if (room > limit) room = limit;
  return chunks_.back().get() + lastUsed_;
}

bool cChunkedOutput::Append(const void* data, int32_t n) {
  const char* p = static_cast<const char*>(data);
  while (n > 0) {
    int32_t room = 0;
    char* dst = Room(n, room);
    if (dst == nullptr) return false;
    std::memcpy(dst, p, static_cast<size_t>(room));
    Commit(room);
    p += room;
    n -= room;
  }
  return true;
}

void cChunkedOutput::Truncate(int64_t n) {
  if (n >= size_) return;
  const size_t keep = static_cast<size_t>((n + kChunkSize - 1) / kChunkSize);
  chunks_.resize(keep);
  size_ = n;
  lastUsed_ = keep == 0 ? kChunkSize : static_cast<int32_t>(n - static_cast<int64_t>(keep - 1) * kChunkSize);
}

bool cChunkedOutput::CopyTo(_typebuf<char>& out) const {
  try {
    out.Reallocate(static_cast<int32_t>(size_));
  } catch (const std::bad_alloc&) {
    out.Reset();
    return false;
  }
  int64_t done = 0;
  for (const auto& chunk : chunks_) {
    if (done == size_) break;
    const int64_t n = size_ - done < kChunkSize ? size_ - done : kChunkSize;
    std::memcpy(out.data + done, chunk.get(), static_cast<size_t>(n));
    done += n;
  }
  return true;
}

}  // namespace tw
