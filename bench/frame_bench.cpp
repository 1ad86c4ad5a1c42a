// The display frame on the screen the program would take (run it under a 1920 x 1080
// display): start-up as the program does it (without the music), then passes of the main
// loop on an exact 60 Hz clock: events, one demo frame, present.
//   frame_bench [frames] [seconds]  (run from data/; default 600 frames)
// Frames are taken in windows of one second spread over the show, so scenes, stills and
// the writing strip all count; with a time in seconds, all from the one second after it. Prints the
// medians of wall and processor time per frame and the heap allocations per frame (the whole
// process: our code, SDL and Mesa).
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "app/start_show.h"
#include "demo/demo.h"
#include "frame_timer.h"
#include "gfx/gl.h"
#include "platform/events.h"
#include "platform/window.h"

namespace {
constexpr double kWindows[] = {3.0, 11.0, 36.0, 51.0, 61.0, 71.0, 81.0, 91.0, 101.5, 116.0};
constexpr int kWindowCount = static_cast<int>(sizeof kWindows / sizeof kWindows[0]);
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
  bench::FrameTimer timer(static_cast<size_t>(per_window * window_count));
  for (int w = 0; w < window_count; ++w) {
    for (int k = 0; k < per_window; ++k) {
      timer.begin();
      // Within the window, 60 frames a second, wrapping round so every frame stays in it.
      demo::set_frame_clock(windows[w] + (k % 60) / 60.0);
      int code = 0;
      platform::pump_events(&code);
      demo::frame();
      platform::present();
      gfx::glFinish();
      timer.end();
    }
  }
  timer.print("show");
  return 0;
}
