// An offscreen OpenGL context for tests that draw for real (Mesa llvmpipe through SDL's
// `offscreen` video driver, no X server needed; ctest sets SDL_VIDEODRIVER=offscreen).
//
//   gltest::GlContext gl;
//   ASSERT_TRUE(gl.open(640, 480, QUORL_SOURCE_DIR "/data")) << gl.error();
//   ... gfx:: calls, gfx::glReadPixels ...
//
// open() creates a hidden SDL window of the given size with an OpenGL 3.0 compatibility
// context (double buffer, RGB 8/8/8, no depth/stencil/alpha, as the program asks for),
// fills both GL tables (the 1.1 functions and the 52 fetched entry points, the swap-interval
// entry being a stand-in that does nothing) and changes the working directory to `dir`
// (the program's data directory, or a test's own temporary one) when it is not null. The
// destructor restores the working directory and closes the context and window. One context
// at a time; main thread only. The default framebuffer has exactly the requested size.
#pragma once

#include <unistd.h>

#include <string>

#include "gfx/gl.h"
#include "platform/window.h"

namespace gltest {

class GlContext {
 public:
  GlContext() = default;
  GlContext(const GlContext&) = delete;
  GlContext& operator=(const GlContext&) = delete;
  ~GlContext() { close(); }

  bool open(int width, int height, const char* dir = nullptr) {
    close();
    platform::open_offscreen_window(width, height);
    if (!platform::gl_entry("glGetString")) return fail("no OpenGL 3.0 context offscreen");
    open_ = true;
    gfx::load_gl11_functions();
    if (!gfx::load_entry_points(&lookup)) return fail("a GL entry point is missing");
    width_ = width;
    height_ = height;
    gfx::glViewport(0, 0, width, height);
    if (dir) {
      char here[4096];
      if (!getcwd(here, sizeof here)) return fail("getcwd");
      if (chdir(dir) != 0) return fail(std::string("chdir ") + dir);
      previous_dir_ = here;
    }
    return true;
  }

  void close() {
    if (!previous_dir_.empty()) {
      if (chdir(previous_dir_.c_str()) != 0) error_ = "could not return to " + previous_dir_;
      previous_dir_.clear();
    }
    if (open_) platform::close_window();
    open_ = false;
  }

  int width() const { return width_; }
  int height() const { return height_; }
  const std::string& error() const { return error_; }
  void swap() { platform::present(); }

 private:
  static int no_swap_interval(int) { return 1; }
  static void* lookup(const char* name) {
    if (std::string(name) == "wglSwapIntervalEXT")
      return reinterpret_cast<void*>(&no_swap_interval);
    return platform::gl_entry(name);
  }
  bool fail(const std::string& what) {
    error_ = what;
    return false;
  }

  bool open_ = false;
  int width_ = 0;
  int height_ = 0;
  std::string previous_dir_;
  std::string error_;
};

}  // namespace gltest
