// Ending the process.
#pragma once

namespace platform {

// Flushes stdout and stderr and ends the process with `code` without running destructors:
// the detached refill thread may still be using what they would tear down.
[[noreturn]] void end_process(int code);

}  // namespace platform
