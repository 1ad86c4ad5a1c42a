// The browser's stand-in for the show's window: the page's canvas and a WebGL 2 context on
// it. The canvas fills the page (the page itself is the "fullscreen" window until the
// click asks the browser for real fullscreen); its drawing buffer follows the page's size
// in device pixels.
#include "platform/window.h"

#include <emscripten/emscripten.h>
#include <emscripten/html5.h>

#include <cstring>

#include "platform/events.h"

namespace platform {
namespace {

constexpr const char* kCanvas = "#canvas";

struct CanvasState {
  EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = 0;
  bool fixed = false;  // a still's canvas keeps the size it was given
} g_canvas;

// The canvas's drawing buffer to the size it is shown at, in device pixels, with its
// longer side at most kMaxBufferSide (the density scaled down evenly beyond it: a 4K
// screen at density 2 would ask for more than many GPUs draw into); returns width
// (side 0) or height.
constexpr int kMaxBufferSide = 4096;
// clang-format off
EM_JS(int, fit_canvas_side, (int side, int max_side), {
  const canvas = Module.canvas;
  const css_w = Math.max(1, canvas.clientWidth), css_h = Math.max(1, canvas.clientHeight);
  const ratio = Math.min(window.devicePixelRatio || 1, max_side / Math.max(css_w, css_h));
  const w = Math.max(1, Math.round(css_w * ratio));
  const h = Math.max(1, Math.round(css_h * ratio));
  if (canvas.width !== w) canvas.width = w;
  if (canvas.height !== h) canvas.height = h;
  return side === 0 ? w : h;
});
// clang-format on

// No WebGL 2 context: the page says so in words a viewer can act on (the program's own
// messages follow on the console).
EM_JS(void, page_no_webgl2, (), { quorlPage.noWebGL2(); });

// clang-format off
EM_JS(void, fix_canvas, (int width, int height), {
  Module.canvas.width = width;
  Module.canvas.height = height;
  Module.canvas.style.width = width + 'px';
  Module.canvas.style.height = height + 'px';
});
// clang-format on

// What the show asks of its context: double-buffered RGB, no alpha, depth or stencil (the
// film frame has its own depth), no antialiasing; WebGL 2 for GLSL ES 3.00.
void make_context() {
  EmscriptenWebGLContextAttributes a;
  emscripten_webgl_init_context_attributes(&a);
  a.majorVersion = 2;
  a.minorVersion = 0;
  a.alpha = false;
  a.depth = false;
  a.stencil = false;
  a.antialias = false;
  a.preserveDrawingBuffer = false;
  a.powerPreference = EM_WEBGL_POWER_PREFERENCE_HIGH_PERFORMANCE;
  a.failIfMajorPerformanceCaveat = false;
  g_canvas.context = emscripten_webgl_create_context(kCanvas, &a);
  if (g_canvas.context > 0) {
    emscripten_webgl_make_context_current(g_canvas.context);
  } else {
    page_no_webgl2();
  }
}

// The browser paces the frames (one per animation frame): there is no interval to set.
int swap_interval(int) { return 1; }

// Entries of the desktop table that WebGL 2 lacks and the show never calls; their names
// must still resolve for the table to load.
void* map_buffer(unsigned, unsigned) { return nullptr; }
unsigned char unmap_buffer(unsigned) { return 0; }
void bind_frag_data_location(unsigned, unsigned, const char*) {}

}  // namespace

void request_gl_attributes() {}  // given at the context's creation

Size open_show_window() {
  make_context();
  return {fit_canvas_side(0, kMaxBufferSide), fit_canvas_side(1, kMaxBufferSide)};
}

void open_offscreen_window(int width, int height) {
  fix_canvas(width, height);
  g_canvas.fixed = true;
  make_context();
}

void* gl_entry(const char* name) {
  if (g_canvas.context <= 0) return nullptr;
  if (std::strcmp(name, "wglSwapIntervalEXT") == 0) return reinterpret_cast<void*>(&swap_interval);
  if (std::strcmp(name, "glMapBuffer") == 0) return reinterpret_cast<void*>(&map_buffer);
  if (std::strcmp(name, "glUnmapBuffer") == 0) return reinterpret_cast<void*>(&unmap_buffer);
  if (std::strcmp(name, "glBindFragDataLocation") == 0) {
    return reinterpret_cast<void*>(&bind_frag_data_location);
  }
  return emscripten_webgl_get_proc_address(name);
}

const char* gl_string(unsigned name) {
  if (g_canvas.context <= 0) return "";
  using GetString = const unsigned char* (*)(unsigned);
  auto get = reinterpret_cast<GetString>(emscripten_webgl_get_proc_address("glGetString"));
  const unsigned char* text = get ? get(name) : nullptr;
  return text ? reinterpret_cast<const char*>(text) : "";
}

Size show_window(Size fallback) {
  keep_screen_awake();
  return drawable_size(fallback);
}

Size drawable_size(Size fallback) {
  if (g_canvas.fixed) return fallback;
  const Size size = {fit_canvas_side(0, kMaxBufferSide), fit_canvas_side(1, kMaxBufferSide)};
  return size.width > 0 && size.height > 0 ? size : fallback;
}

// The browser shows what was drawn when the page's frame callback returns.
void present() {}

void close_window() {
  if (g_canvas.context > 0) emscripten_webgl_destroy_context(g_canvas.context);
  g_canvas.context = 0;
}

}  // namespace platform
