// Who runs the main loop: the desktop calls the pass back to back, the page once per
// animation frame (the browser owns its loop).
#pragma once

namespace platform {

// One pass of the show; true when it took a quit request, with its code.
using Pass = bool (*)(int* quit_code);

// Runs `pass` until one takes a quit request, then ends the process with its code. On the
// desktop it never returns; in the page it returns at once and the passes follow.
void run_loop(Pass pass);

}  // namespace platform
