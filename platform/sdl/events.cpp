#include "platform/events.h"

#include <SDL.h>

#include "platform/quit.h"
#include "platform/sdl/window_manager.h"
#include "platform/signals.h"

namespace platform {
namespace {
struct EventState {
  bool escape_latch = false;
  ResizeHandler on_resize = nullptr;
} g_events;
}  // namespace

bool pump_events(int* quit_code) {
  watch_display();  // at the latest from the first pump on (it acts once)
  SDL_Event ev;
  while (SDL_PollEvent(&ev)) {
    switch (ev.type) {
      case SDL_QUIT: post_quit(0); break;
      case SDL_KEYDOWN:
        if (ev.key.keysym.sym == SDLK_ESCAPE) g_events.escape_latch = true;
        break;
      case SDL_WINDOWEVENT:
        if (ev.window.event == SDL_WINDOWEVENT_CLOSE) {
          post_quit(0);
        } else if (ev.window.event == SDL_WINDOWEVENT_SIZE_CHANGED && g_events.on_resize) {
          g_events.on_resize();
        } else if (ev.window.event == SDL_WINDOWEVENT_FOCUS_LOST) {
          show_window_lost_focus();
        }
        break;
      default: break;
    }
  }
  tend_show_window();
  return take_quit(quit_code);
}

bool escape_pressed() {
  const bool latched = g_events.escape_latch;
  g_events.escape_latch = false;
  const bool anywhere = escape_pressed_anywhere();  // read each time, so none is left stale
  const Uint8* keys = SDL_GetKeyboardState(nullptr);
  return latched || anywhere || (keys && keys[SDL_SCANCODE_ESCAPE]);
}

void set_resize_handler(ResizeHandler handler) { g_events.on_resize = handler; }

void hide_cursor() { SDL_ShowCursor(SDL_DISABLE); }

void keep_screen_awake() { SDL_DisableScreenSaver(); }

}  // namespace platform
