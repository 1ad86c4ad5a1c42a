// The end of the program in a page: the main loop stops and the runtime stays, so the
// last frame stays on the canvas and the page can offer to play again. The music stops
// with the picture, as it does when the desktop's process is gone.
#include "platform/process.h"

#include <emscripten/emscripten.h>

#include "platform/audio_device.h"
#include "platform/web/page.h"

namespace platform {

void leave_process(int code) {
  emscripten_cancel_main_loop();
  close_looping_output();
  web::show_ended(code);
  // Unwinds to the browser without ending the runtime: nothing after this runs.
  emscripten_exit_with_live_runtime();
  __builtin_unreachable();
}

}  // namespace platform
