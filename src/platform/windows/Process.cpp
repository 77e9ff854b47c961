#include "platform/Platform.h"

namespace platform {

// Nothing to do on Windows. The C runtime marks its descriptors 0 to 2 in use even when
// the process was started without standard handles, so no file the run opens takes
// their numbers; output without a handle, or to a pipe whose reader went away, is a
// failed write, never a signal that ends the process.
void prepareProcess() {}

} // namespace platform
