#include "platform/web/page.h"

#include <emscripten/emscripten.h>

#include <cstdint>

namespace platform {
namespace web {
namespace {

// A number from the page's address (web/page.js reads it), or NaN when it has none.
EM_JS(double, page_option, (const char* name), { return quorlPage.option(UTF8ToString(name)); });

// `start`: a function pointer, which in WebAssembly is an index into the function table.
EM_JS(void, page_wait_for_click, (intptr_t start),
      { quorlPage.waitForClick(function() { wasmTable.get(start)(); }); });

EM_JS(void, page_show_ended, (int code), { quorlPage.ended(code); });

EM_JS(void, page_still_ready, (), { quorlPage.stillReady(); });

struct PageState {
  unsigned frames = 0;
} g_page;

}  // namespace

PageOptions page_options() {
  PageOptions o;
  const double at = page_option("at"), speed = page_option("speed");
  const double width = page_option("width"), height = page_option("height");
  if (at >= 0.0) o.at = at;  // NaN compares false
  if (speed > 0.0) o.speed = speed;
  // Sizes as the capture tool takes them; anything else leaves the page's own.
  if (width >= 1.0 && width <= 16384.0 && height >= 1.0 && height <= 16384.0) {
    o.width = static_cast<int>(width);
    o.height = static_cast<int>(height);
  }
  return o;
}

void wait_for_click(void (*start)()) { page_wait_for_click(reinterpret_cast<intptr_t>(start)); }

void frame_drawn() { ++g_page.frames; }

void show_ended(int code) { page_show_ended(code); }

void still_ready() { page_still_ready(); }

}  // namespace web
}  // namespace platform

// For the page and its tests: display frames drawn so far.
extern "C" EMSCRIPTEN_KEEPALIVE unsigned quorl_frames_drawn() {
  return platform::web::g_page.frames;
}
