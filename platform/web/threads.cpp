#include "platform/threads.h"

namespace platform {

bool threads_available() { return false; }

}  // namespace platform
