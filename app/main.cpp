// quorl: a 131-second silent film, projected. Start-up runs top to bottom; the first
// failing step ends the program with exit code -1 after its message.
#include "app/main_loop.h"
#include "app/window.h"
#include "audio/music.h"
#include "demo/demo.h"
#include "gfx/film.h"
#include "gfx/mesh.h"
#include "gfx/programs.h"
#include "gfx/textures.h"
#include "platform/clock.h"
#include "platform/events.h"
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
  // 1. window, rendering context, GL entry points
  if (!app::create_window_and_context()) fail("Bad kind of error, error.");
  // 2. the demo random generator
  demo::seed_random();
  // 3. shader programs and uniform tables (the builder shows its own message)
  if (!gfx::set_up_programs()) fail(nullptr);
  // 4. texture catalogue (shows its own message)
  if (!gfx::load_texture_catalogue()) fail(nullptr);
  // 5. screen quad
  gfx::create_screen_quad();
  // 6. music: file, decoder, paused output, refill thread
  if (!audio::open_music()) fail("Sound error.");
  // 7. cube mesh; a missing or rejected mesh leaves the cube scenes empty
  gfx::load_mesh(&gfx::cube_mesh());
  // 8. fullscreen
  app::switch_to_fullscreen();
  // 9. film frame size
  demo::set_film_size(kFilmWidth, kFilmHeight);
  // 10. ball table and positions from the library random generator
  demo::fill_ball_tables();
  // 11. film framebuffer
  if (!gfx::create_film_framebuffer(kFilmWidth, kFilmHeight)) fail("Framebuffer error.");
  // 12. cursor
  platform::hide_cursor();
  // 13. the music starts
  audio::resume_output();
  // 14. main loop
  const app::LoopServices services = {
      &platform::counter, &platform::counter_frequency, &demo::set_frame_clock,
      &platform::pump_events, &demo::frame, &app::present,
  };
  platform::end_process(app::run_main_loop(services));
}
