// Shared by the scenario compiler's files; not part of its interface.
#pragma once

#include <cstdint>

#include "base/guardchar.h"
#include "base/packed_key.h"
#include "package/description.h"

namespace scenario {

inline bool IsBlank(char16_t c) { return c == 9 || c == 10 || c == 13 || c == 32; }

// The end of a value line: its terminator or a '#' comment.
inline bool AtValueEnd(const char16_t* line, int32_t pos) { return line[pos] == 0 || line[pos] == u'#'; }

cPackedKey KeyOf(const char16_t* text);

// Whether text begins with the length units of prefix.
bool StartsWith(const char16_t* text, const char16_t* prefix, int32_t length);

// Sets key to value in table, replacing an existing entry. False when the
// insertion fails.
bool PutString(tPkgStringTable& table, const char16_t* key, const _guardchar<char16_t>& value);

}  // namespace scenario
