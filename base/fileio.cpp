// See base/fileio.h. The parts of the stream interface and of cFileIO that
// need no system call.
#include "base/fileio.h"

uint32_t cFileIOTarget::Write(const void*, uint32_t) { return 0; }

bool cFileIOTarget::ReadExact(void* destination, uint32_t count) {
  return Read(destination, count) == count;
}

bool cFileIOTarget::WriteExact(const void* source, uint32_t count) {
  return Write(source, count) == count;
}

bool cFileIOTarget::SetTime(int, int, int, int, int, int) { return false; }

bool cFileIOTarget::IsOpen() { return false; }

int cFileIOTarget::GetKind() { return 0; }
