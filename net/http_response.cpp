// See net/http_response.h.
#include "net/http_response.h"

#include <cstring>

#include "base/buffers.h"
#include "base/strings.h"
#include "net/socket_io.h"

namespace {

bool EqualNoCase(const char* a, uint32_t n, const char* b) {
  if (std::strlen(b) != n) return false;
  for (uint32_t i = 0; i < n; ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Answers that never have a body, whatever their head says.
bool HasNoBody(int32_t status) { return status == 204 || status == 304; }

}  // namespace

void cHttpResponse::Reset() {
  headers.Clear();
  status = 0;
  contentLength = -1;
  chunked = 0;
  delivered_ = 0;
  headBytes_ = 0;
  chunkState_ = eChunk::kSize;
  chunkSize_ = 0;
  sizeDigits_ = 0;
  chunkLeft_ = 0;
}

bool cHttpResponse::OnData(const char*, uint32_t, uint64_t) { return true; }

bool cHttpResponse::OnHeaders() { return true; }

const char* cHttpResponse::FindHeader(const char* name) const {
  cPackedKey key;
  key.FromText(name, -1);
  const _guardchar<char>* value = headers.Find(key);
  return value != nullptr ? (value->text != nullptr ? value->text : "") : nullptr;
}

bool cHttpResponse::ParseHeadLine(const char* line, uint32_t length) {
  if (status == 0) {
    // "HTTP/1.x NNN reason": the line must reach the three digits.
    if (length < 12 || std::memcmp(line, "HTTP/1.", 7) != 0) return false;
    if (!IsDigit(line[9]) || !IsDigit(line[10]) || !IsDigit(line[11])) return false;
    const int32_t code = (line[9] - '0') * 100 + (line[10] - '0') * 10 + (line[11] - '0');
    if (code == 0) return false;
    status = code;
    return true;
  }
  const char* colon = static_cast<const char*>(std::memchr(line, ':', length));
  if (colon == nullptr || colon == line) return false;
  const uint32_t nameLength = static_cast<uint32_t>(colon - line);
  if (nameLength + 1 >= length) return false;  // nothing after the ':'
  // The value without the blanks around it.
  const char* value = colon + 1;
  const char* end = line + length;
  while (value < end && (*value == ' ' || *value == '\t')) ++value;
  while (end > value && (end[-1] == ' ' || end[-1] == '\t')) --end;
  const uint32_t valueLength = static_cast<uint32_t>(end - value);

  cPackedKey key;
  key.FromText(line, static_cast<int32_t>(nameLength));
  _guardchar<char>* stored = headers.FindOrInsert(std::move(key));
  stored->AssignN(value, valueLength);
  const char* text = stored->text != nullptr ? stored->text : "";
  if (EqualNoCase(line, nameLength, "Content-Length")) {
    const int64_t n = ParseInt64A(text);
    contentLength = n < 0 ? -1 : n;
  } else if (EqualNoCase(line, nameLength, "Transfer-Encoding")) {
    if (std::strstr(text, "chunked") != nullptr) chunked = 1;
  }
  return true;
}

bool cHttpResponse::ParseHead(const char* data, uint32_t size, uint32_t& consumed, bool& ended) {
  consumed = 0;
  ended = false;
  uint32_t pos = 0;
  while (pos < size) {
    uint32_t cr = pos;
    while (cr < size && data[cr] != '\r') {
      // A bare line feed or a zero byte would make the line mean different
      // things to different readers.
      if (data[cr] == '\n' || data[cr] == '\0') return false;
      ++cr;
    }
    if (cr + 1 >= size) break;  // the line, or its '\n', is still to come
    if (data[cr + 1] != '\n') return false;
    const uint32_t length = cr - pos;
    if (length == 0) {
      if (status == 0) return false;
      pos = cr + 2;
      ended = true;
      break;
    }
    if (!ParseHeadLine(data + pos, length)) return false;
    pos = cr + 2;
  }
  consumed = pos;
  return true;
}

bool cHttpResponse::DeliverChunked(const char* data, uint32_t size) {
  uint32_t i = 0;
  while (i < size && chunkState_ != eChunk::kDone) {
    const char c = data[i];
    switch (chunkState_) {
      case eChunk::kSize: {
        if (c == '\r') {
          if (sizeDigits_ == 0) return false;
          chunkState_ = eChunk::kSizeLF;
          ++i;
          break;
        }
        // Hexadecimal digits only: no sign, blank or extension.
        const int v = HexValue(c);
        if (v < 0) return false;
        if (chunkSize_ > (UINT64_MAX >> 4)) return false;
        chunkSize_ = (chunkSize_ << 4) | static_cast<uint64_t>(v);
        ++sizeDigits_;
        ++i;
        break;
      }
      case eChunk::kSizeLF:
        if (c != '\n') return false;
        ++i;
        if (chunkSize_ == 0) {
          // The last chunk: trailers and the final line end are not read.
          chunkState_ = eChunk::kDone;
          contentLength = static_cast<int64_t>(delivered_);
        } else {
          chunkLeft_ = chunkSize_;
          chunkState_ = eChunk::kData;
        }
        break;
      case eChunk::kData: {
        const uint32_t take = chunkLeft_ < size - i ? static_cast<uint32_t>(chunkLeft_) : size - i;
        if (!OnData(data + i, take, delivered_)) return false;
        delivered_ += take;
        chunkLeft_ -= take;
        i += take;
        if (chunkLeft_ == 0) chunkState_ = eChunk::kDataCR;
        break;
      }
      case eChunk::kDataCR:
        if (c != '\r') return false;
        chunkState_ = eChunk::kDataLF;
        ++i;
        break;
      case eChunk::kDataLF:
        if (c != '\n') return false;
        chunkState_ = eChunk::kSize;
        chunkSize_ = 0;
        sizeDigits_ = 0;
        ++i;
        break;
      case eChunk::kDone:
        break;
    }
  }
  return true;
}

bool cHttpResponse::DeliverBody(const char* data, uint32_t size) {
  if (chunked) return DeliverChunked(data, size);
  uint32_t take = size;
  if (contentLength >= 0) {
    const uint64_t left = static_cast<uint64_t>(contentLength) - delivered_;
    if (left < take) take = static_cast<uint32_t>(left);
  }
  if (take == 0) return true;
  if (!OnData(data, take, delivered_)) return false;
  delivered_ += take;
  return true;
}

bool cHttpResponse::BodyComplete() const {
  if (HasNoBody(status)) return true;
  if (chunked) return chunkState_ == eChunk::kDone;
  return contentLength >= 0 && delivered_ >= static_cast<uint64_t>(contentLength);
}

bool cHttpResponse::Read(cFileIOTarget* stream) {
  if (stream == nullptr || !stream->IsOpen()) return false;
  Reset();
  auto* socket = dynamic_cast<cSocketIO*>(stream);
  _typebuf<char> buffer(static_cast<int32_t>(kBufferSize));
  uint32_t held = 0;
  bool headPending = true;
  for (;;) {
    uint32_t room = kBufferSize - held;
    if (!headPending && !chunked && contentLength >= 0) {
      // Ask for no more than the body still owes.
      const uint64_t left = static_cast<uint64_t>(contentLength) - delivered_;
      if (left < room) room = static_cast<uint32_t>(left);
    }
    const uint32_t n = stream->Read(buffer.data + held, room);
    if (n == 0) {
      // The data ended. Only an orderly close can end a body, and only one
      // whose length nothing else gives.
      if (socket != nullptr && !socket->EndedByPeer()) return false;
      return !headPending && !chunked && contentLength < 0;
    }
    held += n;
    // Heads in what arrived: interim ones are dropped and parsing goes on
    // over the rest before anything more is read.
    while (headPending) {
      uint32_t consumed = 0;
      bool ended = false;
      if (!ParseHead(buffer.data, held, consumed, ended)) return false;
      headBytes_ += consumed;
      held -= consumed;
      std::memmove(buffer.data, buffer.data + consumed, held);
      if (!ended) {
        if (headBytes_ + held >= kMaxHead) return false;
        break;
      }
      if (headBytes_ > kMaxHead) return false;
      if (status >= 100 && status < 200) {
        // An interim answer (100 Continue, say): the final head follows.
        headers.Clear();
        status = 0;
        contentLength = -1;
        chunked = 0;
        continue;
      }
      headPending = false;
      if (!OnHeaders()) return false;
    }
    if (headPending) continue;
    if (!BodyComplete() && held > 0 && !DeliverBody(buffer.data, held)) return false;
    held = 0;
    if (BodyComplete()) return true;
  }
}
