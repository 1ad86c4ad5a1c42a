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

#include <SDL.h>
#include <unistd.h>

#include <string>

#include "app/window.h"
#include "gfx/gl.h"

namespace gltest {

class GlContext {
 public:
  GlContext() = default;
  GlContext(const GlContext&) = delete;
  GlContext& operator=(const GlContext&) = delete;
  ~GlContext() { close(); }

  bool open(int width, int height, const char* dir = nullptr) {
    close();
    if (SDL_Init(SDL_INIT_VIDEO) != 0) return fail("SDL_Init");
    app::request_gl_attributes();
    window_ = SDL_CreateWindow("quorl test", 0, 0, width, height,
                               SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (!window_) return fail("SDL_CreateWindow");
    context_ = SDL_GL_CreateContext(window_);
    if (!context_) return fail("SDL_GL_CreateContext");
    SDL_GL_MakeCurrent(window_, context_);
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
    if (context_) SDL_GL_DeleteContext(context_);
    if (window_) SDL_DestroyWindow(window_);
    context_ = nullptr;
    window_ = nullptr;
  }

  int width() const { return width_; }
  int height() const { return height_; }
  const std::string& error() const { return error_; }
  void swap() { SDL_GL_SwapWindow(window_); }

 private:
  static int no_swap_interval(int) { return 1; }
  static void* lookup(const char* name) {
    if (std::string(name) == "wglSwapIntervalEXT") return reinterpret_cast<void*>(&no_swap_interval);
    return SDL_GL_GetProcAddress(name);
  }
  bool fail(const std::string& what) {
    error_ = what + ": " + SDL_GetError();
    return false;
  }

  SDL_Window* window_ = nullptr;
  SDL_GLContext context_ = nullptr;
  int width_ = 0;
  int height_ = 0;
  std::string previous_dir_;
  std::string error_;
};

}  // namespace gltest
