// Values the demo receives from start-up and the main loop, shared by its modules.
#pragma once

#include <cstdint>

namespace demo {

struct Inputs {
  double clock = 0.0;  // frame clock, seconds
  uint32_t screen_width = 0;
  uint32_t screen_height = 0;
  double aspect = 4.0 / 3.0;
  int film_width = 0;
  int film_height = 0;
};

const Inputs& inputs();

// Ball table (16 records: phase x, amplitude x, phase y, amplitude y) and the 16 ball
// positions (x0, y0, x1, y1, ...), filled at start-up.
float* ball_table();      // 64 floats
float* ball_positions();  // 32 floats

// Demo random generator state (owned by the projector composite).
uint32_t& demo_random_state();

}  // namespace demo
