#include "demo/balls.h"

namespace demo {

namespace {
double unit_double(int draw) { return draw * 2.0 / 32767.0 - 1.0; }
}  // namespace

float unit_from_rand(int draw) { return static_cast<float>(unit_double(draw)); }

void fill_ball_tables(platform::CrtRand& rng, float table[64], float positions[32]) {
  for (int i = 0; i < 64; ++i) table[i] = unit_from_rand(rng.next());
  for (int i = 0; i < 16; ++i) {
    // Scaled to the film's 4:3 before the one rounding to single precision.
    positions[2 * i] = static_cast<float>(unit_double(rng.next()) * 1.3333333333333333);
    positions[2 * i + 1] = unit_from_rand(rng.next());
  }
}

}  // namespace demo
