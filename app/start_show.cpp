#include "app/start_show.h"

#include "audio/music.h"
#include "demo/demo.h"
#include "gfx/film.h"
#include "gfx/gl.h"
#include "gfx/mesh.h"
#include "gfx/programs.h"
#include "gfx/textures.h"
#include "platform/events.h"
#include "platform/instance_lock.h"
#include "platform/message_box.h"
#include "platform/signals.h"
#include "platform/window.h"
#include "report/run_stats.h"

namespace app {
namespace {

struct StartState {
  platform::Size screen;  // the display's size, until the window has a drawable
} g_start;

bool fail(const char* message) {
  if (message) platform::show_message_box(message, nullptr);
  return false;
}

void set_screen(platform::Size size) {
  demo::set_screen(static_cast<uint32_t>(size.width), static_cast<uint32_t>(size.height),
                   static_cast<double>(size.width) / static_cast<double>(size.height));
}

// The viewport and the demo's screen follow the window's drawable (it may arrive later
// than the fullscreen switch on some desktops: the pump calls this on every size change).
void follow_drawable() {
  const platform::Size size = platform::drawable_size(g_start.screen);
  set_screen(size);
  gfx::glViewport(0, 0, size.width, size.height);
}

}  // namespace

// With no display, or a context below OpenGL 3.0, the first entry point is reported missing.
bool create_window_and_context(const StartOptions& o) {
  using Output = StartOptions::Output;
  if (o.output == Output::kScreen) {
    if (!platform::acquire_instance_lock(platform::kInstanceName)) return false;
    if (o.once_ours) o.once_ours();
    g_start.screen = platform::open_show_window();
    platform::watch_display();  // a display that goes away ends the show, from here on
  } else if (o.output == Output::kOffscreen) {
    platform::open_offscreen_window(o.width, o.height);
    g_start.screen = {o.width, o.height};
  } else {
    g_start.screen = {o.width, o.height};
    set_screen(g_start.screen);
    return true;
  }
  gfx::load_gl11_functions();
  if (!gfx::load_entry_points(&platform::gl_entry)) {
    return fail("OpenGL Extensions error.");
  }
  set_screen(g_start.screen);
  if (o.output == Output::kScreen) {
    gfx::wglSwapIntervalEXT(1);  // fails under Xvfb; the loop then runs unthrottled
  } else {
    gfx::glViewport(0, 0, o.width, o.height);
  }
  return true;
}

namespace {

bool open_music(const StartOptions& o) {
  switch (o.music) {
    case StartOptions::Music::kDevice: return audio::open_music();
    case StartOptions::Music::kSource: return audio::open_music_source(o.source, o.rate);
    case StartOptions::Music::kNone: return true;
  }
  return false;
}

}  // namespace

bool start_show(const StartOptions& o) {
  // 1. window, rendering context, GL entry points
  if (!create_window_and_context(o)) return fail("Bad kind of error, error.");
  report::phase_done(report::Phase::kWindow);
  // 2. the demo random generator
  demo::seed_random();
  // 3. shader programs and uniform tables (the builder shows its own message)
  if (!gfx::set_up_programs()) return false;
  report::phase_done(report::Phase::kPrograms);
  // 4. texture catalogue (shows its own message)
  if (!gfx::load_texture_catalogue()) return false;
  report::phase_done(report::Phase::kPictures);
  // 5. screen quad
  gfx::create_screen_quad();
  report::phase_done(report::Phase::kScreenQuad);
  // 6. music: file, decoder, paused output, refill thread
  if (!open_music(o)) return fail("Sound error.");
  report::phase_done(report::Phase::kMusic);
  // 7. cube mesh; a missing or rejected mesh leaves the cube scenes empty
  if (o.load_mesh) gfx::load_mesh(&gfx::cube_mesh());
  report::phase_done(report::Phase::kMesh);
  // 8. fullscreen: the window was made fullscreen and on top; now it is shown
  if (o.output == StartOptions::Output::kScreen) {
    platform::show_window(g_start.screen);
    follow_drawable();
    platform::set_resize_handler(&follow_drawable);
  }
  report::phase_done(report::Phase::kFullscreen);
  // 9. film frame size
  demo::set_film_size(demo::kFilmWidth, demo::kFilmHeight);
  // 10. ball table and positions from the library random generator
  demo::fill_ball_tables();
  // 11. film framebuffer
  if (!gfx::create_film_framebuffer(demo::kFilmWidth, demo::kFilmHeight)) {
    return fail("Framebuffer error.");
  }
  report::phase_done(report::Phase::kFilmFramebuffer);
  return true;
}

void show_frame() { demo::frame(platform::escape_pressed()); }

}  // namespace app
