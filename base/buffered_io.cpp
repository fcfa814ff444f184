// See base/buffered_io.h.
#include "base/buffered_io.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

// A block of capacity bytes into block; false (block empty) when it cannot
// be had.
bool AllocateBlock(_typebuf<char>& block, int32_t capacity) {
  block.Reset();
  if (capacity < 0) return false;
  try {
    block.Reallocate(capacity);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

}  // namespace

// --------------------------------------------------------------- cMemBufferedIO

cMemBufferedIO::cMemBufferedIO(cFileIOTarget* source, int32_t capacity) {
  if (source != nullptr) Attach(source, capacity);
}

cMemBufferedIO::~cMemBufferedIO() = default;

bool cMemBufferedIO::AttachLocked(cFileIOTarget* source, std::unique_ptr<cFileIOTarget> owned,
                                  int32_t capacity) {
  if (owned_.get() != source) owned_.reset();
  if (owned != nullptr) owned_ = std::move(owned);
  source_ = source;
  if (source_ != nullptr) source_->Seek(0);
  const bool ok = AllocateBlock(block_, capacity);
  capacity_ = ok ? static_cast<uint32_t>(capacity) : 0;
  readIndex_ = capacity_;
  valid_ = 0;
  position_ = 0;
  cachedSize_ = source_ != nullptr ? source_->GetSize() : 0;
  return ok;
}

bool cMemBufferedIO::Attach(cFileIOTarget* source, int32_t capacity) {
  cSafeCriticalSectionAccess guard(&lock_);
  return AttachLocked(source, nullptr, capacity);
}

bool cMemBufferedIO::AttachOwned(std::unique_ptr<cFileIOTarget> source, int32_t capacity) {
  cSafeCriticalSectionAccess guard(&lock_);
  cFileIOTarget* raw = source.get();
  if (raw == owned_.get()) owned_.release();  // already ours: keep one owner
  return AttachLocked(raw, std::move(source), capacity);
}

uint64_t cMemBufferedIO::GetSize() {
  cSafeCriticalSectionAccess guard(&lock_);
  return source_ != nullptr ? cachedSize_ : 0;
}

uint32_t cMemBufferedIO::Read(void* destination, uint32_t count) {
  cSafeCriticalSectionAccess guard(&lock_);
  if (count == 0 || source_ == nullptr || destination == nullptr) return 0;
  char* out = static_cast<char*>(destination);
  uint32_t done = 0;
  if (readIndex_ < valid_) {
    const uint32_t m = std::min(count, valid_ - readIndex_);
    if (m == 1)
      *out = block_.data[readIndex_];
    else
      std::memcpy(out, block_.data + readIndex_, m);
    readIndex_ += m;
    position_ += m;
    done = m;
    if (done == count) return done;
  }
  const uint32_t rest = count - done;
  if (rest > capacity_) {
    DropBlock();
    if (!source_->Seek(position_)) return done;
    const uint32_t got = source_->Read(out + done, rest);
    position_ += got;
    return done + got;
  }
  if (!source_->Seek(position_)) {
    DropBlock();
    return done;
  }
  valid_ = source_->Read(block_.data, capacity_);
  if (valid_ > capacity_) valid_ = capacity_;  // a source may not report more than asked
  const uint32_t m = std::min(rest, valid_);
  std::memcpy(out + done, block_.data, m);
  readIndex_ = m;
  position_ += m;
  return done + m;
}

uint32_t cMemBufferedIO::Write(const void* source, uint32_t count) {
  cSafeCriticalSectionAccess guard(&lock_);
  if (source_ == nullptr) return 0;
  DropBlock();
  if (!source_->Seek(position_)) return 0;
  const uint32_t put = source_->Write(source, count);
  position_ += put;
  return put;
}

bool cMemBufferedIO::Seek(uint64_t position) {
  cSafeCriticalSectionAccess guard(&lock_);
  if (source_ == nullptr) return false;
  if (position == position_) return true;
  if (position < position_) {
    const uint64_t back = position_ - position;
    if (readIndex_ < capacity_ && back <= readIndex_)
      readIndex_ -= static_cast<uint32_t>(back);
    else
      DropBlock();
  } else {
    const uint64_t ahead = position - position_;
    if (readIndex_ < capacity_ && ahead < capacity_ - readIndex_)
      readIndex_ += static_cast<uint32_t>(ahead);
    else
      DropBlock();
  }
  position_ = position;
  return true;
}

bool cMemBufferedIO::SeekFromEnd(uint64_t distance) {
  cSafeCriticalSectionAccess guard(&lock_);
  if (source_ == nullptr) return false;
  DropBlock();
  if (distance > cachedSize_) {
    position_ = 0;
    return false;
  }
  position_ = cachedSize_ - distance;
  return true;
}

bool cMemBufferedIO::SetSize(uint64_t size) {
  cSafeCriticalSectionAccess guard(&lock_);
  if (source_ == nullptr) return false;
  DropBlock();  // the block may hold bytes that are no longer there
  return source_->SetSize(size);
}

void cMemBufferedIO::Close() {
  cSafeCriticalSectionAccess guard(&lock_);
  owned_.reset();
  source_ = nullptr;
  block_.Reset();
  capacity_ = readIndex_ = valid_ = 0;
  position_ = 0;
}

bool cMemBufferedIO::IsOpen() {
  cSafeCriticalSectionAccess guard(&lock_);
  return source_ != nullptr && source_->IsOpen();
}

std::unique_ptr<cFileIOTarget> cMemBufferedIO::Clone(bool independent) {
  cSafeCriticalSectionAccess guard(&lock_);
  if (source_ == nullptr) return nullptr;
  auto copy = std::unique_ptr<cMemBufferedIO>(new (std::nothrow) cMemBufferedIO);
  if (copy == nullptr) return nullptr;
  const auto capacity = static_cast<int32_t>(capacity_);
  if (owned_ == nullptr && !independent) {
    if (!copy->Attach(source_, capacity)) return nullptr;
    return copy;
  }
  std::unique_ptr<cFileIOTarget> source = source_->Clone(independent);
  if (source == nullptr || !copy->AttachOwned(std::move(source), capacity)) return nullptr;
  return copy;
}

// --------------------------------------------------- cMemBufferedLinearWriterIO

cMemBufferedLinearWriterIO::cMemBufferedLinearWriterIO(cFileIOTarget* target, int32_t capacity) {
  if (target != nullptr) Attach(target, capacity);
}

cMemBufferedLinearWriterIO::~cMemBufferedLinearWriterIO() { Close(); }

bool cMemBufferedLinearWriterIO::AttachLocked(cFileIOTarget* target,
                                              std::unique_ptr<cFileIOTarget> owned,
                                              int32_t capacity) {
  // Re-attaching the owned target must not delete it in Close.
  std::unique_ptr<cFileIOTarget> keep;
  if (target != nullptr && owned_.get() == target) keep = std::move(owned_);
  Close();
  if (owned != nullptr) {
    keep.release();  // the caller handed it over again: one owner
    owned_ = std::move(owned);
  } else {
    owned_ = std::move(keep);
  }
  target_ = target;
  failed_ = false;
  if (target_ != nullptr) target_->Seek(0);
  const bool ok = AllocateBlock(block_, capacity);
  capacity_ = ok ? static_cast<uint32_t>(capacity) : 0;
  pending_ = 0;
  return ok;
}

bool cMemBufferedLinearWriterIO::Attach(cFileIOTarget* target, int32_t capacity) {
  cSafeCriticalSectionAccess guard(&lock_);
  return AttachLocked(target, nullptr, capacity);
}

bool cMemBufferedLinearWriterIO::AttachOwned(std::unique_ptr<cFileIOTarget> target,
                                             int32_t capacity) {
  cSafeCriticalSectionAccess guard(&lock_);
  cFileIOTarget* raw = target.get();
  return AttachLocked(raw, std::move(target), capacity);
}

uint64_t cMemBufferedLinearWriterIO::GetSize() {
  return target_ != nullptr ? target_->GetSize() + pending_ : 0;
}

bool cMemBufferedLinearWriterIO::Flush() {
  if (failed_) return false;
  if (pending_ == 0) return true;
  if (target_ == nullptr) return false;
  const uint32_t put = std::min(target_->Write(block_.data, pending_), pending_);
  if (put < pending_) {
    // Keep what the target did not take, and never offer the taken prefix again.
    std::memmove(block_.data, block_.data + put, pending_ - put);
    pending_ -= put;
    failed_ = true;
    return false;
  }
  pending_ = 0;
  return true;
}

uint32_t cMemBufferedLinearWriterIO::Write(const void* source, uint32_t count) {
  if (source == nullptr || count == 0 || target_ == nullptr || failed_) return 0;
  if (count >= capacity_ || count > capacity_ - pending_) {
    if (!Flush()) return 0;
  }
  if (count >= capacity_) return target_->Write(source, count);
  char* at = block_.data + pending_;
  switch (count) {
    case 1: *at = *static_cast<const char*>(source); break;
    case 2: std::memcpy(at, source, 2); break;
    case 4: std::memcpy(at, source, 4); break;
    case 8: std::memcpy(at, source, 8); break;
    default: std::memcpy(at, source, count); break;
  }
  pending_ += count;
  return count;
}

bool cMemBufferedLinearWriterIO::Seek(uint64_t position) {
  if (target_ == nullptr || block_.data == nullptr) return false;
  if (!Flush()) return false;
  return target_->Seek(position);
}

void cMemBufferedLinearWriterIO::Close() {
  if (target_ != nullptr) Flush();  // a failure stays in Failed()
  target_ = nullptr;
  owned_.reset();
  block_.Reset();
  capacity_ = pending_ = 0;
}

bool cMemBufferedLinearWriterIO::IsOpen() { return target_ != nullptr && target_->IsOpen(); }

std::unique_ptr<cFileIOTarget> cMemBufferedLinearWriterIO::Clone(bool independent) {
  if (target_ == nullptr) return nullptr;
  auto copy = std::unique_ptr<cMemBufferedLinearWriterIO>(new (std::nothrow) cMemBufferedLinearWriterIO);
  if (copy == nullptr) return nullptr;
  const auto capacity = static_cast<int32_t>(capacity_);
  if (owned_ == nullptr && !independent) {
    if (!copy->Attach(target_, capacity)) return nullptr;
    return copy;
  }
  std::unique_ptr<cFileIOTarget> target = target_->Clone(independent);
  if (target == nullptr || !copy->AttachOwned(std::move(target), capacity)) return nullptr;
  return copy;
}
