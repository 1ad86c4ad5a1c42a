#include "platform/window.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/events.h"
#include "platform/sdl/window_manager.h"

namespace platform {
namespace {

constexpr unsigned kGlVersion = 0x1F02;

struct WindowState {
  SDL_Window* window = nullptr;
  SDL_GLContext context = nullptr;
  bool gl3 = false;     // the context offers OpenGL 3.0 or later
  bool manager = true;  // a window manager answers fullscreen requests
} g_window;

int swap_interval(int interval) { return SDL_GL_SetSwapInterval(interval) == 0 ? 1 : 0; }

bool context_is_gl3() {
  int major = 0;
  return std::sscanf(gl_string(kGlVersion), "%d", &major) == 1 && major >= 3;
}

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
  if (SDL_InitSubSystem(SDL_INIT_EVENTS) != 0) return false;
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

void make_context(int x, int y, int width, int height, Uint32 flags) {
  request_gl_attributes();
  g_window.window =
      SDL_CreateWindow("", x, y, width, height, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN | flags);
  if (g_window.window) g_window.context = SDL_GL_CreateContext(g_window.window);
  if (g_window.context) {
    SDL_GL_MakeCurrent(g_window.window, g_window.context);
    g_window.gl3 = context_is_gl3();
  }
}

// Whether a window manager will answer a fullscreen request, asked through a window of
// no consequence (never shown), and the desktop size of the display it lands on.
bool probe_display(Size* screen) {
  SDL_Window* probe = SDL_CreateWindow("", 0, 0, 1, 1, SDL_WINDOW_HIDDEN);
  const int display = probe ? SDL_GetWindowDisplayIndex(probe) : 0;
  const bool manager = window_manager_runs(probe);
  if (probe) SDL_DestroyWindow(probe);
  SDL_DisplayMode mode;
  if (SDL_GetDesktopDisplayMode(display < 0 ? 0 : display, &mode) == 0 && mode.w > 0 &&
      mode.h > 0) {
    *screen = {mode.w, mode.h};
  }
  return manager;
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

Size open_show_window() {
  Size screen{640, 480};
  if (!init_display_video()) return screen;
  const bool manager = probe_display(&screen);
  g_window.manager = manager;
  constexpr Uint32 kOnTop = SDL_WINDOW_BORDERLESS | SDL_WINDOW_ALWAYS_ON_TOP;
  if (manager) {
    make_context(SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, screen.width, screen.height,
                 kOnTop | SDL_WINDOW_FULLSCREEN_DESKTOP);
  } else {
    make_context(0, 0, screen.width, screen.height, kOnTop);
  }
  return screen;
}

void open_offscreen_window(int width, int height) {
  if (SDL_InitSubSystem(SDL_INIT_EVENTS) != 0) return;
  // Asked for on purpose, so a display named in the environment does not win.
  SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, "offscreen", SDL_HINT_OVERRIDE);
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return;
  make_context(0, 0, width, height, 0);
}

void* gl_entry(const char* name) {
  if (!g_window.context) return nullptr;
  if (std::strcmp(name, "wglSwapIntervalEXT") == 0) return reinterpret_cast<void*>(&swap_interval);
  if (!g_window.gl3) return nullptr;
  return SDL_GL_GetProcAddress(name);
}

const char* gl_string(unsigned name) {
  using GetString = const unsigned char* (*)(unsigned);
  if (!SDL_GL_GetCurrentContext()) return "";
  auto get_string = reinterpret_cast<GetString>(SDL_GL_GetProcAddress("glGetString"));
  const unsigned char* text = get_string ? get_string(name) : nullptr;
  return text ? reinterpret_cast<const char*>(text) : "";
}

Size drawable_size(Size fallback) {
  int w = 0, h = 0;
  if (g_window.window) SDL_GL_GetDrawableSize(g_window.window, &w, &h);
  return w > 0 && h > 0 ? Size{w, h} : fallback;
}

Size show_window(Size fallback) {
  SDL_ShowWindow(g_window.window);
  SDL_RaiseWindow(g_window.window);
  keep_screen_awake();
  SDL_PumpEvents();
  watch_show_window(g_window.window, g_window.manager);
  return drawable_size(fallback);
}

void present() { SDL_GL_SwapWindow(g_window.window); }

void close_window() {
  if (g_window.context) SDL_GL_DeleteContext(g_window.context);
  if (g_window.window) SDL_DestroyWindow(g_window.window);
  g_window = WindowState{};
}

}  // namespace platform
