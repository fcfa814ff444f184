#include "crypto/crypto_internal.h"

namespace tw::crypto {

// Stores through a volatile pointer so the compiler cannot prove them dead
// and drop them, as it may a memset of a buffer about to be freed.
void SecureZero(void* p, size_t n) {
  volatile uint8_t* b = static_cast<volatile uint8_t*>(p);
  for (size_t i = 0; i < n; ++i) b[i] = 0;
}

}  // namespace tw::crypto
