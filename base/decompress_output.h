// Internal to the whole-buffer decompressors (decompress.h never includes
// this): decoded bytes are gathered in 64 KiB chunks, so growing never
// copies earlier output, and copied once into the caller's buffer.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "base/buffers.h"

namespace tw {

class cChunkedOutput {
public:
  static constexpr int32_t kChunkSize = 65536;

  int64_t Size() const { return size_; }

  // Free space at the end, at most limit bytes (limit >= 1): a pointer and
  // its room; a new chunk is made when the last one is full. Null when
  // memory runs out.
  char* Room(int32_t limit, int32_t& room);
  // Marks n bytes of the last Room as written.
  void Commit(int32_t n) { size_ += n; lastUsed_ += n; }
  // Appends n bytes; false when memory runs out (part may have been added).
  bool Append(const void* data, int32_t n);
  // Drops bytes beyond n (n <= Size()).
  void Truncate(int64_t n);
  // Replaces out by exactly Size() bytes; false when it cannot be allocated.
  bool CopyTo(_typebuf<char>& out) const;

private:
  std::vector<std::unique_ptr<char[]>> chunks_;
  int32_t lastUsed_ = kChunkSize;  // bytes used in the last chunk
  int64_t size_ = 0;
};

}  // namespace tw
