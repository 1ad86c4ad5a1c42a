#include "app/main_loop.h"

#include "app/start_show.h"
#include "audio/music.h"
#include "demo/demo.h"
#include "platform/audio_device.h"
#include "platform/clock.h"
#include "platform/events.h"
#include "platform/loop.h"
#include "platform/process.h"
#include "platform/window.h"
#include "report/run_stats.h"

namespace app {
namespace {
MainLoop g_show_loop;

bool show_pass(int* quit_code) { return run_pass(&g_show_loop, quit_code); }
}  // namespace

LoopServices show_services() {
  const LoopServices services = {
      &platform::counter,     &platform::counter_frequency,
      &demo::set_frame_clock, &audio::refill_from_main_loop,
      &platform::pump_events, &show_frame,
      &platform::present,
  };
  return report::with_run_stats(services);
}

MainLoop start_main_loop(const LoopServices& services) {
  return MainLoop{services, services.counter(), services.frequency()};
}

bool run_pass(MainLoop* loop, int* quit_code) {
  const LoopServices& s = loop->services;
  const uint64_t now = s.counter();
  s.set_clock(static_cast<double>(now - loop->start) / static_cast<double>(loop->frequency));
  s.refill();
  *quit_code = 0;
  const bool quit = s.pump(quit_code);
  s.frame();
  s.present();
  return quit;
}

int run_main_loop(const LoopServices& services) {
  MainLoop loop = start_main_loop(services);
  int code = 0;
  while (!run_pass(&loop, &code)) {
  }
  return code;
}

void play_show() {
  platform::hide_cursor();  // 12. cursor
  audio::resume_output();   // 13. the music starts
  // The clock starts at the device's first request, so a slow sound server delays picture
  // and music together rather than cutting the opening.
  const platform::FirstRequest first = platform::wait_for_first_request(audio::kFirstRequestWaitMs);
  report::first_request_waited(first);
  // 14. main loop
  g_show_loop = start_main_loop(show_services());
  g_show_loop.start = first.clock_start;
  platform::run_loop(&show_pass);
}

void draw_first_frame() {
  MainLoop first = start_main_loop(show_services());
  int code = 0;
  if (run_pass(&first, &code)) platform::end_process(code);
}

}  // namespace app
