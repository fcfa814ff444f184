// See decompress_stream.h.
#include "base/decompress_stream.h"

#include <algorithm>
#include <cstring>
#include <new>

// ---- cDecompressIOTarget ---------------------------------------------------

uint32_t cDecompressIOTarget::Read(void* destination, uint32_t count) {
  if (source_ == nullptr || destination == nullptr || position_ >= size_) return 0;
  if (count > size_ - position_) count = static_cast<uint32_t>(size_ - position_);
  char* out = static_cast<char*>(destination);
  uint32_t done = 0;
  while (done < count) {
    if (position_ < windowStart_ || position_ - windowStart_ >= static_cast<uint64_t>(windowValid_)) {
      // A request of a window or more is decoded in place, saving a copy and
      // hand-overs of the window.
      const uint32_t left = count - done;
      if (left >= static_cast<uint32_t>(window_.count)) {
        const uint32_t got = DecodeDirect(position_, out + done, left);
        if (got > 0) {
          position_ += got;
          done += got;
          continue;
        }
      }
      // The read ends at the last decodable byte; what was copied counts.
      if (!Seek(position_)) break;
    }
    const uint32_t offset = static_cast<uint32_t>(position_ - windowStart_);
    const uint32_t n = std::min(count - done, static_cast<uint32_t>(windowValid_) - offset);
    std::memcpy(out + done, window_.data + offset, n);
    position_ += n;
    done += n;
  }
  return done;
}

bool cDecompressIOTarget::Seek(uint64_t position) {
  if (source_ == nullptr) return false;
  if (position >= size_) {
    // Nothing to decode at the end: reads there return 0.
    position_ = size_;
    return true;
  }
  if (position >= windowStart_ && position - windowStart_ < static_cast<uint64_t>(windowValid_)) {
    position_ = position;
    return true;
  }
  if (position < windowStart_ && !Restart()) return false;
  if (!DecodeTo(position)) return false;
  windowStart_ = position;
  position_ = position;
  return true;
}

bool cDecompressIOTarget::SeekFromEnd(uint64_t distance) {
  return Seek(distance >= size_ ? 0 : size_ - distance);
}

void cDecompressIOTarget::ReleaseSource() {
  source_ = nullptr;
  ownedSource_.reset();
}

void cDecompressIOTarget::Close() {
  ReleaseSource();
  window_.Reset();
  windowValid_ = 0;
  windowStart_ = 0;
  position_ = 0;
  size_ = 0;
}

bool cDecompressIOTarget::ComputeSize(cFileIOTarget*) { return false; }

uint32_t cDecompressIOTarget::DecodeDirect(uint64_t, void*, uint32_t) { return 0; }

void cDecompressIOTarget::CopyStateTo(cDecompressIOTarget* other, bool independent) {
  if (other == nullptr || other == this) return;
  other->Close();
  if (source_ == nullptr) return;
  if (ownedSource_ != nullptr || independent) {
    std::unique_ptr<cFileIOTarget> copy = source_->Clone(independent);
    if (copy == nullptr) return;
    other->ownedSource_ = std::move(copy);
    other->source_ = other->ownedSource_.get();
  } else {
    other->source_ = source_;
  }
  try {
    other->window_.Reallocate(window_.count);
  } catch (const std::bad_alloc&) {
    other->Close();
    return;
  }
  other->size_ = size_;
  other->windowStart_ = size_;
  other->position_ = size_;
  other->windowValid_ = 0;
}

bool cDecompressIOTarget::Open(cFileIOTarget* source, uint64_t size, int32_t windowSize, bool own) {
  Restart();  // no decoder may read the old source from here on
  std::unique_ptr<cFileIOTarget> kept;
  if (source != nullptr && source == ownedSource_.get()) kept = std::move(ownedSource_);
  Close();
  if (kept != nullptr) {
    ownedSource_ = std::move(kept);
  } else if (own && source != nullptr) {
    ownedSource_.reset(source);
  }
  if (source == nullptr || windowSize <= 0 || size >= kMaxDecodedSize) {
    ReleaseSource();
    return false;
  }
  if (size == 0) {
    if (!ComputeSize(source) || size_ == 0 || size_ >= kMaxDecodedSize) {
      Close();
      return false;
    }
    size = size_;
  }
  try {
    window_.Reallocate(windowSize);
  } catch (const std::bad_alloc&) {
    Close();
    return false;
  }
  size_ = size;
  windowStart_ = size;  // an empty window: the first Seek decodes
  position_ = size;
  windowValid_ = 0;
  source_ = source;
  if (!Seek(0)) {
    Close();
    return false;
  }
  return true;
}

// ---- cBaseArchDecompress ---------------------------------------------------

cBaseArchDecompress::cBaseArchDecompress() : cJob(nullptr) {
  goEvent_.Create(nullptr, false, true);
  doneEvent_.Create(nullptr, false, false);
}

cBaseArchDecompress::~cBaseArchDecompress() { StopDecoder(); }

void cBaseArchDecompress::StopDecoder() {
  if (threadStarted_) {
    RequestStop();
    // Both events stay set so that the decoder cannot block on either side;
    // it gives up at its next callback.
    goEvent_.Set();
    doneEvent_.Set();
    // Waits on the thread's end itself (no fixed pause).
    Stop(kStopTimeoutMs);
    threadStarted_ = false;
  }
  decodedCount_ = 0;
}

bool cBaseArchDecompress::Restart() {
  StopDecoder();
  return true;
}

void cBaseArchDecompress::Close() {
  StopDecoder();
  cDecompressIOTarget::Close();
}

bool cBaseArchDecompress::DecodeTo(uint64_t position) {
  if (window_.data == nullptr || window_.count <= 0) return false;
  windowValid_ = 0;  // the window is about to be overwritten
  const int32_t filled = Request(position, window_.data, window_.count);
  if (filled <= 0) return false;
  windowValid_ = filled;
  return true;
}

uint32_t cBaseArchDecompress::DecodeDirect(uint64_t position, void* buffer, uint32_t room) {
  if (buffer == nullptr || room == 0) return 0;
  const int32_t filled =
      Request(position, static_cast<char*>(buffer), room > INT32_MAX ? INT32_MAX : static_cast<int32_t>(room));
  return filled > 0 ? static_cast<uint32_t>(filled) : 0;
}

int32_t cBaseArchDecompress::Request(uint64_t position, char* target, int32_t room) {
  if (source_ == nullptr || !source_->IsOpen()) return -1;
  cSafeCriticalSectionAccess guard(&decodeLock_);
  // Between requests the decoder waits for go and leaves decodedCount_ alone.
  if (position < decodedCount_) StopDecoder();
  if (!threadStarted_) {
    decodedCount_ = 0;
    decoderEnded_.store(false, std::memory_order_relaxed);
    goEvent_.Reset();
    doneEvent_.Reset();
    if (!source_->Seek(0)) return -1;
    if (!Start()) return -1;
    threadStarted_ = true;
  }
  target_ = target;
  room_ = room;
  filled_ = 0;
  wanted_ = position;
  doneEvent_.Reset();
  // Checked after the reset: a decoder that ends from here on sets done
  // again, and one that ended before has nothing at or after decodedCount_.
  if (decoderEnded_.load(std::memory_order_acquire)) return 0;
  goEvent_.Set();
  if (!doneEvent_.Wait()) return -1;
  return filled_;
}

uint32_t cBaseArchDecompress::FetchInput(const unsigned char** data) {
  *data = inputBlock_.data;
  if (IsStopRequested()) return 0;
  return source_->Read(inputBlock_.data, kInputBlockSize);
}

int cBaseArchDecompress::DeliverOutput(const unsigned char* data, uint32_t n) {
  for (;;) {
    if (IsStopRequested()) return 2;
    goEvent_.Wait();
    if (IsStopRequested()) return 2;
    if (decodedCount_ > wanted_) return 1;
    if (decodedCount_ < wanted_) {
      const uint64_t gap = wanted_ - decodedCount_;
      if (gap >= n) {
        decodedCount_ += n;  // the whole piece lies before the wanted position
        return 0;
      }
      decodedCount_ = wanted_;
      data += gap;
      n -= static_cast<uint32_t>(gap);
      continue;
    }
    if (n < static_cast<uint32_t>(room_)) {
      std::memcpy(target_ + filled_, data, n);
      decodedCount_ += n;
      wanted_ += n;
      filled_ += static_cast<int32_t>(n);
      room_ -= static_cast<int32_t>(n);
      return 0;
    }
    const uint32_t take = static_cast<uint32_t>(room_);
    std::memcpy(target_ + filled_, data, take);
    decodedCount_ += take;
    filled_ += room_;
    room_ = 0;
    data += take;
    n -= take;
    // The window is full: hand it to the reader and wait for the next request.
    goEvent_.Reset();
    doneEvent_.Set();
    if (n == 0) return 0;
  }
}

int32_t cBaseArchDecompress::RunDecoder(uint32_t dictionarySize) {
  // However the decoder ends (also by an exception through the job), the
  // reader must wake up and learn that nothing more comes.
  struct sEndSignal {
    cBaseArchDecompress* self;
    ~sEndSignal() {
      self->RequestStop();
      self->decoderEnded_.store(true, std::memory_order_release);
      self->goEvent_.Set();
      self->doneEvent_.Set();
    }
  } endSignal{this};
  if (inputBlock_.data == nullptr) inputBlock_.Reallocate(kInputBlockSize);
  // Zero-filled: on damaged data inflateBack can copy from parts of its
  // first window that it has not written yet (it checks distances against
  // twice the bytes produced there), and those must not be heap leftovers.
  std::unique_ptr<unsigned char[]> dictionary(new (std::nothrow) unsigned char[dictionarySize]());
  if (dictionary == nullptr) return 1;
  Decode(dictionary.get());
  return 0;
}

// ---- cBaseZStream / cZStream -----------------------------------------------

// Up to zlib 1.2.12, inflateBack kept the output of its last, partly filled
// window when the input ran out or turned out damaged (Z_BUF_ERROR,
// Z_DATA_ERROR): up to 32 KiB that inflate does give were never passed on.
// 1.2.13 delivers everything decoded before it returns.
static_assert(ZLIB_VERNUM >= 0x12d0, "inflateBack must pass on its last partial window (zlib 1.2.13)");

int32_t cBaseZStream::Run() {
  const int32_t bits = windowBits_ >= 8 && windowBits_ <= 15 ? windowBits_ : 15;
  return RunDecoder(uint32_t{1} << bits);
}

cZStream::~cZStream() {
  // Stop while this object is whole: the job thread calls its virtual Decode.
  StopDecoder();
}

bool cZStream::Decode(unsigned char* dictionary) {
  z_stream s;
  std::memset(&s, 0, sizeof s);
  if (inflateBackInit_(&s, windowBits_, dictionary, ZLIB_VERSION, static_cast<int>(sizeof(z_stream))) != Z_OK)
    return false;
  struct sThunk {
    static unsigned In(void* self, z_const unsigned char** buffer) {
      const unsigned char* p = nullptr;
      const uint32_t n = static_cast<cZStream*>(self)->FetchInput(&p);
      *buffer = const_cast<z_const unsigned char*>(p);
      return n;
    }
    static int Out(void* self, unsigned char* data, unsigned n) {
      return static_cast<cZStream*>(self)->DeliverOutput(data, n);
    }
  };
  inflateBack(&s, &sThunk::In, this, &sThunk::Out, this);
  inflateBackEnd(&s);
  return true;
}

bool cZStream::OpenDeflate(cFileIOTarget* source, uint64_t size, int32_t windowSize, bool own,
                           int32_t windowBits) {
  // Open closes the stream itself and keeps a source that it owns already
  // when that one is opened again; closing here would delete it first. The
  // decoder reads the window bits, so it stops before they change.
  StopDecoder();
  if (source == nullptr) {
    Close();
    return false;
  }
  windowBits_ = windowBits == 0 ? 15 : windowBits;
  return Open(source, size, windowSize, own);
}

std::unique_ptr<cFileIOTarget> cZStream::Clone(bool independent) {
  std::unique_ptr<cZStream> copy(new (std::nothrow) cZStream());
  if (copy == nullptr) return nullptr;
  copy->windowBits_ = windowBits_;
  CopyStateTo(copy.get(), independent);
  if (copy->source_ == nullptr) return nullptr;
  return copy;
}
