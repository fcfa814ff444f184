// Fuzz target for the TIFF directory walker. The input is a TIFF or BigTIFF
// file. Properties: walking never crashes; every out-of-line value the
// walker hands out lies wholly inside the file; walking the same file again
// reports the same entries; the next-IFD chain is followed with a visited
// set, so it ends.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "base/memio.h"
#include "picture/tiff_walker.h"

namespace {

// Says which property broke before aborting.
void CheckAt(bool ok, int line) {
  if (ok) return;
  std::fprintf(stderr, "property at line %d broken\n", line);
  std::abort();
}
#define Check(ok) CheckAt((ok), __LINE__)

class cRecorder : public cTiffGeneric {
public:
  bool OnEntry(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size, uint64_t at) override {
    if (data == nullptr) Check(at < GetLength() && static_cast<uint64_t>(size) <= GetLength() - at);
    Check(size >= 0);
    log.push_back(tag);
    log.push_back(type);
    log.push_back(static_cast<uint32_t>(size));
    return cTiffGeneric::OnEntry(tag, type, data, size, at);
  }
  bool OnTag(uint32_t tag, uint32_t, const uint8_t* data, int32_t size) override {
    uint32_t sum = 0;
    for (int32_t i = 0; i < size; ++i) sum = sum * 31 + data[i];
    log.push_back(sum);
    if (tag == kNextIfdTag) next = GetLong(data);
    return true;
  }
  std::vector<uint32_t> log;
  uint32_t next = 0;
};

std::vector<uint32_t> WalkAll(cFileIOTarget* io) {
  cRecorder r;
  bool ok = r.ReadHeader(io, cTiffGeneric::kWholeStream);
  std::vector<uint64_t> seen{r.CurrentIfdOffset()};
  for (int pages = 0; ok && r.next != 0 && pages < 64; ++pages) {
    const uint32_t n = r.next;
    r.next = 0;
    bool repeated = false;
    for (uint64_t s : seen) repeated = repeated || s == n;
    if (repeated) break;
    seen.push_back(n);
    ok = r.WalkIFD(io, r.IsBigEndian(), r.IsBigTiff(), n, cTiffGeneric::kWholeStream);
  }
  r.log.push_back(static_cast<uint32_t>(r.GetError()));
  return r.log;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1 << 20)) return 0;
  cBufWrapperIO io(data, static_cast<uint32_t>(size));
  const std::vector<uint32_t> first = WalkAll(&io);
  Check(WalkAll(&io) == first);
  return 0;
}
