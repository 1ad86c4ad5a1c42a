// What the show's window needs from the X server beyond SDL: whether a window manager will
// answer, Escape whichever window has the keyboard focus, the focus taken back, and a
// placement that covers the output. On other displays (Wayland) the watch does nothing:
// there a client sees neither the keyboard nor the windows of others.
#pragma once

#include <SDL.h>

namespace platform {

// False only when the window is on an X display where no window manager says it runs
// (the root window has no _NET_SUPPORTING_WM_CHECK): there a fullscreen request goes
// unanswered, and SDL waits a tenth of a second for the answer before going on. True for
// every other display, and whenever it cannot tell.
bool window_manager_runs(SDL_Window* window);

// From when the show's window has been shown; `manager` as window_manager_runs said.
void watch_show_window(SDL_Window* window, bool manager);

// Escape down now on the server's keyboard, or pressed since the previous call, whatever
// window has the focus. Without the watch (not X11), false.
bool escape_pressed_anywhere();

// The pump saw the show's window lose the keyboard focus.
void show_window_lost_focus();

// Once a pass: the placement checks and the focus taken back, when they are due. Cheap
// when nothing is due (a clock read).
void tend_show_window();

}  // namespace platform
