// High-resolution monotonic counter.
#pragma once
#include <cstdint>

namespace platform {

uint64_t counter();
uint64_t counter_frequency();

}  // namespace platform
