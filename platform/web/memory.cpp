#include "platform/memory.h"

namespace platform {

// The page's program has one thread and one heap: nothing to arrange.
void keep_large_blocks_in_one_heap() {}

}  // namespace platform
