// The library random generator of the show: the classic C runtime `rand` sequence
// (state * 214013 + 2531011, result (state >> 16) & 0x7FFF, state starting at 1).
// glibc's rand gives other numbers, so the show carries its own copy.
#pragma once
#include <cstdint>

namespace platform {

struct CrtRand {
  uint32_t state = 1;
  int next() {
    state = state * 214013u + 2531011u;
    return static_cast<int>((state >> 16) & 0x7FFF);
  }
};

// The one generator shared by start-up and the show (main thread only).
CrtRand& library_rand();

}  // namespace platform
