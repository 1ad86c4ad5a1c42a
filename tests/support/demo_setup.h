// Start-up of the demo through the recording GL fakes, from the repository's data
// directory, so every program, texture and uniform location has its own number: what the
// demo-frame tests run before their frames.
#pragma once

#include <unistd.h>

#include <cstdint>

#include "demo/demo.h"
#include "demo/timeline.h"
#include "gfx/film.h"
#include "gfx/mesh.h"
#include "gfx/programs.h"
#include "gfx/textures.h"
#include "gl_recorder.h"
#include "platform/crt_rand.h"
#include "platform/quit.h"

namespace gltest {

constexpr GLuint kFakeMeshArray = 500;

// False when a step failed (the data could not be read, or the framebuffer).
inline bool set_up_demo(uint32_t screen_width, uint32_t screen_height) {
  char here[4096];
  if (!getcwd(here, sizeof here) || chdir(QUORL_SOURCE_DIR "/data") != 0) return false;
  install();
  const bool ok = gfx::set_up_programs() && gfx::load_texture_catalogue();
  if (chdir(here) != 0 || !ok) return false;
  gfx::create_screen_quad();
  if (!gfx::create_film_framebuffer(160, 120)) return false;
  gfx::cube_mesh().triangle_count = 12;
  gfx::cube_mesh().vertex_array = kFakeMeshArray;
  demo::set_film_size(160, 120);
  demo::set_screen(screen_width, screen_height,
                   static_cast<double>(screen_width) / static_cast<double>(screen_height));
  platform::library_rand().state = 1;
  demo::fill_ball_tables();
  demo::reset_show_for_test();
  platform::reset_quit();
  return true;
}

}  // namespace gltest
