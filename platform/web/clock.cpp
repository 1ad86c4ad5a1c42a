// The page's clock (performance.now, in microseconds). It starts held: the show's first
// frame is drawn at clock 0 under "Click to start", and the clock runs from the click on.
// A test may run it faster (?speed=N).
#include "platform/clock.h"

#include <emscripten/emscripten.h>

#include "platform/web/clock_control.h"

namespace platform {
namespace {

struct ClockState {
  bool held = true;
  double base_ms = 0.0;   // the clock's value when it was last released (or held)
  double since_ms = 0.0;  // page time of the last release
  double speed = 1.0;
} g_clock;

double value_ms() {
  if (g_clock.held) return g_clock.base_ms;
  return g_clock.base_ms + (emscripten_get_now() - g_clock.since_ms) * g_clock.speed;
}

}  // namespace

uint64_t counter() { return static_cast<uint64_t>(value_ms() * 1000.0); }
uint64_t counter_frequency() { return 1000000; }

namespace web {

void set_clock_speed(double speed) {
  g_clock.base_ms = value_ms();
  g_clock.since_ms = emscripten_get_now();
  g_clock.speed = speed;
}

void release_clock() {
  if (!g_clock.held) return;
  g_clock.held = false;
  g_clock.since_ms = emscripten_get_now();
}

}  // namespace web
}  // namespace platform
