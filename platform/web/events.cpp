// The page's events: Escape from the keyboard, the page's size changes. The page has no
// window to close (closing the tab ends everything at once), no cursor of the system's to
// hide beyond the canvas's own, and keeps the screen awake through the Wake Lock API
// where the browser has it.
#include "platform/events.h"

#include <emscripten/emscripten.h>
#include <emscripten/html5.h>

#include <string_view>

#include "platform/quit.h"

namespace platform {
namespace {

struct EventState {
  bool listening = false;
  bool escape_latch = false;
  bool resized = false;
  ResizeHandler on_resize = nullptr;
} g_events;

EM_BOOL on_key_down(int, const EmscriptenKeyboardEvent* e, void*) {
  if (std::string_view(e->key) != "Escape") return EM_FALSE;
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
  if (!e->isFullscreen) g_events.escape_latch = true;
  g_events.resized = true;
  return EM_FALSE;
}

void listen() {
  if (g_events.listening) return;
  g_events.listening = true;
  emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_TRUE, on_key_down);
  emscripten_set_resize_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_FALSE, on_resize);
  emscripten_set_fullscreenchange_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, nullptr, EM_FALSE,
                                           on_fullscreen_change);
}

EM_JS(void, hide_canvas_cursor, (), { Module.canvas.style.cursor = 'none'; });

EM_JS(void, request_wake_lock, (), {
  if (navigator.wakeLock) navigator.wakeLock.request('screen').catch(function(){});
});

}  // namespace

bool pump_events(int* quit_code) {
  listen();
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
