// Whether anyone will act on a window's request to be fullscreen.
#pragma once

#include <SDL.h>

namespace platform {

// False only when the window is on an X display where no window manager says it runs
// (the root window has no _NET_SUPPORTING_WM_CHECK): there a fullscreen request goes
// unanswered, and SDL waits a tenth of a second for the answer before going on. True for
// every other display, and whenever it cannot tell.
bool window_manager_runs(SDL_Window* window);

}  // namespace platform
