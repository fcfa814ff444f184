// cException: the one exception type of the system. It reports programming
// errors only (an index out of range); ordinary failures are results, and
// memory exhaustion is std::bad_alloc.
#pragma once

#include <cstdint>

#include "base/guardchar.h"

class cException {
public:
  // Takes copies of both texts. Null texts leave the members empty.
  cException(const char16_t* sourceFile, int32_t line, int32_t code, const char16_t* message);
  cException(const cException&) = default;
  cException& operator=(const cException&) = default;
  ~cException() = default;

  _guardchar<char16_t> message;
  int32_t code = 0;
  _guardchar<char16_t> sourceFile;
  int32_t line = 0;
};
