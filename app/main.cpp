// quorl: a 131-second silent film, projected. Start-up runs top to bottom (app/start_show
// holds its steps, shared with the capture tool, the benchmarks and the tests); the first
// failing step ends the program with exit code -1 after its message.
#include "app/main_loop.h"
#include "app/run_stats.h"
#include "app/start_show.h"
#include "audio/music.h"
#include "demo/demo.h"
#include "platform/clock.h"
#include "platform/events.h"
#include "platform/memory.h"
#include "platform/process.h"
#include "platform/window.h"

int main() {
  platform::keep_large_blocks_in_one_heap();  // before any thread: see there
  app::start_run_stats();                     // QUORL_STATS: the run report at exit
  // 1-11. the instance lock, the window made fullscreen, the context, the programs, the
  // pictures, the screen quad, the music (paused), the mesh, the film framebuffer. The
  // pictures decode on worker threads from the moment the instance is ours; what goes
  // wrong with them is shown at step 4, in slot order, as if they were read there.
  if (!app::start_show(app::StartOptions{})) platform::end_process(-1);
  // 12. cursor
  platform::hide_cursor();
  // 13. the music starts
  audio::resume_output();
  // 14. main loop
  const app::LoopServices services = {
      &platform::counter,     &platform::counter_frequency,
      &demo::set_frame_clock, &platform::pump_events,
      &app::show_frame,       &platform::present,
  };
  platform::end_process(app::run_main_loop(app::with_run_stats(services)));
}
