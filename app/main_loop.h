// The show's main loop, one pass at a time: the frame clock is fixed, the music refilled
// where no thread does it, events pumped, one demo frame run and presented. A quit taken
// by the pump ends the show after that pass's frame and present. The platform owns the
// loop (platform/loop.h): the desktop runs passes back to back, the page one per animation
// frame.
#pragma once

#include <cstdint>

namespace app {

struct LoopServices {
  uint64_t (*counter)();
  uint64_t (*frequency)();
  void (*set_clock)(double seconds);
  void (*refill)();
  bool (*pump)(int* quit_code);  // true when a quit request was taken
  void (*frame)();
  void (*present)();
};

// The show's own services: the platform's counter, events and present, the music's
// refill, the demo frame; recorded for the run report when QUORL_STATS asks for one.
LoopServices show_services();

struct MainLoop {
  LoopServices services;
  uint64_t start;  // the counter reading the frame clock counts from
  uint64_t frequency;
};

// A loop whose frame clock starts now.
MainLoop start_main_loop(const LoopServices& services);

// One pass. True when it took a quit request, whose code is then in `*quit_code`.
bool run_pass(MainLoop* loop, int* quit_code);

// Passes until one takes a quit request; returns its code.
int run_main_loop(const LoopServices& services);

// Steps 12 to 14 once start-up has succeeded: the cursor hidden, the music started, and
// the show's passes handed to the platform's loop, which ends the process on a quit.
void play_show();

// One pass at clock 0 with the music paused: the page's first frame, shown before the
// viewer starts the show. A quit taken there ends the process.
void draw_first_frame();

}  // namespace app
