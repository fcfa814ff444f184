// The version record written to standard output (native stand-in: file
// descriptor 1 plays the start-up information's output handle).
#include "tools/version_record.h"

#include <fcntl.h>
#include <unistd.h>

int32_t WriteVersionRecord() {
  const uint64_t version = GetOwnVersion();
  if (version == tw::kNoVersion) return 1;
  if (fcntl(1, F_GETFD) == -1) return 1;  // started without an output
  uint8_t record[tw::kVersionRecordSize];
  EncodeVersionRecord(version, record);
  return ::write(1, record, sizeof(record)) == static_cast<ssize_t>(sizeof(record)) ? 0 : 1;
}
