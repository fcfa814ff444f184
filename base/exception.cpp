#include "base/exception.h"

#include "base/strings.h"

cException::cException(const char16_t* file, int32_t ln, int32_t cd, const char16_t* msg) {
  sourceFile.Assign(file);
  line = ln;
  code = cd;
  message.Assign(msg);
  // The first exception of the process builds both case maps at the latest.
  ToLowerW(0);
  ToUpperW(0);
}
