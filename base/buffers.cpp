#include "base/buffers.h"

namespace tw {

void ThrowTypebufBounds() {
  throw cException(kBuffersSource, kTypebufBoundsLine, 0, u"_typebuf::Out of bounds");
}

void ThrowClassbufBounds() {
  throw cException(kBuffersSource, kClassbufBoundsLine, 0, u"_classbuf::Out of bounds");
}

}  // namespace tw
