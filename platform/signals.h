// What ends the program from outside: signals, and a display that goes away.
#pragma once

namespace platform {

// First thing in main, before SDL and before any thread but the heap's set-up:
// - SIGINT, SIGTERM, SIGHUP, SIGQUIT and a SIGPIPE sent by another process end a start-up
//   at once with kExitStartFailed (the run report included), and once show_started() has
//   run they ask the show to end with kExitShowEnded; a signal ignored when we were started
//   (nohup, a background job) stays ignored. The SIGPIPE of our own write to a closed pipe
//   is ignored: a closed stderr must not kill a message.
// - with no session bus (DBUS_SESSION_BUS_ADDRESS unset and no user bus socket) none is
//   started for us: libdbus would autolaunch dbus-launch, which grabs the X server and
//   outlives the program.
// - on X11, an I/O error handler in the libX11 SDL will use, before its first call: a
//   broken connection prints "Error: Display connection lost." and ends the program, with
//   kExitStartFailed during start-up and kExitDisplayLost in the show, through end_process;
//   so does a fault inside the GL driver once that server is found gone.
// - every process forked from here on dies with the program (the box SDL draws in a forked
//   copy of us included) and never holds the instance lock.
// Calling it again does nothing.
void guard_process();

// True when the X server named in DISPLAY no longer takes connections (it ended or
// crashed); false while it does, or where that cannot be told (a display over the network).
bool display_gone();

// Start-up is over: signals now end the show through a quit request.
void show_started();

// For programs that did not call guard_process (the capture tool, the fixtures): installs
// the display's I/O error handler once SDL has loaded libX11. Calling it again does nothing.
void watch_display();

// Around a start-up message box: while armed, the signals above kill every
// process the calling thread has started (the box's own: SDL draws it in a forked child on
// X11 and runs zenity on Wayland), and any process forked afterwards dies at once, so the
// wait for the box returns; the program then ends with 255. Disarming returns the signal
// that ended the box, or 0.
void arm_box_signals();
int disarm_box_signals();
// While armed: the signal that ended the box so far, or 0.
int box_signal();

}  // namespace platform
