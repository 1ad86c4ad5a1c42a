// The quit request: posted with an exit code, taken by the next event pump, honoured by
// the main loop at the end of the pass in which it was taken.
#pragma once

namespace platform {

void post_quit(int code);

// Takes a posted request: returns true and stores its code, and clears it.
bool take_quit(int* code);

// Forgets any posted request (tests).
void reset_quit();

}  // namespace platform
