// Native side of the crash log: faults are never recovered here (they end
// the process, as the sanitizers report them), so there is nothing to log.
#include "gui/wnd_lite.h"

namespace tw {

void LogRecoveredFault(const sFaultRecord&) {}

}  // namespace tw
