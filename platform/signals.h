// What ends the program from outside: signals, and a display that goes away.
#pragma once

namespace platform {

// For the show, once the window exists (video is up, so SDL has taken SIGINT and SIGTERM
// and SDL's libX11 is loaded): SIGHUP (a closed terminal) ends the show as SIGTERM does,
// with a quit request and so with the run report, unless SIGHUP was ignored when we were
// started (nohup); an X I/O error (the X server is gone) prints one line, then ends the
// program with kExitDisplayLost through end_process, so the run report comes out and
// no destructor runs. Calling it again does nothing.
void watch_display();

// Around a start-up message box: while armed, SIGINT, SIGTERM and SIGHUP kill every process
// the calling thread has started (the box's own: SDL draws it in a forked child on X11 and
// runs zenity on Wayland), and any process forked afterwards dies at once, so the wait for
// the box returns. If it has not returned a second later, the process exits with 255 from
// the handler. Disarming restores the signals' previous handlers and returns the signal
// that ended the box, or 0.
void arm_box_signals();
int disarm_box_signals();
// While armed: the signal that ended the box so far, or 0.
int box_signal();

}  // namespace platform
