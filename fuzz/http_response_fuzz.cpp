// Fuzzes the HTTP response reader over a scripted connection. The last
// input byte chooses how the connection hands out the rest (bits 0-3: all
// at once or pieces of 1 << (n - 1) bytes) and how it ends once the bytes
// are spent (bits 4-5: 0 and 1 the peer closes, 2 a time-out, 3 an error).
// Properties:
//  - OnData offsets run on without gaps;
//  - success means a complete body: Content-Length bytes exactly, a chunked
//    body whose final size equals what was delivered, or an orderly close
//    for a body with neither;
//  - the outcome does not depend on how the bytes were split: the same
//    input byte by byte gives the same result, status and body.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "net/http_response.h"
#include "net/socket_io.h"
#include "tests/support/scripted_socket.h"

namespace {

class Sink : public cHttpResponse {
public:
  bool OnData(const char* data, uint32_t length, uint64_t offset) override {
    if (offset != body.size() || length == 0) std::abort();
    body.append(data, length);
    return body.size() <= (4u << 20);
  }
  std::string body;
};

struct Outcome {
  bool ok;
  int32_t status;
  std::string body;
};

Outcome Run(const std::string& wire, uint32_t piece, int32_t endCode) {
  twtest::ScriptedSocket socket(wire, piece, endCode);
  cSocketIO io(&socket);
  Sink sink;
  const bool ok = sink.Read(&io);
  if (ok) {
    const bool noBody = sink.status == 204 || sink.status == 304;
    if (!noBody) {
      if (sink.chunked) {
        if (sink.contentLength != static_cast<int64_t>(sink.body.size())) std::abort();
      } else if (sink.contentLength >= 0) {
        if (sink.body.size() != static_cast<uint64_t>(sink.contentLength)) std::abort();
      } else if (endCode != kSocketClosed) {
        std::abort();  // only an orderly close ends a body without length
      }
    } else if (!sink.body.empty()) {
      std::abort();
    }
  }
  return {ok, sink.status, sink.body};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > (1u << 20)) return 0;
  const uint8_t options = data[size - 1];
  const std::string wire(reinterpret_cast<const char*>(data), size - 1);
  const uint32_t shift = options & 15;
  const uint32_t piece = shift == 0 ? 0 : (1u << (shift - 1));
  static const int32_t kEnds[4] = {kSocketClosed, kSocketClosed, kSocketTimedOut, kSocketCallFailed};
  const int32_t endCode = kEnds[(options >> 4) & 3];

  const Outcome first = Run(wire, piece, endCode);
  if (piece != 1 && wire.size() <= 4096) {
    const Outcome bytes = Run(wire, 1, endCode);
    if (bytes.ok != first.ok) std::abort();
    if (first.ok && (bytes.status != first.status || bytes.body != first.body)) std::abort();
  }
  return 0;
}
