// quorl in a browser: the program's start-up and passes, driven by the page's animation
// frames instead of a loop of its own. The page's address chooses what it shows:
//   index.html                 the show: start-up, its first frame under "Click to start",
//                              the rest with its music from the click on
//   index.html?speed=N         the same with the clock N times as fast (tests)
//   index.html?at=T&size=WxH   one still, the frame `quorl-capture --at T --size WxH` renders:
//                              the same exact clock and the same display frames before it
#include <unistd.h>

#include <cstdio>

#include "app/main_loop.h"
#include "app/seek.h"
#include "app/start_show.h"
#include "audio/music.h"
#include "platform/exit_codes.h"
#include "platform/process.h"
#include "platform/web/clock_control.h"
#include "platform/web/page.h"
#include "platform/web/wake.h"

namespace {

constexpr const char* kDataFolder = "/data";  // where the page preloads data/
constexpr int kStillFps = 60;                 // quorl-capture's default

// The click lets the clock go; the show then plays with its music.
void start_playing() {
  platform::web::release_clock();
  app::play_show();
}

void play_show(const platform::web::PageOptions& page) {
  if (!app::start_show(app::StartOptions{})) platform::end_process(platform::kExitStartFailed);
  platform::web::set_half_started_handler(&audio::refill_from_main_loop);
  platform::web::set_clock_speed(page.speed);
  app::draw_first_frame();  // held at clock 0 until the click
  platform::web::frame_drawn();
  platform::web::wait_for_click(&start_playing);
}

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
  if (!app::start_show(start)) platform::end_process(platform::kExitStartFailed);
  if (!app::run_to_frame(app::frame_at_or_after(page.at, kStillFps), kStillFps)) {
    std::fprintf(stderr, "quorl: the show ends before %g s\n", page.at);
    platform::end_process(1);
  }
  platform::web::frame_drawn();
  platform::web::still_ready();
}

}  // namespace

int main() {
  const platform::web::PageOptions page = platform::web::page_options();
  if (chdir(kDataFolder) != 0) {
    std::fprintf(stderr, "quorl: no %s in the page's files\n", kDataFolder);
    platform::end_process(platform::kExitStartFailed);
  }
  if (page.at >= 0.0) {
    draw_still(page);
  } else {
    play_show(page);
  }
  return 0;  // the runtime stays: the page's frames and the click go on from here
}
