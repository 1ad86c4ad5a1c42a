// Window events, the Escape key, the cursor and the screen saver.
#pragma once

namespace platform {

// Empties the event queue without waiting. A request to close the window posts quit 0;
// Escape key-downs are latched for escape_pressed(); a size change of the window calls the
// resize handler. On X11 the show's window is also looked after here: it asks for the
// keyboard focus back when another window took it (where the window manager allows it,
// a few times a show), and for fullscreen again while it does not cover the output (in
// its first seconds). Afterwards takes a posted quit request (one posted earlier or during
// this pump): returns true and stores its code.
bool pump_events(int* quit_code);

// True when Escape is down now or was pressed since the previous call; on X11 whichever
// window has the keyboard focus (the server's keyboard, not only the window's events).
bool escape_pressed();

// Called from the pump when the window's drawable size changes.
using ResizeHandler = void (*)();
void set_resize_handler(ResizeHandler handler);

void hide_cursor();
// Keeps the screen saver and display power-down off while the show runs.
void keep_screen_awake();

}  // namespace platform
