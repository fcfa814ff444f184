// The payload list: every file of a package travels as one payload, the
// file's bytes compressed on their own as one raw deflate stream (RFC 1951)
// with the uncompressed size and the SHA-256 of the uncompressed bytes.
// Install entries name a payload by its position in the list.
//
// Byte layout of the list inside a package (all integers little-endian):
// per record {32-bit uncompressed size, 32-bit stored length, 32-byte
// digest, stored bytes}, then the end record of 8 zero bytes (a record whose
// stored length is 0).
//
// Rules:
//  a. A record whose uncompressed size is 0 holds its content as it is: the
//     stored bytes are the content. Packages may carry such records; this
//     writer never makes them.
//  b. A file of zero length cannot be stored: its record would read as the
//     end record (and a stored empty deflate stream as rule a's content).
//     AddPayloadFromStream refuses it with its own result, kEmptyPayload.
//  c. A payload stream checks the digest: the read that reaches the end
//     delivers nothing when the bytes do not match it, and every read after
//     that delivers nothing. A damaged payload therefore always ends short,
//     so a copy loop that needs every byte never completes a damaged file.
//  d. Lengths read from a stream are compared with the stream's size before
//     anything is allocated for them.
#pragma once

#include <cstdint>
#include <memory>

#include "base/buffers.h"
#include "base/fileio.h"
#include "base/lists.h"
#include "crypto/sha.h"

struct sPayload {
  uint32_t uncompressedSize = 0;
  uint8_t digest[kSha256Size] = {};
  // The raw deflate stream (or, for uncompressedSize 0, the content itself).
  _typebuf<char> stored;
};

// The list owns its records and their stored bytes.
class cPayloadList {
public:
  cPayloadList() = default;
  cPayloadList(const cPayloadList&) = delete;
  cPayloadList& operator=(const cPayloadList&) = delete;

  // Deletes every record; the count becomes 0.
  void Clear() {
    items.Clear();
    count = 0;
  }
  // A new empty record at the end; it gets index count - 1.
  sPayload& Append() {
    sPayload& p = items.Append()->value;
    ++count;
    return p;
  }
  // The record at index, or null past the end.
  sPayload* At(uint32_t index) const;

  cSimpleList<sPayload> items;
  // The index the next added payload gets.
  uint32_t count = 0;
};

// AddPayloadFromStream's result for an empty source (rule b); -1 is every
// other failure.
inline constexpr int32_t kEmptyPayload = -2;

// Replaces the list with the records read from the stream's current position
// up to and including the end record. False for a null stream, a short read,
// a record of stored length 0 with a non-zero uncompressed size, or a stored
// length of 2^31 or more or larger than the stream; the list then holds the
// records read before the fault.
bool ReadPayloadList(cPayloadList& list, cFileIOTarget* stream);

// Writes every record and the end record. False for an empty list and for a
// failed write.
bool WritePayloadList(const cPayloadList& list, cFileIOTarget* stream);

// Compresses everything from position 0 of source into a new payload at the
// end of the list and returns its index. kEmptyPayload for an empty source;
// -1 for a null source, one of 4 GiB or more, a source that reads other than
// its size, or a compression or memory failure. On failure the list is
// unchanged.
int32_t AddPayloadFromStream(cFileIOTarget* source, cPayloadList& list);

// A new read-only stream of the payload's uncompressed bytes (rule c),
// owned by the caller; null for an index past the end, a record without
// stored bytes or a failed set-up. The stream borrows the stored bytes: the
// list must outlive it.
std::unique_ptr<cFileIOTarget> OpenPayloadStream(uint32_t index, const cPayloadList& list);

// SHA-256 of everything readable from the stream's current position. False
// for a null stream.
bool Sha256OfStream(cFileIOTarget* stream, uint8_t (&digest)[kSha256Size]);
