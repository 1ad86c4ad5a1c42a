// The page's events: Escape from the keyboard, changes of the page's size and density, the
// WebGL context taken back (the page's display lost: the show ends as the desktop's does). The
// page has no window to close (closing the tab ends everything at once), no cursor of the
// system's to hide beyond the canvas's own, and keeps the screen awake through the Wake
// Lock API where the browser has it.
#include "platform/events.h"

#include <emscripten/emscripten.h>
#include <emscripten/html5.h>

#include <string_view>

#include "platform/exit_codes.h"
#include "platform/quit.h"

namespace platform {
namespace {

struct EventState {
  bool listening = false;
  bool escape_latch = false;
  bool resized = false;
  ResizeHandler on_resize = nullptr;
} g_events;

// Whether the show is playing: started by the click, not over, no card up. A key pressed
// on the landing or over a card is the page's, not an Escape for the show.
EM_JS(int, show_playing, (), { return quorlPage.playing() ? 1 : 0; });

// Whether the page's density (devicePixelRatio) changed since the last call: a zoom, or the
// window moved to another screen, which need not resize the page.
// clang-format off
EM_JS(int, density_changed, (), {
  const ratio = window.devicePixelRatio || 1;
  if (Module.quorlDensity === ratio) return 0;
  Module.quorlDensity = ratio;
  return 1;
});
// clang-format on

EM_BOOL on_key_down(int, const EmscriptenKeyboardEvent* e, void*) {
  if (std::string_view(e->key) != "Escape" || !show_playing()) return EM_FALSE;
  g_events.escape_latch = true;
  return EM_TRUE;
}

EM_BOOL on_resize(int, const EmscriptenUiEvent*, void*) {
  g_events.resized = true;
  return EM_FALSE;
}

// A browser in fullscreen takes Escape for itself: it leaves fullscreen and the page never
// sees the key. Leaving the fullscreen the show asked for is that Escape.
EM_BOOL on_fullscreen_change(int, const EmscriptenFullscreenChangeEvent* e, void*) {
  if (!e->isFullscreen && show_playing()) g_events.escape_latch = true;
  g_events.resized = true;
  return EM_FALSE;
}

// The browser took the WebGL context back (a driver reset, too many pages on the GPU): no
// frame can be drawn any more, so the show ends, its music with it. The page's card says so.
EM_BOOL on_context_lost(int, const void*, void*) {
  post_quit(kExitDisplayLost);
  return EM_FALSE;
}

void listen() {
  if (g_events.listening) return;
  g_events.listening = true;
  density_changed();
  emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_TRUE, on_key_down);
  emscripten_set_resize_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_FALSE, on_resize);
  emscripten_set_fullscreenchange_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, nullptr, EM_FALSE,
                                           on_fullscreen_change);
  emscripten_set_webglcontextlost_callback("#canvas", nullptr, EM_FALSE, on_context_lost);
}

EM_JS(void, hide_canvas_cursor, (), { Module.canvas.style.cursor = 'none'; });

EM_JS(void, request_wake_lock, (), {
  if (navigator.wakeLock) navigator.wakeLock.request('screen').catch(function(){});
});

}  // namespace

bool pump_events(int* quit_code) {
  listen();
  if (density_changed()) g_events.resized = true;
  if (g_events.resized) {
    g_events.resized = false;
    if (g_events.on_resize) g_events.on_resize();
  }
  return take_quit(quit_code);
}

bool escape_pressed() {
  listen();
  const bool latched = g_events.escape_latch;
  g_events.escape_latch = false;
  return latched;
}

void set_resize_handler(ResizeHandler handler) {
  listen();
  g_events.on_resize = handler;
}

void hide_cursor() { hide_canvas_cursor(); }

void keep_screen_awake() { request_wake_lock(); }

}  // namespace platform
