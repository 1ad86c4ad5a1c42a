// How the heap serves the program's large blocks.
#pragma once

namespace platform {

// Start-up decodes tens of megabytes of pictures on worker threads, frees them as they are
// uploaded, and the GL driver takes about as much again as texture storage. Served from one
// heap, the texture storage reuses the pages the decoded pictures were freed from. Left to
// the allocator's defaults, each worker has a heap of its own and every block over 128 KiB
// is a fresh mapping, whose pages fault in one at a time as they are first written: on a
// virtual machine that was half of the pictures' start-up time. Call first thing in main,
// before any other thread exists.
void keep_large_blocks_in_one_heap();

}  // namespace platform
