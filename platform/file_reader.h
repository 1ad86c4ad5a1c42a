// Whole-file reading: every data file is read into one heap block before it is parsed.
#pragma once
#include <cstdint>

namespace platform {

// Reads the whole file at `path` (relative paths resolve against the working directory)
// into a block from std::malloc of exactly the file's size, with no terminator added.
// Returns null when the file cannot be opened, is not a regular file, is 4 GiB or larger,
// cannot be allocated or is read short; no partial block is ever returned. On success the
// byte count is stored in *length when length is not null; on failure *length is untouched.
// An empty file yields a valid non-null block of length 0. Release with std::free.
uint8_t* read_whole_file(const char* path, uint32_t* length);

}  // namespace platform
