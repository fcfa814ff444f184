// See base/memio.h.
#include "base/memio.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

uint32_t Smaller(uint64_t a, uint32_t b) { return a < b ? static_cast<uint32_t>(a) : b; }

}  // namespace

// ---------------------------------------------------------------- cMemIOTarget

char* cMemIOTarget::FindPage(int32_t index) {
  if (index == cachedIndex_) return cachedPage_;
  _typebuf<char>* page = pages_.Find(index);
  if (page == nullptr) return nullptr;
  cachedIndex_ = index;
  cachedPage_ = page->data;
  return cachedPage_;
}

char* cMemIOTarget::CreatePage(int32_t index) {
  if (char* p = FindPage(index)) return p;
  _typebuf<char> fresh(static_cast<int32_t>(kPageSize));
  std::memset(fresh.data, 0, kPageSize);
  _typebuf<char>* slot = pages_.FindOrInsert(index);
  if (slot == nullptr) throw std::bad_alloc();
  *slot = std::move(fresh);
  cachedIndex_ = index;
  cachedPage_ = slot->data;
  return cachedPage_;
}

uint32_t cMemIOTarget::Read(void* destination, uint32_t count) {
  if (destination == nullptr || position_ >= size_) return 0;
  const uint32_t n = Smaller(size_ - position_, count);
  char* out = static_cast<char*>(destination);
  uint32_t done = 0;
  while (done < n) {
    const auto index = static_cast<int32_t>(position_ / kPageSize);
    const uint32_t offset = static_cast<uint32_t>(position_ % kPageSize);
    const uint32_t chunk = std::min(n - done, kPageSize - offset);
    const char* page = FindPage(index);
    if (page != nullptr)
      std::memcpy(out + done, page + offset, chunk);
    else
      std::memset(out + done, 0, chunk);
    done += chunk;
    position_ += chunk;
  }
  return n;
}

uint32_t cMemIOTarget::Write(const void* source, uint32_t count) {
  if (source == nullptr || count == 0 || position_ >= kMaxSize) return 0;
  const uint32_t n = Smaller(kMaxSize - position_, count);
  const char* in = static_cast<const char*>(source);
  uint32_t done = 0;
  while (done < n) {
    const auto index = static_cast<int32_t>(position_ / kPageSize);
    const uint32_t offset = static_cast<uint32_t>(position_ % kPageSize);
    const uint32_t chunk = std::min(n - done, kPageSize - offset);
    char* page;
    try {
      page = CreatePage(index);
    } catch (const std::bad_alloc&) {
      break;  // a short count tells the caller
    }
    std::memcpy(page + offset, in + done, chunk);
    done += chunk;
    position_ += chunk;
    if (position_ > size_) size_ = position_;
  }
  return done;
}

bool cMemIOTarget::Seek(uint64_t position) {
  if (position > size_) {
    position_ = size_;
    return false;
  }
  position_ = position;
  return true;
}

bool cMemIOTarget::SeekFromEnd(uint64_t distance) {
  if (distance > size_) {
    position_ = 0;
    return false;
  }
  position_ = size_ - distance;
  return true;
}

bool cMemIOTarget::SetSize(uint64_t size) {
  if (size > kMaxSize) return false;
  if (size == 0) {
    Close();
    return true;
  }
  ForgetCache();
  // Pages wholly past the new end go, highest first (erasing the last node
  // re-inserts only its smaller subtree).
  const uint64_t firstDead = (size + kPageSize - 1) / kPageSize;
  for (auto* last = pages_.Last(); last != nullptr && static_cast<uint64_t>(last->key) >= firstDead;
       last = pages_.Last())
    pages_.Erase(last);
  // Bytes past the end stay zero, so that growing again shows zeros.
  const uint32_t tail = static_cast<uint32_t>(size % kPageSize);
  if (tail != 0) {
    if (char* page = FindPage(static_cast<int32_t>(size / kPageSize)))
      std::memset(page + tail, 0, kPageSize - tail);
  }
  size_ = size;
  if (position_ > size_) position_ = size_;
  return true;
}

void cMemIOTarget::Close() {
  pages_.Clear();
  ForgetCache();
  position_ = 0;
  size_ = 0;
}

std::unique_ptr<cFileIOTarget> cMemIOTarget::Clone(bool) {
  try {
    auto copy = std::make_unique<cMemIOTarget>();
    for (auto* n = pages_.First(); n != nullptr; n = tPages::Next(n)) {
      char* page = copy->CreatePage(n->key);
      std::memcpy(page, n->value.data, kPageSize);
    }
    copy->size_ = size_;
    copy->position_ = size_;
    return copy;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

bool cMemIOTarget::CopyToBuffer(_typebuf<char>& destination) {
  if (size_ > static_cast<uint64_t>(INT32_MAX)) return false;
  _typebuf<char> out;
  try {
    out.Reallocate(static_cast<int32_t>(size_));
  } catch (const std::bad_alloc&) {
    return false;
  }
  const uint64_t keep = position_;
  position_ = 0;
  Read(out.data, static_cast<uint32_t>(size_));
  position_ = keep;
  destination = std::move(out);
  return true;
}

// --------------------------------------------------------------- cBufWrapperIO

bool cBufWrapperIO::Attach(void* buffer, uint32_t size, bool writable) {
  buffer_ = static_cast<char*>(buffer);
  size_ = buffer != nullptr ? size : 0;
  position_ = 0;
  readOnly_ = !writable;
  return IsOpen();
}

bool cBufWrapperIO::Attach(const void* buffer, uint32_t size) {
  // Never written through: readOnly_ guards every write.
  return Attach(const_cast<void*>(buffer), size, false);
}

uint32_t cBufWrapperIO::Read(void* destination, uint32_t count) {
  if (buffer_ == nullptr || destination == nullptr || position_ >= size_) return 0;
  const uint32_t n = Smaller(size_ - position_, count);
  if (n == 1)
    *static_cast<char*>(destination) = buffer_[position_];
  else
    std::memcpy(destination, buffer_ + position_, n);
  position_ += n;
  return n;
}

uint32_t cBufWrapperIO::Write(const void* source, uint32_t count) {
  if (buffer_ == nullptr || source == nullptr || readOnly_ || position_ >= size_) return 0;
  const uint32_t n = Smaller(size_ - position_, count);
  if (n == 1)
    buffer_[position_] = *static_cast<const char*>(source);
  else
    std::memcpy(buffer_ + position_, source, n);
  position_ += n;
  return n;
}

bool cBufWrapperIO::Seek(uint64_t position) {
  if (position > size_) {
    position_ = size_;
    return false;
  }
  position_ = position;
  return true;
}

bool cBufWrapperIO::SeekFromEnd(uint64_t distance) {
  if (distance > size_) {
    position_ = 0;
    return false;
  }
  position_ = size_ - distance;
  return true;
}

void cBufWrapperIO::Close() {
  buffer_ = nullptr;
  size_ = 0;
  position_ = 0;
  readOnly_ = false;
}

std::unique_ptr<cFileIOTarget> cBufWrapperIO::Clone(bool) {
  if (buffer_ == nullptr) return nullptr;
  auto copy = std::unique_ptr<cBufWrapperIO>(new (std::nothrow) cBufWrapperIO);
  if (copy == nullptr) return nullptr;
  copy->Attach(buffer_, size_, !readOnly_);
  return copy;
}

// ------------------------------------------------------------- cFileIOSubRange

void cFileIOSubRange::Clamp(uint64_t offset, uint64_t length) {
  position_ = 0;
  if (source_ == nullptr) {
    offset_ = length_ = 0;
    return;
  }
  const uint64_t size = source_->GetSize();
  length = std::min(length, size);
  offset = std::min(offset, size);
  length = std::min(length, size - offset);
  offset_ = offset;
  length_ = length;
}

bool cFileIOSubRange::Attach(cFileIOTarget* source, uint64_t offset, uint64_t length) {
  if (owned_.get() != source) owned_.reset();  // re-attaching the owned source keeps it owned
  source_ = source;
  Clamp(offset, length);
  return IsOpen();
}

bool cFileIOSubRange::AttachOwned(std::unique_ptr<cFileIOTarget> source, uint64_t offset,
                                  uint64_t length) {
  if (owned_.get() == source.get()) owned_.release();
  owned_ = std::move(source);
  source_ = owned_.get();
  Clamp(offset, length);
  return IsOpen();
}

uint32_t cFileIOSubRange::Read(void* destination, uint32_t count) {
  if (source_ == nullptr || position_ >= length_) return 0;
  const uint32_t n = Smaller(length_ - position_, count);
  // A failed seek would read from wherever the source happens to be.
  if (!source_->Seek(offset_ + position_)) return 0;
  const uint32_t got = source_->Read(destination, n);
  position_ += got;
  return got;
}

uint32_t cFileIOSubRange::Write(const void* source, uint32_t count) {
  if (source_ == nullptr || position_ >= length_) return 0;
  const uint32_t n = Smaller(length_ - position_, count);
  if (!source_->Seek(offset_ + position_)) return 0;
  const uint32_t put = source_->Write(source, n);
  position_ += put;
  return put;
}

bool cFileIOSubRange::Seek(uint64_t position) {
  if (source_ == nullptr) return false;
  if (position > length_) {
    position_ = length_;
    source_->Seek(offset_ + length_);
    return false;
  }
  position_ = position;
  return source_->Seek(offset_ + position);
}

bool cFileIOSubRange::SeekFromEnd(uint64_t distance) {
  if (source_ == nullptr) return false;
  if (distance > length_) {
    position_ = 0;
    source_->Seek(offset_);
    return false;
  }
  position_ = length_ - distance;
  return source_->Seek(offset_ + position_);
}

std::unique_ptr<cFileIOTarget> cFileIOSubRange::Clone(bool independent) {
  if (source_ == nullptr) return nullptr;
  auto copy = std::unique_ptr<cFileIOSubRange>(new (std::nothrow) cFileIOSubRange);
  if (copy == nullptr) return nullptr;
  if (owned_ == nullptr && !independent) {
    copy->Attach(source_, offset_, length_);
    return copy;
  }
  std::unique_ptr<cFileIOTarget> source = source_->Clone(independent);
  if (source == nullptr) return nullptr;
  copy->AttachOwned(std::move(source), offset_, length_);
  return copy;
}
