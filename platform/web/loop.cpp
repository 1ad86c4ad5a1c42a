#include "platform/loop.h"

#include <emscripten/emscripten.h>

#include "platform/process.h"
#include "platform/web/page.h"

namespace platform {
namespace {
Pass g_pass = nullptr;

void animation_frame() {
  int code = 0;
  const bool quit = g_pass(&code);
  web::frame_drawn();
  if (quit) end_process(code);
}
}  // namespace

void run_loop(Pass pass) {
  g_pass = pass;
  emscripten_set_main_loop(&animation_frame, 0, false);
}

}  // namespace platform
