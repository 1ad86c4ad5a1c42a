// The main loop: each pass fixes the frame clock, pumps events, runs one demo frame and
// presents. A quit taken by the pump ends the loop after that pass's frame and present.
#pragma once

#include <cstdint>

namespace app {

struct LoopServices {
  uint64_t (*counter)();
  uint64_t (*frequency)();
  void (*set_clock)(double seconds);
  bool (*pump)(int* quit_code);  // true when a quit request was taken
  void (*frame)();
  void (*present)();
};

// Runs until a pass's pump takes a quit request; returns its code.
int run_main_loop(const LoopServices& services);

}  // namespace app
