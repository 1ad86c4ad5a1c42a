// Start-up of the demo (the program's own steps, without window or music) through the
// recording GL fakes, from the repository's data directory, so every program, texture and uniform
// location has its own number: what the demo-frame tests run before their frames.
#pragma once

#include <unistd.h>

#include <cstdint>

#include "app/start_show.h"
#include "demo/timeline.h"
#include "gfx/mesh.h"
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
  platform::library_rand().state = 1;
  app::StartOptions start;
  start.output = app::StartOptions::Output::kCurrentContext;
  start.width = static_cast<int>(screen_width);
  start.height = static_cast<int>(screen_height);
  start.music = app::StartOptions::Music::kNone;
  start.load_mesh = false;  // the fake mesh below
  const bool ok = app::start_show(start);
  if (chdir(here) != 0 || !ok) return false;
  gfx::cube_mesh().triangle_count = 12;
  gfx::cube_mesh().vertex_array = kFakeMeshArray;
  demo::reset_show_for_test();
  platform::reset_quit();
  return true;
}

}  // namespace gltest
