// quorl: a 131-second silent film, projected. Start-up runs top to bottom (app/start_show
// holds its steps, shared with the capture tool, the benchmarks and the tests); the first
// failing step ends the program with kExitStartFailed after its message.
#include "app/main_loop.h"
#include "app/start_show.h"
#include "platform/exit_codes.h"
#include "platform/memory.h"
#include "platform/process.h"
#include "platform/signals.h"
#include "report/run_stats.h"

int main() {
  platform::keep_large_blocks_in_one_heap();  // before any thread: see there
  report::start_run_stats();                  // QUORL_STATS: the run report at exit
  platform::guard_process();  // signals, the session bus, the display's loss, forked copies
  // 1-11. the instance lock, the window made fullscreen, the context, the programs, the
  // pictures, the screen quad, the music (paused), the mesh, the film framebuffer. The
  // pictures decode on worker threads from the moment the instance is ours; what goes
  // wrong with them is shown at step 4, in slot order, as if they were read there.
  if (!app::start_show(app::StartOptions{})) platform::end_process(platform::kExitStartFailed);
  platform::show_started();  // a signal now ends the show with 0
  // 12-14. cursor, music, main loop
  app::play_show();
}
