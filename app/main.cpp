// quorl: a 131-second silent film, projected. Start-up runs top to bottom; the first
// failing step ends the program with exit code -1 after its message.
#include "app/main_loop.h"
#include "app/run_stats.h"
#include "app/window.h"
#include "audio/music.h"
#include "demo/demo.h"
#include "gfx/film.h"
#include "gfx/mesh.h"
#include "gfx/programs.h"
#include "gfx/textures.h"
#include "platform/clock.h"
#include "platform/events.h"
#include "platform/memory.h"
#include "platform/message_box.h"
#include "platform/process.h"

namespace {

constexpr int kFilmWidth = 160;
constexpr int kFilmHeight = 120;

[[noreturn]] void fail(const char* message) {
  if (message) platform::show_message_box(message, nullptr);
  platform::end_process(-1);
}

}  // namespace

int main() {
  platform::keep_large_blocks_in_one_heap();  // before any thread: see there
  // 1. window, rendering context, GL entry points
  app::start_run_stats();  // QUORL_STATS: the run report at exit
  // The pictures decode on worker threads from the moment the instance is ours, while the
  // window, the context and the shaders are made; what goes wrong with them is shown at
  // step 4, in slot order, as if they were read there.
  if (!app::create_window_and_context(&gfx::start_decoding_pictures)) {
    fail("Bad kind of error, error.");
  }
  app::phase_done(app::Phase::kWindow);
  // 2. the demo random generator
  demo::seed_random();
  // 3. shader programs and uniform tables (the builder shows its own message)
  if (!gfx::set_up_programs()) fail(nullptr);
  app::phase_done(app::Phase::kPrograms);
  // 4. texture catalogue (shows its own message)
  if (!gfx::load_texture_catalogue()) fail(nullptr);
  app::phase_done(app::Phase::kPictures);
  // 5. screen quad
  gfx::create_screen_quad();
  app::phase_done(app::Phase::kScreenQuad);
  // 6. music: file, decoder, paused output, refill thread
  if (!audio::open_music()) fail("Sound error.");
  app::phase_done(app::Phase::kMusic);
  // 7. cube mesh; a missing or rejected mesh leaves the cube scenes empty
  gfx::load_mesh(&gfx::cube_mesh());
  app::phase_done(app::Phase::kMesh);
  // 8. fullscreen
  app::switch_to_fullscreen();
  app::phase_done(app::Phase::kFullscreen);
  // 9. film frame size
  demo::set_film_size(kFilmWidth, kFilmHeight);
  // 10. ball table and positions from the library random generator
  demo::fill_ball_tables();
  // 11. film framebuffer
  if (!gfx::create_film_framebuffer(kFilmWidth, kFilmHeight)) fail("Framebuffer error.");
  app::phase_done(app::Phase::kFilmFramebuffer);
  // 12. cursor
  platform::hide_cursor();
  // 13. the music starts
  audio::resume_output();
  // 14. main loop
  const app::LoopServices services = {
      &platform::counter, &platform::counter_frequency, &demo::set_frame_clock,
      &platform::pump_events, &demo::frame, &app::present,
  };
  platform::end_process(app::run_main_loop(app::with_run_stats(services)));
}
