// The constant tables behind base/codepages.h, generated at build time by
// scripts/gen_codepages.py. Internal to the converters.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tw::cp {

// 256 units indexed by the byte.
struct SingleByteTable {
  uint16_t codePage;
  const char16_t* units;
};
inline constexpr size_t kSingleByteTableCount = 30;
extern const SingleByteTable kSingleByteTables[kSingleByteTableCount];

// lead: 256 units, 0xFFFF marking a lead byte. trails: for each byte a table
// of 192 units indexed by trail byte - 0x40, or null for a lead byte whose
// every pair is undefined. Undefined pairs hold '?'.
inline constexpr char16_t kLeadMark = 0xFFFF;
struct DbcsTable {
  uint16_t codePage;
  const char16_t* lead;
  const char16_t* const* trails;
};
extern const DbcsTable kDbcsTables[4];

// 94 x 94 sets indexed by (row - 0x21) * 94 + (column - 0x21); U+FFFD marks
// an unassigned position.
inline constexpr int kSetSize = 94 * 94;
inline constexpr char16_t kUnassigned = 0xFFFD;
extern const char16_t kJis0208[kSetSize];
extern const char16_t kJis0212[kSetSize];
extern const char16_t kGb2312[kSetSize];
extern const char16_t kKsc5601[kSetSize];
extern const char16_t kCns11643Plane1[kSetSize];
extern const char16_t kCns11643Plane2[kSetSize];

}  // namespace tw::cp
