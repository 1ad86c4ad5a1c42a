#include "app/window.h"

#include <SDL.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "demo/demo.h"
#include "gfx/gl.h"
#include "platform/events.h"
#include "platform/instance_lock.h"
#include "platform/message_box.h"
#include "platform/window_manager.h"

namespace app {
namespace {
struct WindowState {
  SDL_Window* window = nullptr;
  SDL_GLContext context = nullptr;
  bool gl3 = false;  // the context offers OpenGL 3.0 or later
  uint32_t screen_width = 0;
  uint32_t screen_height = 0;
} g_window;

int swap_interval(int interval) { return SDL_GL_SetSwapInterval(interval) == 0 ? 1 : 0; }

// GLX hands out a pointer for any name, so the context's version decides for all of them.
bool context_is_gl3() {
  using GetString = const unsigned char* (*)(GLenum);
  auto get_string = reinterpret_cast<GetString>(SDL_GL_GetProcAddress("glGetString"));
  if (!get_string) return false;
  const char* version = reinterpret_cast<const char*>(get_string(GL_VERSION));
  int major = 0;
  return version && std::sscanf(version, "%d", &major) == 1 && major >= 3;
}

void read_drawable_size() {
  int w = 0, h = 0;
  SDL_GL_GetDrawableSize(g_window.window, &w, &h);
  if (w <= 0 || h <= 0) {
    w = static_cast<int>(g_window.screen_width);
    h = static_cast<int>(g_window.screen_height);
  }
  const uint32_t width = static_cast<uint32_t>(w), height = static_cast<uint32_t>(h);
  demo::set_screen(width, height, static_cast<double>(width) / static_cast<double>(height));
  gfx::glViewport(0, 0, w, h);
}
}  // namespace

void request_gl_attributes() {
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 0);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 0);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
  SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
}

void* lookup_gl_entry(const char* name) {
  if (!g_window.context) return nullptr;
  if (std::strcmp(name, "wglSwapIntervalEXT") == 0) return reinterpret_cast<void*>(&swap_interval);
  if (!g_window.gl3) return nullptr;
  return SDL_GL_GetProcAddress(name);
}

namespace {
// Drivers that draw where nobody sees: fine for a capture, a silent failure for the show.
bool is_unseen_driver(const char* name) {
  return name && (std::strcmp(name, "offscreen") == 0 || std::strcmp(name, "dummy") == 0);
}

// libwayland can only fail here, and says so on stderr first: with no socket named and no
// runtime folder to look for the default one in, there is no compositor to reach.
bool wayland_unreachable() {
  const char* display = std::getenv("WAYLAND_DISPLAY");
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  return !std::getenv("WAYLAND_SOCKET") && !(display && display[0] == '/') &&
         !(runtime && runtime[0]);
}

// Video on a real display. Left to itself, SDL falls back to its offscreen driver when no
// display answers, and the show would play unseen; instead no video driver starts, so the
// context cannot be made and start-up fails with its usual messages. A driver named in
// SDL_VIDEODRIVER is honoured unless it is one of the unseen ones.
bool init_display_video() {
  const char* named = std::getenv("SDL_VIDEODRIVER");
  if (named && named[0]) {
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
    if (!is_unseen_driver(SDL_GetCurrentVideoDriver())) return true;
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return false;
  }
  for (int i = 0; i < SDL_GetNumVideoDrivers(); ++i) {
    const char* name = SDL_GetVideoDriver(i);
    if (is_unseen_driver(name)) continue;
    if (std::strcmp(name, "wayland") == 0 && wayland_unreachable()) continue;
    SDL_SetHint(SDL_HINT_VIDEODRIVER, name);
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) return true;
  }
  return false;
}

// The window (hidden, width x height, untitled) with its OpenGL 3.0 compatibility context,
// and the entry points. False after the boxes naming the first missing entry point.
bool create_context(int width, int height, bool offscreen) {
  // Failures from here on surface as missing entry points, as on the original platform.
  bool video = false;
  if (SDL_InitSubSystem(SDL_INIT_EVENTS) == 0) {
    if (offscreen) {
      // Asked for on purpose, so a display named in the environment does not win.
      SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, "offscreen", SDL_HINT_OVERRIDE);
      video = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
    } else {
      video = init_display_video();
    }
  }
  if (video) {
    request_gl_attributes();
    g_window.window = SDL_CreateWindow("", 0, 0, width, height,
                                       SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (g_window.window) g_window.context = SDL_GL_CreateContext(g_window.window);
    if (g_window.context) {
      SDL_GL_MakeCurrent(g_window.window, g_window.context);
      g_window.gl3 = context_is_gl3();
    }
  }
  gfx::load_gl11_functions();
  if (!gfx::load_entry_points(&lookup_gl_entry)) {
    platform::show_message_box("OpenGL Extensions error.", nullptr);
    return false;
  }
  return true;
}
}  // namespace

bool create_window_and_context(void (*once_ours)()) {
  if (!platform::acquire_instance_lock(kInstanceName)) return false;
  if (once_ours) once_ours();
  if (!create_context(1, 1, false)) return false;

  SDL_DisplayMode mode;
  const int display = SDL_GetWindowDisplayIndex(g_window.window);
  if (SDL_GetDesktopDisplayMode(display < 0 ? 0 : display, &mode) == 0 && mode.w > 0 && mode.h > 0) {
    g_window.screen_width = static_cast<uint32_t>(mode.w);
    g_window.screen_height = static_cast<uint32_t>(mode.h);
  } else {
    g_window.screen_width = 640;
    g_window.screen_height = 480;
  }
  demo::set_screen(g_window.screen_width, g_window.screen_height,
                   static_cast<double>(g_window.screen_width) / g_window.screen_height);

  SDL_GL_MakeCurrent(g_window.window, g_window.context);
  gfx::wglSwapIntervalEXT(1);  // fails under Xvfb; the loop then runs unthrottled
  return true;
}

bool create_offscreen_context(int width, int height) {
  if (!create_context(width, height, true)) return false;
  demo::set_screen(static_cast<uint32_t>(width), static_cast<uint32_t>(height),
                   static_cast<double>(width) / height);
  gfx::glViewport(0, 0, width, height);
  return true;
}

void switch_to_fullscreen() {
  SDL_SetWindowSize(g_window.window, static_cast<int>(g_window.screen_width),
                    static_cast<int>(g_window.screen_height));
  SDL_SetWindowBordered(g_window.window, SDL_FALSE);
  // With no window manager, the borderless window of the screen's size at (0, 0) already
  // covers the screen; the fullscreen request would only wait for an answer nobody gives.
  if (platform::window_manager_runs(g_window.window)) {
    SDL_SetWindowFullscreen(g_window.window, SDL_WINDOW_FULLSCREEN_DESKTOP);
  }
  SDL_ShowWindow(g_window.window);
  SDL_SetWindowAlwaysOnTop(g_window.window, SDL_TRUE);
  SDL_RaiseWindow(g_window.window);
  platform::keep_screen_awake();
  SDL_PumpEvents();
  read_drawable_size();
  // On some desktops the fullscreen size arrives later; follow it.
  platform::set_resize_handler(&read_drawable_size);
}

void present() { SDL_GL_SwapWindow(g_window.window); }

}  // namespace app
