#include "base/exception.h"

cException::cException(const char16_t* file, int32_t ln, int32_t cd, const char16_t* msg) {
  sourceFile.Assign(file);
  line = ln;
  code = cd;
  message.Assign(msg);
}
