#include "platform/memory.h"

#include <malloc.h>

namespace platform {

void keep_large_blocks_in_one_heap() {
  // Results not examined: with the defaults the program only starts more slowly.
  mallopt(M_ARENA_MAX, 1);
  // Blocks up to 64 MiB come from the heap; the largest picture the show ships takes 10 MiB.
  mallopt(M_MMAP_THRESHOLD, 64 << 20);
}

}  // namespace platform
