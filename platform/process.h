// Ending the process.
#pragma once

namespace platform {

// Called once by end_process, before the streams are flushed, with the exit code: the place
// for last words (the run report) on every way out, since no destructor runs.
using ExitHook = void (*)(int code);
void set_exit_hook(ExitHook hook);

// Runs the exit hook, flushes stdout and stderr and ends the process with `code` without
// running destructors: the detached refill thread may still be using what they would tear
// down.
[[noreturn]] void end_process(int code);

// The last step of end_process, each platform's own: on the desktop the process ends
// (_exit); in a page the program stops where it is and the page stays.
[[noreturn]] void leave_process(int code);

}  // namespace platform
