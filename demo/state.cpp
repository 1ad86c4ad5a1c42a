#include "demo/state.h"

#include "demo/balls.h"
#include "demo/demo.h"
#include "platform/crt_rand.h"

namespace demo {
namespace {
struct DemoState {
  Inputs inputs;
  uint32_t random_state = 0;
  float ball_table[64] = {};
  float ball_positions[32] = {};
} g_demo;
}  // namespace

const Inputs& inputs() { return g_demo.inputs; }
float* ball_table() { return g_demo.ball_table; }
float* ball_positions() { return g_demo.ball_positions; }
uint32_t& demo_random_state() { return g_demo.random_state; }

void seed_random() { g_demo.random_state = kDemoSeed; }

void set_film_size(int width, int height) {
  g_demo.inputs.film_width = width;
  g_demo.inputs.film_height = height;
}

void fill_ball_tables() {
  demo::fill_ball_tables(platform::library_rand(), g_demo.ball_table, g_demo.ball_positions);
}

void set_screen(uint32_t width, uint32_t height, double aspect) {
  g_demo.inputs.screen_width = width;
  g_demo.inputs.screen_height = height;
  g_demo.inputs.aspect = aspect;
}

void set_frame_clock(double t) { g_demo.inputs.clock = t; }

}  // namespace demo
