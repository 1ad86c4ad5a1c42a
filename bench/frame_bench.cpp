// The display frame on the screen the program would take (run it under a 1920 x 1080
// display): start-up as the program does it (without the music), then the program's own
// main-loop passes (clock, refill, events, Escape, one demo frame, present) on an exact
// 60 Hz clock.
//   frame_bench [frames] [seconds]  (run from data/; default 600 frames)
// Frames are taken in windows of one second spread over the show, so scenes, stills and
// the writing strip all count; with a time in seconds, all from the one second after it. Prints the
// medians of wall and processor time per frame and the heap allocations per frame (the whole
// process: our code, SDL and Mesa): the median frame's, and apart those beyond it (made once).
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "app/main_loop.h"
#include "app/start_show.h"
#include "frame_timer.h"
#include "gfx/gl.h"

namespace {
constexpr double kWindows[] = {3.0, 11.0, 36.0, 51.0, 61.0, 71.0, 81.0, 91.0, 101.5, 116.0};
constexpr int kWindowCount = static_cast<int>(sizeof kWindows / sizeof kWindows[0]);

// The pass's counter, in microseconds of show time, set before each pass.
constexpr uint64_t kTicksPerSecond = 1000000;
uint64_t g_ticks = 0;
uint64_t show_ticks() { return g_ticks; }
uint64_t ticks_per_second() { return kTicksPerSecond; }
}  // namespace

int main(int argc, char** argv) {
  const int frames = argc > 1 ? std::max(kWindowCount, std::atoi(argv[1])) : 600;
  app::StartOptions start;
  start.music = app::StartOptions::Music::kNone;
  if (!app::start_show(start)) return 1;
  const double* windows = kWindows;
  int window_count = kWindowCount;
  double only = 0.0;
  if (argc > 2) {
    only = std::atof(argv[2]);
    windows = &only;
    window_count = 1;
  }
  const int per_window = frames / window_count;
  app::LoopServices services = app::show_services();
  services.counter = &show_ticks;
  services.frequency = &ticks_per_second;
  g_ticks = 0;
  app::MainLoop loop = app::start_main_loop(services);
  bench::FrameTimer timer(static_cast<size_t>(per_window * window_count));
  for (int w = 0; w < window_count; ++w) {
    for (int k = 0; k < per_window; ++k) {
      timer.begin();
      // Within the window, 60 frames a second, wrapping round so every frame stays in it.
      const double t = windows[w] + (k % 60) / 60.0;
      g_ticks = static_cast<uint64_t>(t * kTicksPerSecond + 0.5);
      int code = 0;
      app::run_pass(&loop, &code);
      gfx::glFinish();
      timer.end();
    }
  }
  timer.print("show");
  return 0;
}
