// quorl in a browser: the program's start-up and frames, driven by the page's animation
// frames instead of a loop of its own. The page's address chooses what it shows:
//   index.html                 the show: start-up, its first frame under "Click to start",
//                              the rest with its music from the click on
//   index.html?speed=N         the same with the clock N times as fast (tests)
//   index.html?at=T&size=WxH   one still, the frame `quorl-capture --at T --size WxH` renders:
//                              the same exact clock and the same display frames before it
#include <emscripten/emscripten.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

#include "app/start_show.h"
#include "audio/music.h"
#include "demo/demo.h"
#include "platform/clock.h"
#include "platform/events.h"
#include "platform/process.h"
#include "platform/web/clock_control.h"
#include "platform/web/page.h"
#include "platform/web/wake.h"
#include "platform/window.h"
#include "show_runner.h"

namespace {

constexpr const char* kDataFolder = "/data";  // where the page preloads data/
constexpr int kStillFps = 60;                 // quorl-capture's default

struct WebMainState {
  uint64_t start = 0;  // the counter at the main loop's first pass
  uint64_t frequency = 1;
} g_main;

// One pass of the main loop, as the program's: the frame clock, the music's refill (a
// thread's work on the desktop), the events, one demo frame, the present. A quit taken by
// the pump ends the show after that pass's frame.
void run_pass() {
  const uint64_t now = platform::counter();
  demo::set_frame_clock(static_cast<double>(now - g_main.start) /
                        static_cast<double>(g_main.frequency));
  audio::refill_from_main_loop();
  int code = 0;
  const bool quit = platform::pump_events(&code);
  app::show_frame();
  platform::present();
  platform::web::frame_drawn();
  if (quit) platform::end_process(code);
}

// The click: the music and the clock start together, then a pass per animation frame.
void start_playing() {
  audio::resume_output();
  platform::web::release_clock();
  emscripten_set_main_loop(&run_pass, 0, false);
}

void play_show(const platform::web::PageOptions& page) {
  if (!app::start_show(app::StartOptions{})) platform::end_process(-1);
  platform::web::set_half_started_handler(&audio::refill_from_main_loop);
  platform::hide_cursor();
  platform::web::set_clock_speed(page.speed);
  // The first pass runs now at clock 0, held there until the click.
  g_main.frequency = platform::counter_frequency();
  g_main.start = platform::counter();
  run_pass();
  platform::web::wait_for_click(&start_playing);
}

// Display frames 0 .. k at k / 60 s, each drawing only what the capture's plan says, so
// frame k is the capture's frame k.
void draw_still(const platform::web::PageOptions& page) {
  audio::FrameSource music{};
  uint32_t rate = 0;
  app::StartOptions start;
  start.output = app::StartOptions::Output::kOffscreen;
  start.width = page.width;
  start.height = page.height;
  start.music = app::StartOptions::Music::kSource;
  start.source = &music;
  start.rate = &rate;
  if (!app::start_show(start)) platform::end_process(-1);
  const int64_t last = capture::frame_at_or_after(page.at, kStillFps);
  std::vector<bool> written(static_cast<size_t>(last) + 1, false);
  written.back() = true;
  const std::vector<demo::Drawing> plan = capture::drawing_plan(written, kStillFps);
  capture::ShowRunner show(kStillFps);
  for (int64_t k = 0; k <= last; ++k) {
    if (!show.next(plan[static_cast<size_t>(k)])) {
      std::fprintf(stderr, "quorl: the show ended at %.3f s, before %g s\n", show.time(), page.at);
      platform::end_process(1);
    }
  }
  platform::web::frame_drawn();
  platform::web::still_ready();
}

}  // namespace

int main() {
  const platform::web::PageOptions page = platform::web::page_options();
  if (chdir(kDataFolder) != 0) {
    std::fprintf(stderr, "quorl: no %s in the page's files\n", kDataFolder);
    platform::end_process(-1);
  }
  if (page.at >= 0.0) {
    draw_still(page);
  } else {
    play_show(page);
  }
  // The runtime stays: the page's frames and the click go on from here.
  return 0;
}
