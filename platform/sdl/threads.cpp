#include "platform/threads.h"

namespace platform {

bool threads_available() { return true; }

}  // namespace platform
